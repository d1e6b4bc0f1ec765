#pragma once
// Reading workbooks (.xlsx, .ods, .xls) cell by cell. A workbook's kind is
// found from its bytes, whatever its name. Each cell reads as the text a
// spreadsheet program shows for it (see ReadSheet below); nothing is ever
// written, and a bad workbook is a FileError with nothing held.

#include "table/TableLines.h"
#include "text/ByteBuffer.h"
#include "text/FileError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

enum class WorkbookKind { Xlsx, Ods, Xls };

// One cell of a row: its column from 0 (A) and its text, UTF-8, not empty.
struct SheetCell {
    std::uint32_t column = 0;
    std::string_view text;
};

// Called for each row that holds text, in rising order of rows (row 0 is the
// sheet's first row, so rows and columns without text keep their places
// through the indices); the cells in rising order of columns. The views live
// until the call returns. Answering false stops the read (Cancelled).
using SheetRowFn = std::function<bool(std::uint32_t row, std::span<const SheetCell> cells)>;

// What a read found: the used height and width (the last row and column
// holding text, plus one; 0 x 0 for a sheet without text), the cells and
// their text bytes.
struct SheetExtent {
    std::uint32_t rows = 0;
    std::uint32_t columns = 0;
    std::uint64_t cells = 0;
    std::uint64_t textBytes = 0;
};

// Whether a file starting with these bytes is in a workbook's container (a
// zip archive or an OLE2 compound file), so that an open should go through
// WorkbookReader rather than read it as a text table; 8 bytes are enough.
bool LooksLikeWorkbook(std::string_view firstBytes);

class WorkbookReader {
public:
    WorkbookReader();
    ~WorkbookReader();
    WorkbookReader(WorkbookReader&&) noexcept;
    WorkbookReader& operator=(WorkbookReader&&) noexcept;

    // Opens the workbook at path and reads its list of sheets. Fails as the
    // file system says, or as NotWorkbook, WorkbookKindNotRead (".xlsb"),
    // PasswordProtected, WorkbookDamaged, UnpacksTooLarge, XmlDeclarations.
    FileStatus open(const std::string& path);

    WorkbookKind kind() const;
    // The worksheets in the workbook's order (chart sheets have no cells and
    // are left out), UTF-8.
    const std::vector<std::string>& sheetNames() const;
    // The sheet named text, else the one numbered text from 1 (--sheet
    // NAME|N); -1 when there is none.
    int findSheet(std::string_view text) const;

    // Reads the sheet at index (from 0) and hands its rows to onRow.
    // Cells show: shared and inline strings (rich text as plain text);
    // numbers as their format shows them (AppendFormattedNumber: General,
    // fixed decimals, thousands, percent, dates and times in ISO order);
    // TRUE and FALSE; error values as their text (#DIV/0!); a formula's last
    // computed value; a merged area's value in its first cell.
    // Memory stays bounded by what the sheet holds, not what it declares:
    // a cell beyond the format's last row or column fails as CellOutOfRange,
    // text past a bound tied to the file's size as TooLarge; progress gets
    // the bytes read so far of a total and may cancel (Cancelled).
    FileStatus readSheet(std::size_t index, const SheetRowFn& onRow, const ProgressFn& progress = {},
                         SheetExtent* extent = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The sheet at index as a comma-separated table in UTF-8 (RFC 4180): a
// field is quoted when it holds a comma, a quote, CR or LF, a quote doubled
// inside; CR LF after every row. Rows are as short as their last cell with
// text (an empty row is an empty line); the table has extent->rows lines.
// out holds exactly the table's bytes, or is empty on failure; beyond
// MaxFileBytes the read fails as TooLarge.
FileStatus ReadSheetAsCsv(WorkbookReader& book, std::size_t index, ByteBuffer& out, const ProgressFn& progress = {},
                          SheetExtent* extent = nullptr);

// Whether the file at path is in a workbook's container (LooksLikeWorkbook
// of its first bytes); false for one that cannot be read.
bool FileLooksLikeWorkbook(const std::string& path);

// Picks a sheet from the workbook's sheet names: its index, or -1 to stop.
using SheetChooser = std::function<int(const std::vector<std::string>& names)>;

// The sheet of the workbook at path that choose picks (asked for one sheet
// only when askForOne) as a comma-separated table in UTF-8, its name in
// sheet. A sheet chooser that stops makes it Cancelled; a workbook without a
// sheet of cells fails as SheetNotFound.
FileStatus ReadWorkbookTable(const std::string& path, const SheetChooser& choose, TableLines& lines, std::string& sheet,
                             const ProgressFn& progress = {}, bool askForOne = false);

// The sheet --sheet TEXT names: the one called text, else the one numbered
// text from 1; -1 when there is none.
int SheetNamedOrNumbered(const std::vector<std::string>& names, std::string_view text);

} // namespace rasmik
