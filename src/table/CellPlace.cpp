#include "table/CellPlace.h"

#include "text/TextEncoding.h"

namespace rasmik {

CellPlace PlaceOfCell(const CoreGrid& grid, int col, int row)
{
    CellPlace place;
    place.row = row;
    place.column = col + 1;
    if (grid.FixedRows() > 0 && row > 0 && col >= 0 && col < grid.ColCount()) {
        // A long name is cut, so that it stays a name.
        const std::string_view header = CutAtCharacter(grid.Cell(col, 0), CellPlace::NameBytes, grid.Encoding());
        AppendHeldAs(header, grid.Encoding(), TextEncoding::Utf8, place.name);
        const std::size_t first = place.name.find_first_not_of(" \t");
        if (first == std::string::npos)
            place.name.clear();
        else
            place.name = place.name.substr(first, place.name.find_last_not_of(" \t") - first + 1);
    }
    return place;
}

void NameCell(FileError& error, const CoreGrid& grid, int col, int row)
{
    const CellPlace place = PlaceOfCell(grid, col, row);
    error.row = place.row;
    error.column = place.column;
    error.subject = place.name;
}

} // namespace rasmik
