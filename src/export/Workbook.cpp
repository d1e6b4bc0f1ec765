#include "export/Workbook.h"

#include "export/ShellOpen.h"
#include "export/WorkbookCheck.h"
#include "table/Options.h"
#include "text/Cp1256.h"
#include "text/StagedFile.h"
#include "text/StringHelpers.h"
#include "text/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include <xlsxwriter.h>

namespace rasmik {

namespace {

FileStatus Failure(const std::string& path, FileErrorCode code)
{
    return FileStatus(code, path);
}

// A failure of libxlsxwriter itself, about subject (a cell) when given.
FileStatus LibraryFailure(const std::string& path, const std::string& reason, std::string subject = {})
{
    FileError e(FileErrorCode::Library, path);
    e.detail = reason;
    e.subject = std::move(subject);
    return e;
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

std::string LibraryReason(lxw_error err)
{
    const char* text = lxw_strerror(err);
    return text ? std::string(text) : std::string("libxlsxwriter error ") + std::to_string(int(err));
}

// UTF-8 of every Windows-1256 byte, built once from the code page table.
struct Utf8Byte {
    std::array<char, 3> bytes{};
    unsigned char length = 0;
};

const std::array<Utf8Byte, 256>& Utf8Table()
{
    static const std::array<Utf8Byte, 256> table = [] {
        std::array<Utf8Byte, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = Cp1256ToUnicodeChar(static_cast<unsigned char>(b));
            Utf8Byte& u = t[b];
            if (cp < 0x80) {
                u.bytes[0] = static_cast<char>(cp);
                u.length = 1;
            } else if (cp < 0x800) {
                u.bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
                u.bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
                u.length = 2;
            } else {
                u.bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
                u.bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                u.bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
                u.length = 3;
            }
        }
        return t;
    }();
    return table;
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Spreadsheet readers decode "_xHHHH_" in cell text to the character HHHH
// (that is how the library keeps control characters in valid XML), so a field
// that holds such a sequence literally gets its underscore escaped as _x005F_
// to come back as typed. NUL cannot pass the library's C strings and is dropped.
// Held UTF-8 passes as it is, but for what a workbook cannot hold: a lone
// surrogate (kept by the table in its three-byte form) and the two
// non-characters that XML lacks become U+FFFD.
void FieldToUtf8(std::string_view field, std::string& out, TextEncoding held)
{
    const auto& table = Utf8Table();
    const bool utf8 = held != TextEncoding::Windows1256;
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(field[i]);
        if (b == 0)
            continue;
        if (b == '_' && i + 6 < field.size() && field[i + 1] == 'x' && IsHex(field[i + 2]) && IsHex(field[i + 3])
            && IsHex(field[i + 4]) && IsHex(field[i + 5]) && field[i + 6] == '_') {
            out += "_x005F_";
            continue;
        }
        if (!utf8) {
            const Utf8Byte& u = table[b];
            out.append(u.bytes.data(), u.length);
        } else if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            char32_t cp = NextCodePoint(field, i);
            --i; // past the character, less the loop's step
            if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
                cp = 0xFFFD;
            AppendUtf8(out, cp);
        }
    }
}

std::string ToUtf8(std::string_view text, TextEncoding held)
{
    std::string out;
    FieldToUtf8(text, out, held);
    return out;
}

// Number of fields of a line: a final TAB closes the last field instead of
// opening another.
std::size_t FieldCount(std::string_view line)
{
    const auto tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
    return tabs + ((!line.empty() && line.back() != '\t') ? 1 : 0);
}

// Frees a workbook that was not closed (error or cancel); closing frees it too.
struct WorkbookHolder {
    lxw_workbook* book = nullptr;
    ~WorkbookHolder()
    {
        if (book)
            lxw_workbook_free(book);
    }
    lxw_error Close()
    {
        lxw_workbook* b = book;
        book = nullptr;
        return workbook_close(b);
    }
};

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
    const auto lastCol = static_cast<lxw_col_t>(columns - 1);
    const auto lastRow = static_cast<lxw_row_t>(rows - 1);

    const std::string sheet = ToUtf8(sheetName, held);
    if (sheet.empty())
        return Failure(path, FileErrorCode::BadSheetName);

    // libxlsxwriter writes the temporary file by its name.
    StagedFile staged;
    if (FileStatus opened = staged.open(path); !opened)
        return opened;

    const std::uint64_t cells = std::uint64_t(rows) * columns;
    lxw_workbook_options options{};
    options.constant_memory = cells > WorkbookStreamingCells ? LXW_TRUE : LXW_FALSE;
    // Zip64 only when a part could pass 4 GB: ordinary readers dislike it on
    // small files. Worst case: a control character escaped as _x0001_ takes
    // seven bytes; about 60 bytes of markup a cell.
    const std::uint64_t sheetXmlBound = textBytes * 7 + cells * 60 + std::uint64_t(rows) * 40;
    options.use_zip64 = sheetXmlBound > 0xE0000000ull ? LXW_TRUE : LXW_FALSE;

    WorkbookHolder holder;
    holder.book = workbook_new_opt(staged.tempPath().c_str(), &options);
    if (!holder.book)
        return LibraryFailure(path, LibraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    if (lxw_error err = workbook_validate_sheet_name(holder.book, sheet.c_str()); err != LXW_NO_ERROR) {
        FileError e(FileErrorCode::BadSheetName, path);
        e.subject = sheet;
        e.detail = LibraryReason(err);
        return e;
    }
    lxw_worksheet* ws = workbook_add_worksheet(holder.book, sheet.c_str());
    if (!ws)
        return LibraryFailure(path, LibraryReason(LXW_ERROR_CREATING_TMPFILE));
    lxw_format* text = workbook_add_format(holder.book);
    if (!text)
        return LibraryFailure(path, LibraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    // Built-in format 49 is "@", text.
    format_set_num_format_index(text, 49);
    if (lxw_error err = worksheet_set_column(ws, 0, lastCol, LXW_DEF_COL_WIDTH, text); err != LXW_NO_ERROR)
        return LibraryFailure(path, LibraryReason(err));
    // The look goes before any row: a streamed sheet writes its head first.
    for (std::size_t c = 0; c < look.columnWidths.size() && c <= lastCol; ++c) {
        const double width = look.columnWidths[c];
        if (width < 0)
            continue;
        const auto col = static_cast<lxw_col_t>(c);
        if (lxw_error err = worksheet_set_column(ws, col, col, width, text); err != LXW_NO_ERROR)
            return LibraryFailure(path, LibraryReason(err));
    }
    if (look.rightToLeft)
        worksheet_right_to_left(ws);
    if (look.freezeHeaderRow && rows > 1)
        worksheet_freeze_panes(ws, 1, 0);

    if (progress && !progress(0, rows))
        return Failure(path, FileErrorCode::Cancelled);

    std::string cell;
    std::vector<std::string_view> fields;
    std::uint64_t rowElements = 0;
    std::uint64_t cellElements = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (progress && i != 0 && (i & 4095) == 0 && !progress(i, rows))
            return Failure(path, FileErrorCode::Cancelled);
        const auto row = static_cast<lxw_row_t>(i);
        source.fields(i, columns, fields);
        std::uint64_t rowCells = 0;
        bool cornerWritten = false;
        for (lxw_col_t col = 0; col < fields.size(); ++col) {
            const std::string_view field = fields[col];
            if (field.size() > MaxCellChars) {
                const std::size_t chars = CharacterCount(field, held);
                if (chars > MaxCellChars)
                    return LimitFailure(path, FileErrorCode::CellTooLong, chars, MaxCellChars,
                                        CellAddress(col + 1, i + 1));
            }
            FieldToUtf8(field, cell, held);
            if (!cell.empty()) {
                if (lxw_error err = worksheet_write_string(ws, row, col, cell.c_str(), text); err != LXW_NO_ERROR)
                    return LibraryFailure(path, LibraryReason(err), CellAddress(col + 1, i + 1));
                ++rowCells;
                if (col == lastCol)
                    cornerWritten = true;
            } else if (i == 0 && col == 0) {
                // The used range starts at A1 even when A1 is empty.
                worksheet_write_blank(ws, 0, 0, text);
                ++rowCells;
                if (lastCol == 0)
                    cornerWritten = true;
            }
        }
        // ...and ends at the last row of the last column.
        if (row == lastRow && !cornerWritten) {
            worksheet_write_blank(ws, lastRow, lastCol, text);
            ++rowCells;
        }
        cellElements += rowCells;
        if (rowCells != 0)
            ++rowElements;
    }

    if (progress && !progress(rows, rows))
        return Failure(path, FileErrorCode::Cancelled);

    if (lxw_error err = holder.Close(); err != LXW_NO_ERROR)
        return LibraryFailure(path, LibraryReason(err));
    if (std::string reason = CheckWrittenWorkbook(staged.tempPath(), rowElements, cellElements); !reason.empty()) {
        FileError e(FileErrorCode::Incomplete, path);
        e.detail = reason;
        return e;
    }
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
