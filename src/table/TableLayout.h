#pragma once
// Turning a table's lines into the grid: the header block, field cutting by
// TAB or fixed width, the cells, and the column widths.

#include "table/CoreGrid.h"
#include "table/TableLines.h"
#include "table/TextMetrics.h"
#include "text/StringHelpers.h"
#include "text/TextEncoding.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

inline constexpr std::string_view HeaderMagic = "SardoVelam31415926535-";
inline constexpr int MaxHeaderPanels = 10;
inline constexpr int MinColumnWidth = 10;

struct HeaderBlock {
    bool found = false;      // the first line carried the magic prefix
    bool closeOnKey = false; // meaningful only when found
    int panelCount = 0;      // panels of the header strip: at most 10, may be negative
    // Three captions per panel (right, centre, left), panel 1 first.
    std::vector<std::string> labels;
    // The block's lines as read, the magic line first: what a save over the
    // table writes back in front of its rows.
    std::vector<std::string> lines;
};

// Reads the header block at the top of lines and removes its lines.
HeaderBlock ReadHeaderBlock(TableLines& lines);

// The width tokens of a CellWidths text, in order (TakeIntToken until empty).
std::vector<int> ParseCellWidths(std::string_view cellWidths);

// Cuts the next field off the front of line, consuming the next width token
// of lineWidths. The field refers into line's original text. Fixed widths
// count characters of the held form.
std::string_view SplitNextField(std::string_view& line, std::string_view& lineWidths,
                                TextEncoding held = TextEncoding::Windows1256);
// The same over owned strings.
void SplitNextField(std::string& line, std::string& lineWidths, std::string& field,
                    TextEncoding held = TextEncoding::Windows1256);

// Cuts one whole line into its fields with pre-parsed widths.
template <typename F>
void ForEachField(std::string_view line, const std::vector<int>& widths, TextEncoding held, F&& onField);

// Number of fields of a line (an empty line has none).
int CountFields(std::string_view line, const std::vector<int>& widths, TextEncoding held = TextEncoding::Windows1256);

// Fills the grid from the lines: one row per line (at least one row), as many
// columns as the line with most fields, " " for empty fields. Widths, row
// height and fixed rows are left to the caller. Returns false when cancelled.
bool LayoutGridCells(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths,
                     const ProgressFn& progress = {});

// Exact widest text of every column (at least MinColumnWidth), capped at the
// integer nearest to 0.8 x gridWidth. Cells are taken widest bound first; a
// cell whose bound cannot beat the column's maximum so far is not measured,
// and each distinct text is measured once. threads: 0 decides by the table's
// size (every cell of a small table simply measured, without bounds; two
// threads for large tables when the metrics allow it), 1 or more forces that
// many; the widths are the same either way. Returns an empty list when
// cancelled.
std::vector<int> ComputeColumnWidths(const CoreGrid& grid, const TextMetrics& metrics, int gridWidth,
                                     const ProgressFn& progress = {}, int threads = 0);

// LayoutGridCells and then ComputeColumnWidths of the grid, in one go: the
// cells of a large table are bounded as they are laid out, while their
// bytes are at hand. metrics is asked for once the first rows are laid out.
// False when the layout is cancelled; widths is empty when the widths are.
bool LayoutGridCellsAndWidths(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths,
                              const std::function<const TextMetrics&()>& metrics, int gridWidth,
                              std::vector<int>& widths, const ProgressFn& cellProgress = {},
                              const ProgressFn& widthProgress = {});

// Widths, row height and the fixed row, after the cells are in place.
void FinishLayout(CoreGrid& grid, const std::vector<int>& widths, int rowHeight);

// ---- implementation of the template ----
namespace detail {
// Inline: the layout cuts every field of a fixed-width table this way.
inline std::string_view NextField(std::string_view& line, int width, TextEncoding held)
{
    if (width > 0) {
        const auto w = static_cast<std::size_t>(width);
        const std::size_t n =
            held == TextEncoding::Windows1256 ? std::min(w, line.size()) : BytesOfCharacters(line, w, held);
        std::string_view field = line.substr(0, n);
        line.remove_prefix(n);
        return TrimSpacesView(field);
    }
    const void* tab = std::memchr(line.data(), '\t', line.size());
    if (!tab) {
        std::string_view field = line;
        line = {};
        return field;
    }
    const std::size_t p = static_cast<std::size_t>(static_cast<const char*>(tab) - line.data());
    std::string_view field = line.substr(0, p);
    line.remove_prefix(p + 1);
    return field;
}
} // namespace detail

template <typename F>
void ForEachField(std::string_view line, const std::vector<int>& widths, TextEncoding held, F&& onField)
{
    std::size_t k = 0;
    while (!line.empty()) {
        const int w = k < widths.size() ? widths[k] : 0;
        ++k;
        onField(detail::NextField(line, w, held));
    }
}

} // namespace rasmik
