#pragma once
// The grid editing commands. They change the grid only; the table's lines and
// the file stay as they are until the table is saved.

#include "table/CoreGrid.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// "Simple Number": rows 1.. of the cursor column keep only '.' and '0'-'9',
// after a '-' when the cell starts with a minus or is in accounting
// parentheses, such as (1,336,000), and holds a digit. In a UTF-8 grid the
// Persian and Arabic-Indic digits are kept as ASCII digits and the Arabic
// decimal separator as '.'.
void SimpleNumber(CoreGrid& grid);
// "Delete Col" (Ctrl+Shift+Del): every cell of the cursor column becomes empty.
void BlankColumn(CoreGrid& grid);
// "Shift Col N+1 to N": the next column is copied into the cursor column; on
// the last column the cursor column becomes empty.
void ShiftColumnLeft(CoreGrid& grid);
// The same three on the rows a filter lets show (rows, ascending, from 1 on)
// and, for the last two, the header row: the rows the user sees.
void SimpleNumber(CoreGrid& grid, const std::vector<int>& rows);
void BlankColumn(CoreGrid& grid, const std::vector<int>& rows);
void ShiftColumnLeft(CoreGrid& grid, const std::vector<int>& rows);

// Deletes row and puts the cursor row on the same index, or on the new last
// row when the last one went. False when nothing was deleted (a bad index, or
// the grid's only row).
bool DeleteGridRow(CoreGrid& grid, int row);
// Deletes col; the later columns move down. The cursor column keeps its index
// (the column that followed), or goes to the new last column. False when
// nothing was deleted.
bool DeleteGridColumn(CoreGrid& grid, int col);

// "Delete Row" (Ctrl+Del) may take the cursor row: never row 0, never the
// grid's only row.
bool CanDeleteRow(const CoreGrid& grid);
// "Delete Col" (Alt+Del) may take the cursor column: never column 0, never
// the grid's only column.
bool CanDeleteColumn(const CoreGrid& grid);

// The table's configuration file: its extension replaced by ".cfg".
std::string CfgPathFor(const std::string& path);
// Replaces cfgPath with the single line "CellFormat=" + widths. Failures are
// silent for the user; the result says whether it was written.
bool WriteCellFormat(const std::string& cfgPath, std::string_view widths);

} // namespace rasmik
