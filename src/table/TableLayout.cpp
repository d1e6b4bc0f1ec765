#include "table/TableLayout.h"

#include "text/StringHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

namespace rasmik {

namespace detail {

std::string_view NextField(std::string_view& line, int width)
{
    if (width > 0) {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(width), line.size());
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

HeaderBlock ReadHeaderBlock(TableLines& lines)
{
    HeaderBlock h;
    if (lines.empty() || lines.front().substr(0, HeaderMagic.size()) != HeaderMagic)
        return h;
    h.found = true;
    std::string_view rest = lines.front().substr(HeaderMagic.size());
    lines.dropFront(1);
    h.closeOnKey = TakeFlagToken(rest);
    h.panelCount = std::min(MaxHeaderPanels, TakeIntToken(rest, 0));
    for (int i = 0; i < 3 * std::max(h.panelCount, 0); ++i) {
        if (lines.empty()) {
            h.labels.emplace_back();
        } else {
            h.labels.emplace_back(lines.front());
            lines.dropFront(1);
        }
    }
    return h;
}

std::vector<int> ParseCellWidths(std::string_view cellWidths)
{
    std::vector<int> widths;
    while (!cellWidths.empty())
        widths.push_back(TakeIntToken(cellWidths, 0));
    return widths;
}

std::string_view SplitNextField(std::string_view& line, std::string_view& lineWidths)
{
    return detail::NextField(line, TakeIntToken(lineWidths, 0));
}

void SplitNextField(std::string& line, std::string& lineWidths, std::string& field)
{
    std::string_view l = line;
    std::string_view w = lineWidths;
    field = std::string(SplitNextField(l, w));
    line = std::string(l);
    lineWidths = std::string(w);
}

int CountFields(std::string_view line, const std::vector<int>& widths)
{
    int n = 0;
    ForEachField(line, widths, [&](std::string_view) { ++n; });
    return n;
}

bool LayoutGridCells(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths,
                     const ProgressFn& progress)
{
    const std::vector<int> widths = ParseCellWidths(cellWidths);
    const std::size_t rows = std::max<std::size_t>(1, lines.size());
    if (rows > static_cast<std::size_t>(INT32_MAX))
        return false;
    grid.BeginBuild(lines.buffer(), static_cast<int>(rows));
    const char* const base = lines.buffer()->data();
    constexpr std::size_t ReportEvery = 1u << 16;
    for (std::size_t r = 0; r < lines.size(); ++r) {
        if (progress && r % ReportEvery == ReportEvery - 1 && !progress(r, lines.size()))
            return false;
        int col = 0;
        ForEachField(lines[r], widths, [&](std::string_view field) {
            grid.SetSourceCell(col++, static_cast<int>(r), static_cast<std::uint32_t>(field.data() - base),
                               static_cast<std::uint32_t>(field.size()));
        });
    }
    grid.EndBuild(1);
    return true;
}

std::vector<int> ComputeColumnWidths(const CoreGrid& grid, const TextMetrics& metrics, int gridWidth,
                                     const ProgressFn& progress)
{
    const int cap = static_cast<int>(std::lround(0.8 * gridWidth));
    int bound[256];
    for (int b = 0; b < 256; ++b)
        bound[b] = metrics.byteAdvanceBound(static_cast<unsigned char>(b));
    const std::uint64_t maxAdvance = static_cast<std::uint64_t>(std::max(1, metrics.maxByteAdvanceBound()));

    std::vector<int> result(static_cast<std::size_t>(grid.ColCount()));
    std::unordered_set<std::string_view> measured;
    const std::uint64_t total = static_cast<std::uint64_t>(grid.ColCount()) * static_cast<std::uint64_t>(grid.RowCount());
    std::uint64_t done = 0;
    for (int c = 0; c < grid.ColCount(); ++c) {
        int w = MinColumnWidth;
        measured.clear();
        for (int r = 0; r < grid.RowCount() && w < cap; ++r) {
            const std::string_view text = grid.Cell(c, r);
            if (text.size() * maxAdvance <= static_cast<std::uint64_t>(w))
                continue;
            std::uint64_t sum = 0;
            for (unsigned char ch : text)
                sum += static_cast<std::uint64_t>(bound[ch]);
            if (sum <= static_cast<std::uint64_t>(w))
                continue;
            if (!measured.insert(text).second)
                continue;
            w = std::max(w, metrics.textWidth(text));
        }
        result[static_cast<std::size_t>(c)] = std::min(w, cap);
        done += static_cast<std::uint64_t>(grid.RowCount());
        if (progress && !progress(done, total))
            return {};
    }
    return result;
}

void FinishLayout(CoreGrid& grid, const std::vector<int>& widths, int rowHeight)
{
    for (int c = 0; c < grid.ColCount() && c < static_cast<int>(widths.size()); ++c)
        grid.SetColWidth(c, widths[static_cast<std::size_t>(c)]);
    grid.SetDefaultRowHeight(rowHeight);
    grid.SetFixedRows(grid.RowCount() > 1 ? 1 : 0);
    grid.ClampCursor();
}

} // namespace rasmik
