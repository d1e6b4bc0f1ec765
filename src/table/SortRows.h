#pragma once
// "Sort Ascending" and "Sort Descending": the order of the body rows by one
// column. Numbers go by value, texts by the Persian collation of "Values"
// (PersianCollator), empty cells last; equal cells keep their order.

#include "table/CoreGrid.h"
#include "text/TextEncoding.h"

#include <string_view>
#include <vector>

namespace rasmik {

// The value of a cell that is a number: digits with an optional point and
// thousands commas, a leading minus or accounting parentheses, spaces around;
// in UTF-8 also Persian and Arabic-Indic digits and the Arabic separators.
// False for anything else ("12 kg", "1.2.3", "").
bool ReadSortNumber(std::string_view text, TextEncoding held, double& value);

// The rows 1..RowCount-1 sorted by col: element i is the row that goes to
// row 1 + i. Ascending puts numbers before texts, descending texts before
// numbers; empty cells (nothing but spaces) come last either way.
std::vector<int> SortedRowOrder(const CoreGrid& grid, int col, bool descending);

} // namespace rasmik
