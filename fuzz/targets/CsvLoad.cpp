// Loading a comma-separated (quoted) table: its records, their fields, the
// core grid and the bytes Save would write, unchanged, after an edit and in
// another separator. What a save writes reads back as the same cells, and a
// well-formed file (every quote closed right before its field ends, one
// line break throughout) saves to its own bytes.
//
// Input: form byte (low two bits: comma, semicolon, TAB, "|"; bit 2: held
// as UTF-8), table bytes.

#include "FuzzTargets.h"

#include "table/CoreGrid.h"
#include "table/SaveLines.h"
#include "table/TableForm.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <algorithm>

using namespace rasmik;

namespace {

constexpr char Separators[] = {',', ';', '\t', '|'};

using Rows = std::vector<std::vector<std::string>>;

// A row's cells up to its last that is not fill (a fill cell between two
// others saves as an empty field).
Rows CellsOf(const CoreGrid& grid)
{
    Rows rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        int length = grid.ColCount();
        while (length > 0 && grid.IsFill(length - 1, r))
            --length;
        std::vector<std::string> row;
        for (int c = 0; c < length; ++c)
            row.emplace_back(grid.Cell(c, r));
        rows.push_back(std::move(row));
    }
    return rows;
}

bool IsBreak(std::string_view s)
{
    return s == "\r\n" || s == "\r" || s == "\n";
}

SaveForm OwnForm(const TableLines& lines, bool asRead)
{
    SaveForm form;
    form.kept = true;
    form.lineBreak = lines.lineBreak();
    form.lastLineEnded = lines.lastLineEnded();
    form.fields = lines.form();
    form.asRead = asRead;
    return form;
}

CoreGrid Layout(const TableLines& lines)
{
    CoreGrid grid;
    FUZZ_CHECK(LayoutGridCells(grid, lines, {}));
    return grid;
}

// Reads saved as a table of form and checks that it holds cells; a save of
// what was read is then its own bytes again.
void CheckReadsBack(const std::string& saved, TableForm form, TextEncoding held, const Rows& cells)
{
    TableLines again = TableLines::FromBytes(saved, form);
    again.setEncoding({held, false});
    const CoreGrid grid = Layout(again);
    const Rows got = CellsOf(grid);
    FUZZ_CHECK(got == cells);
    FUZZ_CHECK(BuildSaveBytes(grid, 0, OwnForm(again, true)) == saved);
}

} // namespace

namespace rasmik::fuzz {

int CsvLoad(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const TableForm form{Separators[data[0] & 3], true};
    const TextEncoding held = (data[0] & 4) ? TextEncoding::Utf8 : TextEncoding::Windows1256;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));

    TableLines lines = TableLines::FromBytes(std::string(text), form);
    lines.setEncoding({held, false});
    FUZZ_CHECK(lines.form() == form);

    // The records tile the text: each break between two is one line break,
    // and the file's own break is its first.
    const std::string_view all = lines.buffer()->view();
    FUZZ_CHECK(all == text);
    const auto offsetOf = [&](std::string_view record) { return static_cast<std::size_t>(record.data() - all.data()); };
    bool oneBreak = true;
    std::size_t at = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view record = lines[i];
        FUZZ_CHECK(offsetOf(record) == at);
        at += record.size();
        const std::size_t next = i + 1 < lines.size() ? offsetOf(lines[i + 1]) : all.size();
        const std::string_view gap = all.substr(at, next - at);
        if (i + 1 < lines.size() || !gap.empty()) {
            FUZZ_CHECK(IsBreak(gap));
            if (i == 0)
                FUZZ_CHECK(gap == lines.lineBreak());
            oneBreak = oneBreak && gap == lines.lineBreak();
        }
        at = next;
    }
    FUZZ_CHECK(at == all.size());
    const std::string_view last = lines.empty() ? std::string_view() : lines[lines.size() - 1];
    FUZZ_CHECK(lines.lastLineEnded() == (!lines.empty() && offsetOf(last) + last.size() != all.size()));

    // Each record's fields tile it, one separator between two, and only the
    // last record may hold a quote never closed.
    bool wellFormed = oneBreak && !lines.unclosedQuote();
    Rows expected;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view record = lines[i];
        std::string joined;
        std::vector<std::string> row;
        ForEachQuotedField(record, form.separator, [&](std::string_view view, std::string_view raw, FieldKind kind) {
            if (!row.empty())
                joined.push_back(form.separator);
            joined.append(raw);
            FUZZ_CHECK(kind == FieldKind::Copy || raw == view || raw.substr(1, view.size()) == view);
            row.push_back(kind == FieldKind::Copy ? UnquoteField(raw) : std::string(view));
            if (!raw.empty() && raw.front() == '"') {
                const std::size_t close = ClosingQuote(raw, 1);
                if (close == std::string_view::npos)
                    FUZZ_CHECK(i + 1 == lines.size() && lines.unclosedQuote());
                wellFormed = wellFormed && close + 1 == raw.size();
            }
        });
        FUZZ_CHECK(joined == record);
        FUZZ_CHECK(CountQuotedFields(record, form.separator) == static_cast<int>(row.size()));
        expected.push_back(std::move(row));
    }

    CoreGrid grid = Layout(lines);
    std::size_t most = 1;
    for (const auto& row : expected)
        most = std::max(most, row.size());
    FUZZ_CHECK(grid.RowCount() == static_cast<int>(std::max<std::size_t>(1, lines.size())));
    FUZZ_CHECK(grid.ColCount() == static_cast<int>(most));
    FUZZ_CHECK(grid.KeepsFields());
    // No record shows as one empty row.
    const Rows cells = CellsOf(grid);
    FUZZ_CHECK(cells == expected || (lines.empty() && cells == Rows{{}}));

    // Unchanged: its own bytes when well-formed, the same cells always.
    const std::string saved = BuildSaveBytes(grid, 0, OwnForm(lines, true));
    if (wellFormed)
        FUZZ_CHECK(saved == text);
    CheckReadsBack(saved, form, held, cells);

    // In the next separator, as a save to another form writes it.
    const TableForm other{Separators[(data[0] + 1) & 3], true};
    SaveForm otherForm = OwnForm(lines, false);
    otherForm.fields = other;
    CheckReadsBack(BuildSaveBytes(grid, 0, otherForm), other, held, cells);

    // An edit: the first record's text put into the last row's cell past
    // its first, however it is quoted.
    if (!lines.empty()) {
        const int row = grid.RowCount() - 1;
        const int col = static_cast<int>(std::min<std::size_t>(size % 3, static_cast<std::size_t>(grid.ColCount())));
        if (col >= grid.ColCount())
            grid.AddColumns(col + 1);
        grid.SetCell(col, row, lines[0]);
        CheckReadsBack(BuildSaveBytes(grid, 0, OwnForm(lines, true)), form, held, CellsOf(grid));
    }
    return 0;
}

} // namespace rasmik::fuzz
