// Reading a workbook: the kind found from the bytes, the sheets, every cell
// and the comma-separated table, on workbooks built from the input.
//
// Input: a first byte that picks the container, then NUL-separated parts.
//   0: the file's bytes as they are (any kind, found from the bytes);
//   1: an .xlsx of sheet XML NUL shared strings NUL styles NUL workbook XML
//      (the package's relationships fixed; an empty workbook part: one sheet);
//   2: an .ods of content.xml NUL styles.xml NUL META-INF/manifest.xml;
//   3: an .xls: a compound file whose Workbook stream is the rest.

#include "FuzzTargets.h"

#include "export/WorkbookReader.h"
#include "text/TextFiles.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>
#include <zip.h>

using namespace rasmik;

namespace {

std::string TempPath()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/rasmik-fuzz-workbook-" + std::to_string(::getpid());
}

bool WriteFile(const std::string& path, std::string_view bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string_view>>& entries)
{
    ::unlink(path.c_str());
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return false;
    for (const auto& [name, data] : entries) {
        zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
        if (!s || zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8) < 0) {
            if (s)
                zip_source_free(s);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

void Put16(std::string& s, std::size_t at, std::uint32_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, std::size_t at, std::uint32_t v)
{
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

// A compound file of 512-byte sectors holding one stream, Workbook, padded
// to 4096 bytes so that it is not a small stream.
std::string CompoundFile(std::string_view stream)
{
    std::string data(stream);
    if (data.size() < 4096)
        data.resize(4096, '\0');
    // One sector of the allocation table covers 128 sectors.
    if (data.size() > (128 - 2) * 512)
        data.resize((128 - 2) * 512);
    const std::size_t n = (data.size() + 511) / 512;
    data.resize(n * 512, '\0');
    std::string header(512, '\0');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    Put16(header, 24, 0x3E);
    Put16(header, 26, 3);
    Put16(header, 28, 0xFFFE);
    Put16(header, 30, 9);
    Put16(header, 32, 6);
    Put32(header, 44, 1);          // one sector of the allocation table
    Put32(header, 48, 1);          // the directory in sector 1
    Put32(header, 56, 4096);       // the small-stream cutoff
    Put32(header, 60, 0xFFFFFFFE); // no small streams
    Put32(header, 68, 0xFFFFFFFE);
    Put32(header, 76, 0);
    for (int i = 1; i < 109; ++i)
        Put32(header, 76 + 4 * std::size_t(i), 0xFFFFFFFF);
    std::string fat(512, '\xFF');
    Put32(fat, 0, 0xFFFFFFFD);
    Put32(fat, 4, 0xFFFFFFFE);
    for (std::size_t i = 0; i < n; ++i)
        Put32(fat, 4 * (2 + i), i + 1 < n ? std::uint32_t(3 + i) : 0xFFFFFFFE);
    std::string dir(512, '\0');
    auto entry = [&](std::size_t at, const char* name, int type, std::uint32_t child, std::uint32_t start,
                     std::uint32_t size) {
        std::size_t len = 0;
        for (; name[len]; ++len)
            dir[at + 2 * len] = name[len];
        Put16(dir, at + 64, static_cast<std::uint32_t>(2 * (len + 1)));
        dir[at + 66] = static_cast<char>(type);
        dir[at + 67] = 1;
        Put32(dir, at + 68, 0xFFFFFFFF);
        Put32(dir, at + 72, 0xFFFFFFFF);
        Put32(dir, at + 76, child);
        Put32(dir, at + 116, start);
        Put32(dir, at + 120, size);
    };
    entry(0, "Root Entry", 5, 1, 0xFFFFFFFE, 0);
    entry(128, "Workbook", 2, 0xFFFFFFFF, 2, static_cast<std::uint32_t>(data.size()));
    return header + fat + dir + data;
}

const char* const ContentTypes = "<?xml version=\"1.0\"?><Types "
                                 "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
const char* const PackageRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
const char* const WorkbookRels =
    "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"/xl/worksheets/sheet1.xml\"/><Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
    "Target=\"sharedStrings.xml\"/><Relationship Id=\"rId4\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "</Relationships>";
const char* const DefaultWorkbook =
    "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet name=\"S\" "
    "sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";

} // namespace

namespace rasmik::fuzz {

int WorkbookRead(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int mode = data[0] % 4;
    const auto parts = SplitInput(data + 1, size - 1, mode == 0 || mode == 3 ? 1 : 4);
    const std::string path = TempPath();
    bool written = false;
    switch (mode) {
    case 0: written = WriteFile(path, parts[0]); break;
    case 1:
        written = WriteZip(path,
                           {{"[Content_Types].xml", ContentTypes},
                            {"_rels/.rels", PackageRels},
                            {"xl/_rels/workbook.xml.rels", WorkbookRels},
                            {"xl/workbook.xml", parts[3].empty() ? std::string_view(DefaultWorkbook) : parts[3]},
                            {"xl/worksheets/sheet1.xml", parts[0]},
                            {"xl/sharedStrings.xml", parts[1]},
                            {"xl/styles.xml", parts[2]}});
        break;
    case 2:
        written = WriteZip(path,
                           {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                            {"content.xml", parts[0]},
                            {"styles.xml", parts[1]},
                            {"META-INF/manifest.xml", parts[2]}});
        break;
    default: written = WriteFile(path, CompoundFile(parts[0])); break;
    }
    if (!written)
        return 0;

    const std::string before = [&] {
        std::string bytes;
        ReadWholeFile(path, bytes);
        return bytes;
    }();
    WorkbookReader book;
    if (book.open(path)) {
        FUZZ_CHECK(!book.sheetNames().empty());
        for (std::size_t sheet = 0; sheet < book.sheetNames().size() && sheet < 3; ++sheet) {
            std::int64_t lastRow = -1;
            std::uint64_t cells = 0;
            SheetExtent extent;
            const FileStatus read = book.readSheet(
                sheet,
                [&](std::uint32_t row, std::span<const SheetCell> rowCells) {
                    FUZZ_CHECK(std::int64_t(row) > lastRow);
                    FUZZ_CHECK(row < 1048576);
                    FUZZ_CHECK(!rowCells.empty());
                    std::int64_t lastColumn = -1;
                    for (const SheetCell& c : rowCells) {
                        FUZZ_CHECK(std::int64_t(c.column) > lastColumn);
                        FUZZ_CHECK(c.column < 16384);
                        FUZZ_CHECK(!c.text.empty());
                        lastColumn = c.column;
                    }
                    lastRow = row;
                    cells += rowCells.size();
                    return true;
                },
                {}, &extent);
            ByteBuffer csv;
            SheetExtent csvExtent;
            const FileStatus again = ReadSheetAsCsv(book, sheet, csv, {}, &csvExtent);
            // The same workbook reads the same way twice.
            FUZZ_CHECK(read.code() == again.code());
            if (!read.ok()) {
                FUZZ_CHECK(csv.empty());
                FUZZ_CHECK(!DescribeFileError(read.error()).empty());
                continue;
            }
            FUZZ_CHECK(extent.cells == cells);
            FUZZ_CHECK(extent.rows == std::uint32_t(lastRow + 1));
            FUZZ_CHECK(csvExtent.rows == extent.rows && csvExtent.cells == extent.cells);
            // One line a row, each ended by CR LF.
            std::uint64_t lines = 0;
            const std::string_view text = csv.view();
            for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2))
                ++lines;
            FUZZ_CHECK(lines >= extent.rows);
            FUZZ_CHECK(text.size() >= 2 * std::uint64_t(extent.rows));
            FUZZ_CHECK(extent.rows == 0 || text.ends_with("\r\n"));
        }
    }
    std::string after;
    ReadWholeFile(path, after);
    FUZZ_CHECK(after == before); // reading changes nothing
    ::unlink(path.c_str());
    return 0;
}

} // namespace rasmik::fuzz
