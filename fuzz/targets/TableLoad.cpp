// Loading a table: the table's .cfg (its "CellFormat" widths), "Option.cfg"
// and the table file's bytes, through the same steps as Open and FillGrid:
// lines, header block, field cutting, the core grid, the remembered column
// order, column widths and the bytes Save would write.
//
// Input: table .cfg NUL Option.cfg NUL table bytes (which may hold NULs).

#include "FuzzTargets.h"

#include "table/ColumnOrder.h"
#include "table/CoreGrid.h"
#include "table/Options.h"
#include "table/SaveLines.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "table/TextMetrics.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <algorithm>
#include <cmath>

using namespace rasmik;

namespace {

// A font where every byte has its own advance and doubled letters kern, so
// that the per-byte bound is not always reached.
class FakeMetrics : public TextMetrics {
public:
    int textWidth(std::string_view text) const override
    {
        int w = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            w += advance(static_cast<unsigned char>(text[i]));
            if (i > 0 && text[i] == text[i - 1])
                w -= 1;
        }
        return w;
    }
    int textHeight(std::string_view) const override { return 13; }
    int byteAdvanceBound(unsigned char b) const override { return advance(b); }
    int maxByteAdvanceBound() const override { return 9; }

private:
    static int advance(unsigned char b) { return 2 + b % 8; }
};

std::vector<std::vector<std::string>> Columns(const CoreGrid& grid)
{
    std::vector<std::vector<std::string>> cols;
    for (int c = 0; c < grid.ColCount(); ++c) {
        std::vector<std::string> col;
        for (int r = 0; r < grid.RowCount(); ++r)
            col.emplace_back(grid.Cell(c, r));
        cols.push_back(std::move(col));
    }
    return cols;
}

bool HeaderHasTab(const CoreGrid& grid)
{
    for (int c = 0; c < grid.ColCount(); ++c)
        if (grid.Cell(c, 0).find('\t') != std::string_view::npos)
            return true;
    return false;
}

} // namespace

namespace rasmik::fuzz {

int TableLoad(const std::uint8_t* data, std::size_t size)
{
    const auto parts = SplitInput(data, size, 3);
    const std::string cellWidths = KeyValueOf(SplitLines(parts[0]), "CellFormat");
    std::vector<std::string> columnOrders = SplitLines(parts[1]);
    const std::string_view bytes = parts[2];

    TableLines lines = TableLines::FromBytes(std::string(bytes));
    FUZZ_CHECK(lines.toStrings() == SplitLines(bytes));
    const std::size_t allLines = lines.size();

    const HeaderBlock block = ReadHeaderBlock(lines);
    FUZZ_CHECK(block.panelCount <= MaxHeaderPanels);
    FUZZ_CHECK(block.labels.size() == 3 * static_cast<std::size_t>(std::max(block.panelCount, 0)));
    if (!block.found)
        FUZZ_CHECK(lines.size() == allLines);
    else
        FUZZ_CHECK(lines.size() + 1 + std::min(block.labels.size(), allLines - 1) == allLines);

    // The view cutter over pre-parsed widths agrees with cutting one field at
    // a time off owned strings, taking one width token each.
    const std::vector<int> widths = ParseCellWidths(cellWidths);
    std::vector<std::vector<std::string>> fields;
    std::size_t mostFields = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line(lines[i]);
        std::string w = cellWidths;
        std::vector<std::string> ref;
        while (!line.empty()) {
            std::string field;
            SplitNextField(line, w, field);
            ref.push_back(std::move(field));
        }
        std::vector<std::string> got;
        ForEachField(lines[i], widths, TextEncoding::Windows1256, [&](std::string_view f) { got.emplace_back(f); });
        FUZZ_CHECK(got == ref);
        FUZZ_CHECK(CountFields(lines[i], widths) == static_cast<int>(ref.size()));
        mostFields = std::max(mostFields, ref.size());
        fields.push_back(std::move(ref));
    }

    CoreGrid grid;
    FUZZ_CHECK(LayoutGridCells(grid, lines, cellWidths));
    FUZZ_CHECK(grid.RowCount() == static_cast<int>(std::max<std::size_t>(1, lines.size())));
    FUZZ_CHECK(grid.ColCount() == static_cast<int>(std::max<std::size_t>(1, mostFields)));
    for (int r = 0; r < static_cast<int>(fields.size()); ++r)
        for (int c = 0; c < grid.ColCount(); ++c) {
            const auto& row = fields[static_cast<std::size_t>(r)];
            const std::string expected =
                static_cast<std::size_t>(c) < row.size() && !row[static_cast<std::size_t>(c)].empty()
                ? row[static_cast<std::size_t>(c)]
                : std::string(" ");
            FUZZ_CHECK(grid.Cell(c, r) == expected);
        }

    // A remembered order moves columns but never loses or doubles one.
    auto before = Columns(grid);
    ApplyColumnOrder(grid, columnOrders);
    auto after = Columns(grid);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    FUZZ_CHECK(before == after);

    const FakeMetrics metrics;
    const int gridWidth = static_cast<int>(size % 2000);
    const std::vector<int> colWidths = ComputeColumnWidths(grid, metrics, gridWidth);
    FUZZ_CHECK(static_cast<int>(colWidths.size()) == grid.ColCount());
    const int cap = static_cast<int>(std::lround(0.8 * gridWidth));
    for (int c = 0; c < grid.ColCount(); ++c) {
        int widest = MinColumnWidth;
        for (int r = 0; r < grid.RowCount(); ++r)
            widest = std::max(widest, metrics.textWidth(grid.Cell(c, r)));
        FUZZ_CHECK(colWidths[static_cast<std::size_t>(c)] == std::min(widest, cap));
    }
    FinishLayout(grid, colWidths, metrics.textHeight("AY"));
    FUZZ_CHECK(grid.Row >= 0 && grid.Row < grid.RowCount() && grid.Col >= 0 && grid.Col < grid.ColCount());

    // Save writes one CR LF line per row.
    const std::string saved = BuildSaveBytes(grid, static_cast<std::int64_t>(size % 3));
    FUZZ_CHECK(SplitLines(saved).size() == static_cast<std::size_t>(grid.RowCount()));
    std::size_t crlf = 0;
    for (std::size_t p = saved.find("\r\n"); p != std::string::npos; p = saved.find("\r\n", p + 2))
        ++crlf;
    FUZZ_CHECK(crlf == static_cast<std::size_t>(grid.RowCount()));

    // "Save Col Order" after the user moved a column, then a fresh layout of
    // the same table: the saved order comes back (names with a TAB, possible
    // only with fixed widths, cannot be stored).
    if (grid.ColCount() > 1 && size > 0)
        grid.MoveColumn(data[0] % grid.ColCount(), data[size - 1] % grid.ColCount());
    const std::string savedOrder = ColumnOrderValue(grid);
    FUZZ_CHECK(!SaveColOrder(grid, columnOrders, std::string())); // no file: nothing written
    FUZZ_CHECK(KeyValueOf(columnOrders, ColumnOrderKey(grid)) == savedOrder);
    CoreGrid again;
    FUZZ_CHECK(LayoutGridCells(again, lines, cellWidths));
    ApplyColumnOrder(again, columnOrders);
    if (!HeaderHasTab(grid))
        FUZZ_CHECK(ColumnOrderValue(again) == savedOrder);
    FUZZ_CHECK(!DeleteColOrder(again, columnOrders, std::string()));
    FUZZ_CHECK(KeyIndexOf(columnOrders, ColumnOrderKey(again)) < 0);
    return 0;
}

} // namespace rasmik::fuzz
