#include "table/EditCommands.h"

#include "table/NumberText.h"
#include "table/SaveLines.h"
#include "text/TextFiles.h"

namespace rasmik {

namespace {

bool colInGrid(const CoreGrid& grid, int col)
{
    return col >= 0 && col < grid.ColCount();
}

// A leading minus, or the whole amount in accounting parentheses.
bool AmountIsNegative(std::string_view cell)
{
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    while (!cell.empty() && cell.back() == ' ')
        cell.remove_suffix(1);
    if (cell.empty())
        return false;
    return cell.front() == '-' || (cell.front() == '(' && cell.back() == ')');
}

// Runs change on row 0 (when withHeader) and rows 1.. of the grid, or of
// the given rows only.
template <typename Change>
void ForRows(const CoreGrid& grid, const std::vector<int>* rows, bool withHeader, Change&& change)
{
    if (withHeader && grid.RowCount() > 0)
        change(0);
    if (!rows) {
        for (int r = 1; r < grid.RowCount(); ++r)
            change(r);
        return;
    }
    for (const int r : *rows)
        if (r >= 1 && r < grid.RowCount())
            change(r);
}

void SimpleNumberOf(CoreGrid& grid, const std::vector<int>* rows)
{
    const int col = grid.Col;
    if (!colInGrid(grid, col))
        return;
    const TextEncoding held = grid.Encoding();
    std::string ascii;
    std::string kept;
    ForRows(grid, rows, false, [&](int r) {
        const std::string_view cell = grid.Cell(col, r);
        kept.clear();
        if (AmountIsNegative(cell))
            kept.push_back('-');
        bool digit = false;
        // In UTF-8 the Persian and Arabic-Indic digits and the Arabic decimal
        // separator count too, as ASCII; whatever else lies beyond ASCII goes
        // whole, so no part of a character is kept.
        for (const char ch : AsciiNumberText(cell, held, ascii)) {
            if (ch == '.' || (ch >= '0' && ch <= '9'))
                kept.push_back(ch);
            digit = digit || (ch >= '0' && ch <= '9');
        }
        // A sign alone is no number.
        if (!digit && !kept.empty() && kept.front() == '-')
            kept.erase(0, 1);
        if (kept != cell)
            grid.SetCell(col, r, kept);
    });
}

void BlankColumnOf(CoreGrid& grid, const std::vector<int>* rows)
{
    const int col = grid.Col;
    if (!colInGrid(grid, col))
        return;
    ForRows(grid, rows, true, [&](int r) { grid.SetCell(col, r, {}); });
}

void ShiftColumnLeftOf(CoreGrid& grid, const std::vector<int>* rows)
{
    const int col = grid.Col;
    if (!colInGrid(grid, col))
        return;
    if (col + 1 >= grid.ColCount())
        BlankColumnOf(grid, rows);
    else if (!rows)
        grid.CopyColumn(col + 1, col);
    else
        ForRows(grid, rows, true, [&](int r) { grid.CopyCell(col + 1, col, r); });
}

} // namespace

void SimpleNumber(CoreGrid& grid)
{
    SimpleNumberOf(grid, nullptr);
}

void BlankColumn(CoreGrid& grid)
{
    BlankColumnOf(grid, nullptr);
}

void ShiftColumnLeft(CoreGrid& grid)
{
    ShiftColumnLeftOf(grid, nullptr);
}

void SimpleNumber(CoreGrid& grid, const std::vector<int>& rows)
{
    SimpleNumberOf(grid, &rows);
}

void BlankColumn(CoreGrid& grid, const std::vector<int>& rows)
{
    BlankColumnOf(grid, &rows);
}

void ShiftColumnLeft(CoreGrid& grid, const std::vector<int>& rows)
{
    ShiftColumnLeftOf(grid, &rows);
}

bool DeleteGridRow(CoreGrid& grid, int row)
{
    if (row < 0 || row >= grid.RowCount() || grid.RowCount() <= 1)
        return false;
    grid.DeleteRow(row);
    grid.Row = row < grid.RowCount() ? row : grid.RowCount() - 1;
    grid.ClampCursor();
    return true;
}

bool DeleteGridColumn(CoreGrid& grid, int col)
{
    if (!colInGrid(grid, col) || grid.ColCount() <= 1)
        return false;
    grid.DeleteColumn(col);
    grid.ClampCursor();
    return true;
}

bool CanDeleteRow(const CoreGrid& grid)
{
    return grid.Row > 0 && grid.Row < grid.RowCount();
}

bool CanDeleteColumn(const CoreGrid& grid)
{
    return grid.Col > 0 && grid.Col < grid.ColCount();
}

std::string CfgPathFor(const std::string& path)
{
    return WithFileExtension(path, ".cfg");
}

bool WriteCellFormat(const std::string& cfgPath, std::string_view widths)
{
    if (cfgPath.empty())
        return false;
    std::string text = "CellFormat=";
    text.append(widths);
    text.append("\r\n");
    return WriteFileAtomic(cfgPath, text).ok();
}

} // namespace rasmik
