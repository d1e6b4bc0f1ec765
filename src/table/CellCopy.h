#pragma once
// A block of cells as text for the clipboard: tab-separated lines for any
// program, and an HTML table for spreadsheets. Both are UTF-8 whatever the
// table's encoding, the cells in the order the table holds them.

#include "table/CoreGrid.h"

#include <string>
#include <vector>

namespace rasmik {

struct CopiedCells {
    std::string text; // one line per row ("\n" after each), cells split by TABs
    std::string html; // empty when the block is too large to be worth it
};

// The cells of columns firstCol..lastCol in the given grid rows, in that
// order. A cell holding only the space an empty field is laid out as copies
// as empty.
CopiedCells CopyCells(const CoreGrid& grid, const std::vector<int>& rows, int firstCol, int lastCol);

// Above this many cells only the text is made: a spreadsheet program would
// take longer to read the HTML than the text.
inline constexpr std::size_t MaxHtmlCells = 200000;

} // namespace rasmik
