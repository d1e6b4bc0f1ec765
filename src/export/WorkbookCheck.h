#pragma once
// Reads a freshly written workbook back from disk, without inflating it: a
// short write, a file cut off or bytes changed on the way are caught by
// comparing the zip's records and each part's deflated bytes with what the
// writer says it wrote.

#include "export/ZipWriter.h"

#include <string>

namespace rasmik {

// The file at path must be exactly layout: its size, the end records (and
// the zip64 ones when written), every central directory entry and every
// local header byte for byte as the writer makes them from layout, the parts
// back to back, and each part's deflated bytes with the CRC-32 they had when
// written. Empty when all holds, else the reason.
std::string CheckWrittenWorkbook(const std::string& path, const ZipLayout& layout);

} // namespace rasmik
