#pragma once
// The column order memory ("Save Col Order", "Delete Col Order"): an order of
// columns remembered in "Option.cfg" for every table with the same set of
// header names, and applied when such a table is laid out.

#include "table/CoreGrid.h"

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

inline constexpr const char* OptionCfgFile = "Option.cfg";

// Spaces removed, ASCII letters upper-cased; other bytes unchanged.
std::string NormalizeHeaderName(std::string_view text);
// Each byte as two upper-case hex digits.
std::string HexOfBytes(std::string_view text);

// The key of the grid's header row (row 0): its normalized names, sorted,
// each as HexOfBytes followed by "_". The order of the columns does not
// matter, only the names and how often each occurs. The names of a UTF-8
// grid are taken in Windows-1256 (nearest letters) where they fit, else
// as UTF-8, so that the same names share one key in every encoding; the
// value and ApplyColumnOrder take them the same way.
std::string ColumnOrderKey(const CoreGrid& grid);
// The value saved for the grid's present order: each column's normalized
// header name followed by a TAB.
std::string ColumnOrderValue(const CoreGrid& grid);

// Rearranges the columns by the order remembered for the grid's key. A name
// that occurs k times goes, in its k-th column, to the place of its k-th
// stored occurrence; columns that find no stored place fill the remaining
// places, each staying where it stood when that place is free. No column is
// lost or shown twice. Returns whether an order was found and applied;
// applied (when given) receives the permutation (PermuteColumns), empty
// when no column moved.
bool ApplyColumnOrder(CoreGrid& grid, const std::vector<std::string>& columnOrders,
                      std::vector<int>* applied = nullptr);

// Stores the grid's present order under its key (replacing the first line
// with that key, else appending one) and writes columnOrders to
// optionCfgPath with one attempt. The result says whether the file was
// written; a failure keeps the order in memory.
bool SaveColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders, const std::string& optionCfgPath);

// Removes the lines with the grid's key from columnOrders.
void ForgetColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders);
// Removes the lines with the grid's key and writes columnOrders with one
// attempt. The caller then rebuilds the grid from the table's lines.
bool DeleteColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders, const std::string& optionCfgPath);

} // namespace rasmik
