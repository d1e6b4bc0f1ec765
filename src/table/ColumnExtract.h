#pragma once
// "Save Current Column", "Save Current Column without Repeat" and "Values":
// a grid column as a list of values; a ValueCollator (table/Collation.h)
// decides which values are the same and how they sort.

#include "table/Collation.h"
#include "table/CoreGrid.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// The cells of col, rows 0..RowCount-1. With withoutRepeat, only the first of
// the values that compare equal stays, and the list is sorted ascending.
std::vector<std::string> ColumnValues(const CoreGrid& grid, int col, bool withoutRepeat, const ValueCollator& collator);

// For "Values": the cells of col from row 1 on, without the bytes of code 32
// or below at either end, empty ones skipped, each value once (first one met),
// in the order first met.
std::vector<std::string> DistinctColumnValues(const CoreGrid& grid, int col, const ValueCollator& collator);

// "ColValue" + (col + 1) + ".txt".
std::string ColumnValueFileName(int col);

} // namespace rasmik
