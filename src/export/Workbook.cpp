#include "export/Workbook.h"

#include "export/SheetXml.h"
#include "export/ShellOpen.h"
#include "export/WorkbookCheck.h"
#include "export/ZipWriter.h"
#include "table/Options.h"
#include "text/Cp1256.h"
#include "text/StagedFile.h"
#include "text/StringHelpers.h"
#include "text/TextEncoding.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <new>

namespace rasmik {

namespace {

// The sheet's XML goes to the deflater in pieces of about this size.
constexpr std::size_t SheetPieceBytes = 256 * 1024;

WorkbookWriting TestingWriting;

FileStatus Failure(const std::string& path, FileErrorCode code)
{
    return FileStatus(code, path);
}

FileStatus LimitFailure(const std::string& path, FileErrorCode code, std::uint64_t count, std::uint64_t limit,
                        std::string subject = {})
{
    FileError e(code, path);
    e.count = count;
    e.limit = limit;
    e.subject = std::move(subject);
    return e;
}

FileStatus IncompleteFailure(const std::string& path, std::string reason)
{
    FileError e(FileErrorCode::Incomplete, path);
    e.detail = std::move(reason);
    return e;
}

// Number of fields of a line: a final TAB closes the last field instead of
// opening another.
std::size_t FieldCount(std::string_view line)
{
    const auto tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
    return tabs + ((!line.empty() && line.back() != '\t') ? 1 : 0);
}

// The sheet's rows from a table's lines, each cut at its TABs.
template <typename Lines>
class LineFields {
public:
    explicit LineFields(const Lines& lines) : lines_(lines) { }
    std::size_t rows() const { return lines_.size(); }
    // The column count, the largest field count of any line (at least 1),
    // and the bytes of all the text.
    void measure(std::size_t& columns, std::uint64_t& textBytes) const
    {
        columns = 1;
        textBytes = 0;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const std::string_view line = lines_[i];
            columns = std::max(columns, FieldCount(line));
            textBytes += line.size();
        }
    }
    // The fields of row i up to the end of its line, at most columns of them.
    void fields(std::size_t i, std::size_t columns, std::vector<std::string_view>& out) const
    {
        out.clear();
        std::string_view rest = lines_[i];
        do
            out.push_back(TakeToken(rest, "\t", false));
        while (!rest.empty() && out.size() < columns);
    }

private:
    const Lines& lines_;
};

// The sheet's rows from a grid, its cells in its column order. A cell that
// holds only the space an empty field is laid out as stays empty.
class GridFields {
public:
    explicit GridFields(const CoreGrid& grid) : grid_(grid) { }
    std::size_t rows() const { return static_cast<std::size_t>(grid_.RowCount()); }
    void measure(std::size_t& columns, std::uint64_t& textBytes) const
    {
        columns = static_cast<std::size_t>(std::max(1, grid_.ColCount()));
        textBytes = 0;
        for (int c = 0; c < grid_.ColCount(); ++c)
            for (int r = 0; r < grid_.RowCount(); ++r)
                textBytes += grid_.Cell(c, r).size();
    }
    void fields(std::size_t i, std::size_t /*columns*/, std::vector<std::string_view>& out) const
    {
        out.clear();
        const int row = static_cast<int>(i);
        for (int c = 0; c < grid_.ColCount(); ++c) {
            const std::string_view cell = grid_.Cell(c, row);
            out.push_back(cell == " " ? std::string_view() : cell);
        }
    }

private:
    const CoreGrid& grid_;
};

// A small part whole.
FileStatus WritePart(ZipWriter& zip, std::string_view name, const std::string& xml)
{
    if (FileStatus r = zip.begin(name); !r)
        return r;
    if (FileStatus r = zip.write(xml); !r)
        return r;
    return zip.end();
}

template <typename Source>
FileStatus WriteWorkbook(const Source& source, std::string_view sheetName, const std::string& path,
                         const ProgressFn& progress, TextEncoding held, const SheetLook& look)
{
    const std::size_t rows = source.rows();
    if (rows == 0)
        return Failure(path, FileErrorCode::EmptyTable);
    if (path.empty())
        return Failure(path, FileErrorCode::NoFileName);
    if (rows > MaxSheetRows)
        return LimitFailure(path, FileErrorCode::TooManyRows, rows, MaxSheetRows);

    std::size_t columns = 1;
    std::uint64_t textBytes = 0;
    source.measure(columns, textBytes);
    if (columns > std::size_t(MaxSheetColumns))
        return LimitFailure(path, FileErrorCode::TooManyColumns, columns, MaxSheetColumns);
    const std::size_t lastCol = columns - 1;
    const std::size_t lastRow = rows - 1;

    const std::string sheet = SheetTextUtf8(sheetName, held);
    if (sheet.empty())
        return Failure(path, FileErrorCode::BadSheetName);
    if (std::string why = SheetNameProblem(sheet); !why.empty()) {
        FileError e(FileErrorCode::BadSheetName, path);
        e.subject = sheet;
        e.detail = std::move(why);
        return e;
    }

    StagedFile staged;
    if (FileStatus opened = staged.open(path); !opened)
        return opened;

    // Zip64 only when a part could pass 4 GB: ordinary readers dislike it on
    // small files. Worst case: a control character escaped as _x0001_ takes
    // seven bytes; at most 78 bytes of markup a cell (the longest reference,
    // xml:space), 23 a row. Past 4 GB without zip64 the writer refuses.
    const std::uint64_t cells = std::uint64_t(rows) * columns;
    const std::uint64_t sheetXmlBound = textBytes * 7 + cells * 80 + std::uint64_t(rows) * 40;
    const bool zip64 = TestingWriting.forceZip64 || sheetXmlBound > 0xE0000000ull;
    ZipWriter zip(staged, TestingWriting.level > 0 ? TestingWriting.level : WorkbookDeflateLevel, zip64);

    const std::time_t now = std::time(nullptr);
    const std::pair<std::string_view, std::string> parts[] = {
        {"[Content_Types].xml", ContentTypesXml()},
        {"_rels/.rels", PackageRelsXml()},
        {"docProps/app.xml", AppPropertiesXml(sheet)},
        {"docProps/core.xml", CorePropertiesXml(now)},
        {"xl/workbook.xml", WorkbookXml(sheet)},
        {"xl/_rels/workbook.xml.rels", WorkbookRelsXml()},
        {"xl/styles.xml", StylesXml()},
    };
    for (const auto& [name, xml] : parts)
        if (FileStatus r = WritePart(zip, name, xml); !r)
            return r;

    if (progress && !progress(0, rows))
        return Failure(path, FileErrorCode::Cancelled);

    SheetXml xml(held);
    xml.head(lastCol, lastRow, look);
    if (FileStatus r = zip.begin("xl/worksheets/sheet1.xml"); !r)
        return r;
    std::vector<std::string_view> fields;
    std::uint64_t rowElements = 0;
    std::uint64_t cellElements = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (progress && i != 0 && (i & 4095) == 0 && !progress(i, rows))
            return Failure(path, FileErrorCode::Cancelled);
        source.fields(i, columns, fields);
        std::uint64_t rowCells = 0;
        bool cornerWritten = false;
        const auto cellOfRow = [&] {
            if (rowCells++ == 0)
                xml.beginRow(i);
        };
        for (std::size_t col = 0; col < fields.size(); ++col) {
            const std::string_view field = fields[col];
            if (field.size() > MaxCellChars) {
                const std::size_t chars = CharacterCount(field, held);
                if (chars > MaxCellChars)
                    return LimitFailure(path, FileErrorCode::CellTooLong, chars, MaxCellChars,
                                        CellAddress(static_cast<int>(col + 1), i + 1));
            }
            if (FieldHasText(field)) {
                cellOfRow();
                xml.cell(col, field);
                cornerWritten = col == lastCol;
            } else if (i == 0 && col == 0) {
                // The used range starts at A1 even when A1 is empty.
                cellOfRow();
                xml.blank(0);
                cornerWritten = lastCol == 0;
            }
        }
        // ...and ends at the last row of the last column.
        if (i == lastRow && !cornerWritten) {
            cellOfRow();
            xml.blank(lastCol);
        }
        if (rowCells != 0) {
            xml.endRow();
            ++rowElements;
            cellElements += rowCells;
        }
        if (xml.size() >= SheetPieceBytes) {
            if (FileStatus r = zip.write(xml.bytes()); !r)
                return r;
            xml.clear();
        }
    }
    xml.tail();
    if (FileStatus r = zip.write(xml.bytes()); !r)
        return r;
    if (FileStatus r = zip.end(); !r)
        return r;

    if (progress && !progress(rows, rows))
        return Failure(path, FileErrorCode::Cancelled);

    if (FileStatus r = zip.finish(); !r)
        return r;
    // Counted as the elements were written: the file itself is not inflated.
    if (xml.rowsWritten() != rowElements || xml.cellsWritten() != cellElements)
        return IncompleteFailure(path,
                                 "xl/worksheets/sheet1.xml: " + std::to_string(xml.rowsWritten()) + " rows, "
                                     + std::to_string(xml.cellsWritten()) + " cells instead of "
                                     + std::to_string(rowElements) + ", " + std::to_string(cellElements));
    if (std::string reason = CheckWrittenWorkbook(staged.tempPath(), zip.layout()); !reason.empty())
        return IncompleteFailure(path, std::move(reason));
    return staged.commit();
}

template <typename Source>
FileStatus Export(const Source& source, std::string_view sheetName, const std::string& path, const ProgressFn& progress,
                  TextEncoding held, const SheetLook& look)
{
    if (GetAppOption("NoSheet") == "1")
        return Failure(path, FileErrorCode::ExportSwitchedOff);
    try {
        return WriteWorkbook(source, sheetName, path, progress, held, look);
    } catch (const std::bad_alloc&) {
        return Failure(path, FileErrorCode::NoMemory);
    } catch (const std::exception& ex) {
        FileError e(FileErrorCode::System, path);
        e.detail = ex.what();
        return e;
    } catch (...) {
        return Failure(path, FileErrorCode::System);
    }
}

} // namespace

void SetWorkbookWritingForTesting(const WorkbookWriting& writing)
{
    TestingWriting = writing;
}

double SheetWidthOfPixels(int pixels)
{
    return std::max(0.0, std::round((pixels - 5) / 7.0 * 100) / 100);
}

SheetLook SheetLookOfGrid(const CoreGrid& grid, bool withWidths)
{
    SheetLook look;
    const TextEncoding held = grid.Encoding();
    look.freezeHeaderRow = grid.RowCount() > 1 && grid.FixedRows() > 0;
    for (int c = 0; c < grid.ColCount() && !look.rightToLeft; ++c) {
        const std::string_view name = grid.Cell(c, 0);
        for (std::size_t i = 0; i < name.size() && !look.rightToLeft;) {
            const char32_t cp = held == TextEncoding::Utf8 ? NextCodePoint(name, i)
                                                           : Cp1256ToUnicodeChar(static_cast<unsigned char>(name[i++]));
            look.rightToLeft =
                (cp >= 0x0600 && cp <= 0x06FF) || (cp >= 0xFB50 && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF);
        }
    }
    if (withWidths) {
        look.columnWidths.reserve(static_cast<std::size_t>(grid.ColCount()));
        for (int c = 0; c < grid.ColCount(); ++c)
            look.columnWidths.push_back(SheetWidthOfPixels(grid.ColWidth(c)));
    }
    return look;
}

std::string ColumnLetters(int col1Based)
{
    std::string letters;
    for (long long c = col1Based; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters;
}

std::string CellAddress(int col1Based, std::size_t row1Based)
{
    return ColumnLetters(col1Based) + std::to_string(row1Based);
}

FileStatus ExportLinesToWorkbook(const TableLines& lines, std::string_view sheetName, const std::string& path,
                                 const ProgressFn& progress, const SheetLook& look)
{
    return Export(LineFields(lines), sheetName, path, progress, lines.heldForm(), look);
}

FileStatus ExportLinesToWorkbook(const std::vector<std::string>& lines, std::string_view sheetName,
                                 const std::string& path, const ProgressFn& progress, TextEncoding held,
                                 const SheetLook& look)
{
    return Export(LineFields(lines), sheetName, path, progress, held, look);
}

FileStatus ExportGridToWorkbook(const CoreGrid& grid, std::string_view sheetName, const std::string& path,
                                const ProgressFn& progress, const SheetLook& look)
{
    return Export(GridFields(grid), sheetName, path, progress, grid.Encoding(), look);
}

FileStatus ExportAndOpenWorkbook(const CoreGrid& grid, std::string_view sheetName, const std::string& path,
                                 const ProgressFn& progress, const SheetLook& look)
{
    FileStatus result = ExportGridToWorkbook(grid, sheetName, path, progress, look);
    if (result)
        ShellOpen(path);
    return result;
}

} // namespace rasmik
