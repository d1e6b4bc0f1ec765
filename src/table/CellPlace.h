#pragma once
// Where a cell is, as the user reads it: the status bar, and every message
// that names a cell, count rows and name columns this one way.

#include "table/CoreGrid.h"
#include "text/FileError.h"

#include <cstdint>
#include <string>

namespace rasmik {

struct CellPlace {
    // The grid's row: the header row is 0, the first row below it 1.
    std::int64_t row = 0;
    // The column's number, from 1.
    int column = 1;
    // The column's name in UTF-8 (its header cell, without the spaces around
    // it, at most NameBytes of it), or empty when it has none: in the header
    // row itself, or in a grid without one.
    std::string name;
    static constexpr std::size_t NameBytes = 120;
};

CellPlace PlaceOfCell(const CoreGrid& grid, int col, int row);

// The error's cell (row, column and subject) is the one at (col, row).
void NameCell(FileError& error, const CoreGrid& grid, int col, int row);

} // namespace rasmik
