// "Paste Table": clipboard text (UTF-16 as the clipboard gives it, or
// Windows-1256 bytes) cut into lines and cells, the paste file built from
// them with or without a remembered header row, and that file laid out.
//
// Input: mode byte, remembered header NUL clipboard text.

#include "app/Clipboard.h"

#include "FuzzTargets.h"

#include "table/ClipboardTable.h"
#include "table/CoreGrid.h"
#include "table/Search.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/TextEncoding.h"
#include "text/TextFiles.h"

#include <QString>

#include <algorithm>

using namespace rasmik;

namespace rasmik::fuzz {

int ClipboardTable(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const auto parts = SplitInput(data + 1, size - 1, 2);
    const std::string remembered(parts[0]);
    std::string text;
    if (mode & 1) {
        // The clipboard's UTF-16 text, odd bytes and lone surrogates included.
        const QString unicode = QString::fromUtf16(reinterpret_cast<const char16_t*>(parts[1].data()),
                                                   static_cast<qsizetype>(parts[1].size() / 2));
        const rasmik::PastedText table = ClipboardTextToTable(unicode);
        text = table.text;
        FUZZ_CHECK(text.size() >= static_cast<std::size_t>(unicode.size()) / 2);
        // Text beyond Windows-1256 is kept as UTF-8; the checks below are of Windows-1256 text.
        if (table.held != TextEncoding::Windows1256) {
            FUZZ_CHECK(IsValidUtf8(text));
            return 0;
        }
    } else {
        text = std::string(parts[1]);
    }

    // The fast cutter gives what repeated TakeLine calls give.
    std::string rest = text;
    std::vector<std::string> expected;
    int columns = 0;
    while (!rest.empty()) {
        const std::size_t before = rest.size();
        std::string line = TakeLine(rest);
        FUZZ_CHECK(rest.size() < before);
        if (!line.empty() && line.back() != '\t')
            line.push_back('\t');
        columns = std::max(columns, static_cast<int>(std::count(line.begin(), line.end(), '\t')));
        expected.push_back(std::move(line));
    }
    std::vector<std::string> list;
    FUZZ_CHECK(ParseClipboardTable(text, list) == columns);
    FUZZ_CHECK(list == expected);

    const auto file = BuildPasteFile(list, columns, remembered);
    if (list.size() < 2 || columns < 2) {
        FUZZ_CHECK(!file);
        return 0;
    }
    FUZZ_CHECK(file.has_value());
    const std::vector<std::string>& lines = *file;
    FUZZ_CHECK(!lines.empty() && lines.size() <= list.size() + 1);
    // The remembered words as the header file gives them: after the UTF-8
    // mark they are UTF-8 text, looked for as its nearest Windows-1256
    // letters (none when a character has no letter there).
    std::string words = remembered;
    const std::string_view mark = ByteOrderMarkOf({TextEncoding::Utf8, true});
    if (std::string_view(remembered).substr(0, mark.size()) == mark) {
        words.clear();
        if (!AppendHeldAs(std::string_view(remembered).substr(mark.size()), TextEncoding::Utf8,
                          TextEncoding::Windows1256, words))
            words.clear();
    }
    // The first entry holding them all, or none.
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const std::string& entry) { return MatchesAllWords(words, entry); });
    if (found == list.end()) {
        FUZZ_CHECK(lines.size() == list.size() + 1);
        FUZZ_CHECK(lines[0].rfind("Col 1\t", 0) == 0);
        FUZZ_CHECK(std::equal(list.begin(), list.end(), lines.begin() + 1));
    } else {
        FUZZ_CHECK(std::equal(lines.begin(), lines.end(), found, list.end()));
    }

    // The file is written and opened like any table.
    const TableLines table = TableLines::FromBytes(JoinLinesCrLf(lines));
    CoreGrid grid;
    FUZZ_CHECK(LayoutGridCells(grid, table, {}));
    FUZZ_CHECK(grid.RowCount() == static_cast<int>(std::max<std::size_t>(1, table.size())));
    FinishLayout(grid, std::vector<int>(static_cast<std::size_t>(grid.ColCount()), 40), 20);

    // "Save Current Row For Header": filtered words joined by single spaces.
    const std::string header = HeaderRowText(grid, grid.Row);
    FUZZ_CHECK(header.find("  ") == std::string::npos);
    FUZZ_CHECK(header.empty() || (header.front() != ' ' && header.back() != ' '));
    for (const char c : header)
        FUZZ_CHECK(!HeaderFilter().test(static_cast<unsigned char>(c)));
    return 0;
}

} // namespace rasmik::fuzz
