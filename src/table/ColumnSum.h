#pragma once
// "Sum Of Current Column": the total of a column and its display text.

#include "table/CoreGrid.h"

#include <string>
#include <vector>

namespace rasmik {

// The sum of ParseFloatDef(cell, 0) over every row of col, row 0 included;
// cells of a UTF-8 grid are read in their ASCII number text (AsciiNumberText).
// 0 for a column outside the grid.
double SumColumn(const CoreGrid& grid, int col);
// The same over the cells of columns firstCol..lastCol in the given rows.
double SumCells(const CoreGrid& grid, const std::vector<int>& rows, int firstCol, int lastCol);

// x rounded to 15 significant digits and then to 2 decimals (halves away from
// zero), trailing zeros and a bare point dropped, "," between groups of three
// integer digits: 1146.5 -> "1,146.5", -123456 -> "-123,456", 0 -> "0".
// Beyond 15 integer digits the 15 significant digits are followed by zeros
// (1.234567890123456789e20 -> "123,456,789,012,346,000,000"). A total that
// rounds to zero shows "0" without a sign; infinities and NaN show "INF",
// "-INF" and "NAN".
std::string FormatGroupedNumber(double x);

} // namespace rasmik
