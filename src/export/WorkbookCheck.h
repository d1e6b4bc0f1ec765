#pragma once
// Reads a freshly written workbook back. The writing library does not notice
// when its temporary files cannot be written in full (a full disk), and then
// still produces a valid zip holding cut-off XML; this check catches that.

#include <cstdint>
#include <string>

namespace rasmik {

// Inflates every part of the .xlsx at path and checks its CRC and size, that
// the small XML parts are well-formed, that the shared strings end properly,
// and that xl/worksheets/sheet1.xml is complete and holds exactly rowElements
// <row> and cellElements <c> elements. Empty when all holds, else the reason.
std::string CheckWrittenWorkbook(const std::string& path, std::uint64_t rowElements, std::uint64_t cellElements);

} // namespace rasmik
