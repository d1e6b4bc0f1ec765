#pragma once
// Workbooks: the grid as the "Excel" command exports it, or a table's raw
// lines cut at TABs (a conversion from the command line), written as one
// text-formatted worksheet of an .xlsx file (our own zip writer on zlib; no
// spreadsheet application is needed).

#include "table/CoreGrid.h"
#include "table/TableLines.h"
#include "text/FileError.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// Limits of the .xlsx format.
constexpr int MaxSheetColumns = 16384;
constexpr std::size_t MaxSheetRows = 1048576;
constexpr std::size_t MaxCellChars = 32767;
// Every sheet is streamed to disk row by row, each cell an inline string,
// so memory stays flat for tables of millions of cells; a sheet of more cells
// than this counts as large (the tests write one).
constexpr std::size_t WorkbookStreamingCells = 200000;

// A1-notation letters of a 1-based column: 1 A, 27 AA, 703 AAA, 16384 XFD.
// Empty for a column below 1.
std::string ColumnLetters(int col1Based);
// "AD12" for column 30, row 12 (both 1-based).
std::string CellAddress(int col1Based, std::size_t row1Based);

// How the sheet reads: right to left, its first row frozen, its columns'
// widths in the sheet's character units (none given: the default width).
struct SheetLook {
    bool rightToLeft = false;
    bool freezeHeaderRow = false;
    std::vector<double> columnWidths; // by column from A; below 0: the default
};

// The look of a table's sheet as its grid shows it: right to left when the
// header row holds Persian or Arabic text, the header row frozen when there
// are rows below it, and withWidths each column as wide as the grid's.
SheetLook SheetLookOfGrid(const CoreGrid& grid, bool withWidths);
// Grid pixels in the sheet's character units (a sheet's default font draws
// a unit in about 7 pixels, plus 5 of padding).
double SheetWidthOfPixels(int pixels);

// Writes lines as the sheet sheetName of a new workbook at path (a file
// system path); both are in the table's held form (Windows-1256 or UTF-8),
// and the cells hold their Unicode text (a lone surrogate of held UTF-8
// becomes U+FFFD, as do the non-characters U+FFFE and U+FFFF that XML lacks). Row i holds the TAB-separated fields
// of line i from column A; the column count is the largest field count of any
// line (a final TAB adds no field); every used column and every cell is
// formatted as text and every field is stored as a string, never as a number
// or formula; an empty field leaves its cell empty.
// "NoSheet" = 1 in "AppOptions.txt" fails as ExportSwitchedOff, an empty
// table as EmptyTable; a table beyond the format's limits as TooManyRows,
// TooManyColumns or CellTooLong (a cell's length counted in characters). The
// file is written through a StagedFile, so on any failure the path keeps what
// it held before.
// progress is called now and then with rows done and the row count; the
// window can process its events there, and answering false cancels (Cancelled).
FileStatus ExportLinesToWorkbook(const TableLines& lines, std::string_view sheetName, const std::string& path,
                                 const ProgressFn& progress = {}, const SheetLook& look = {});
FileStatus ExportLinesToWorkbook(const std::vector<std::string>& lines, std::string_view sheetName,
                                 const std::string& path, const ProgressFn& progress = {},
                                 TextEncoding held = TextEncoding::Windows1256, const SheetLook& look = {});

// The cells of a grid as the sheet: grid row r, column c in the sheet's row
// r + 1, column c + 1, so the sheet holds what the grid shows in its column
// order. A cell that holds only the space an empty field is laid out as
// stays empty, as an empty field does; a cell may hold TABs and line breaks.
// Failures and progress as for ExportLinesToWorkbook.
FileStatus ExportGridToWorkbook(const CoreGrid& grid, std::string_view sheetName, const std::string& path,
                                const ProgressFn& progress = {}, const SheetLook& look = {});

// The grid's export followed, when the workbook was written, by opening it
// with the desktop's program for .xlsx files (ShellOpen).
FileStatus ExportAndOpenWorkbook(const CoreGrid& grid, std::string_view sheetName, const std::string& path,
                                 const ProgressFn& progress = {}, const SheetLook& look = {});

// zlib's level for the workbook's parts: measured on the benchmark's tables
// (bench/README.md), the fastest whose workbooks stay within 10% of the size
// the default level 6 makes.
constexpr int WorkbookDeflateLevel = 5;

// For tests and the benchmark: zlib's level (0: WorkbookDeflateLevel) and zip64
// records in every workbook, as a sheet past 4 GB gets them.
struct WorkbookWriting {
    int level = 0;
    bool forceZip64 = false;
};
void SetWorkbookWritingForTesting(const WorkbookWriting& writing);

} // namespace rasmik
