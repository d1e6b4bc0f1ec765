#include "table/ClipboardTable.h"

#include "table/Search.h"
#include "text/PersianLetters.h"

#include <algorithm>
#include <cstring>

namespace rasmik {

namespace {

// Walks a text line by line exactly as repeated TakeLine calls would, without
// copying the rest of the text at every line.
class LineCutter {
public:
    explicit LineCutter(std::string_view text) : rest_(text) { }
    bool done() const { return rest_.empty(); }

    std::string_view next()
    {
        if (!lfOnly_ && !rest_.empty() && !std::memchr(rest_.data(), '\r', rest_.size()))
            lfOnly_ = true; // every later rest holds no CR either
        const char sep = lfOnly_ ? '\n' : '\r';
        const std::size_t p = rest_.find(sep);
        std::string_view line = rest_.substr(0, p);
        rest_ = p == std::string_view::npos ? std::string_view{} : rest_.substr(p + 1);
        if (!lfOnly_) {
            if (!rest_.empty() && rest_.front() == '\n')
                rest_.remove_prefix(1);
            if (!line.empty() && line.back() == '\n')
                line.remove_suffix(1);
        }
        return line;
    }

private:
    std::string_view rest_;
    bool lfOnly_ = false;
};

} // namespace

std::string TakeLine(std::string& text)
{
    if (text.find('\r') == std::string::npos && text.find('\n') != std::string::npos)
        std::replace(text.begin(), text.end(), '\n', '\r');
    const std::size_t p = text.find('\r');
    std::string line;
    if (p == std::string::npos) {
        line.swap(text);
    } else {
        line = text.substr(0, p);
        text.erase(0, p + 1);
    }
    if (!text.empty() && text.front() == '\n')
        text.erase(0, 1);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

int ParseClipboardTable(std::string text, std::vector<std::string>& list)
{
    list.clear();
    NormalizeKaf(text);
    int columns = 0;
    LineCutter cutter(text);
    while (!cutter.done()) {
        const std::string_view line = cutter.next();
        // Cutting at TABs and putting a TAB after each cell gives the line
        // itself with a TAB added unless it already ends with one.
        std::string entry(line);
        if (!entry.empty() && entry.back() != '\t')
            entry.push_back('\t');
        columns = std::max(columns, static_cast<int>(std::count(entry.begin(), entry.end(), '\t')));
        list.push_back(std::move(entry));
    }
    return columns;
}

std::optional<std::vector<std::string>> BuildPasteFile(const std::vector<std::string>& list, int columnCount,
                                                       std::string_view rememberedHeader)
{
    if (list.size() < 2 || columnCount < 2)
        return std::nullopt;
    if (!rememberedHeader.empty()) {
        const WordMatcher matcher(rememberedHeader);
        for (std::size_t i = 0; i < list.size(); ++i)
            if (matcher.Matches(list[i]))
                return std::vector<std::string>(list.begin() + static_cast<std::ptrdiff_t>(i), list.end());
    }
    std::string header;
    for (int k = 1; k <= columnCount; ++k) {
        header += "Col ";
        header += std::to_string(k);
        header += '\t';
    }
    std::vector<std::string> lines;
    lines.reserve(list.size() + 1);
    lines.push_back(std::move(header));
    lines.insert(lines.end(), list.begin(), list.end());
    return lines;
}

const CharSet& HeaderFilter()
{
    static const CharSet filter = MakeCharSet({{0, 31}, {33, 64}, {91, 96}, {123, 127}, {253, 255}});
    return filter;
}

std::string HeaderRowText(const CoreGrid& grid, int row)
{
    if (row < 0 || row >= grid.RowCount())
        return {};
    std::string text;
    for (int c = 0; c < grid.ColCount(); ++c) {
        text += RemoveCharSet(HeaderFilter(), grid.Cell(c, row));
        text += ' ';
    }
    return TrimSpaces(CollapseDoubleSpaces(text));
}

} // namespace rasmik
