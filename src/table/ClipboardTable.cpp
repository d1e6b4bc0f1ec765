#include "table/ClipboardTable.h"

#include "table/NumberText.h"
#include "table/Search.h"
#include "table/TableForm.h"
#include "text/Cp1256.h"

#include <algorithm>
#include <cstring>

namespace rasmik {

std::vector<std::vector<std::string>> ClipboardCells(std::string_view text)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        std::size_t end;
        if (text[i] == '"') {
            const std::size_t close = ClosingQuote(text, i + 1);
            end = close == std::string_view::npos ? n : text.find_first_of("\t\r\n", close + 1);
            if (end == std::string_view::npos)
                end = n;
            row.push_back(UnquoteField(text.substr(i, end - i)));
        } else {
            end = text.find_first_of("\t\r\n", i);
            if (end == std::string_view::npos)
                end = n;
            row.emplace_back(text.substr(i, end - i));
        }
        i = end;
        if (i < n && text[i] == '\t') {
            ++i;
            // A TAB at the very end opens one more, empty, cell.
            if (i == n)
                row.emplace_back();
            continue;
        }
        if (i < n) {
            i += text[i] == '\r' && i + 1 < n && text[i + 1] == '\n' ? 2 : 1;
        }
        rows.push_back(std::move(row));
        row.clear();
    }
    if (!row.empty())
        rows.push_back(std::move(row));
    return rows;
}

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

// UTF-8 text with every character that has a Windows-1256 letter (exact or
// nearest) replaced by that letter's own character: ی becomes ي, a Persian
// digit an ASCII one. The form in which Windows-1256 and UTF-8 text compare.
std::string nearestLettersUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::string letters;
    std::size_t i = 0;
    while (i < text.size()) {
        if ((text[i] & 0x80) == 0) {
            out.push_back(text[i++]);
            continue;
        }
        const std::size_t at = i;
        const char32_t cp = NextCodePoint(text, i);
        letters.clear();
        if (AppendNearestCp1256(cp, letters)) {
            for (const char ch : letters)
                AppendUtf8(out, Cp1256ToUnicodeChar(static_cast<unsigned char>(ch)));
        } else {
            out.append(text.substr(at, i - at));
        }
    }
    return out;
}

// "ClipTablePasteHdr.txt" in the UTF-8 form starts with the UTF-8 mark.
bool isUtf8HeaderFile(std::string_view fileText)
{
    const std::string_view mark = ByteOrderMarkOf({TextEncoding::Utf8, true});
    return fileText.substr(0, mark.size()) == mark;
}

// The first entry that holds every word of query, or -1. Both are UTF-8 when
// nearestLetters is set, else Windows-1256.
std::ptrdiff_t firstMatching(const std::vector<std::string>& list, std::string_view query, bool nearestLetters)
{
    const WordMatcher matcher(query, nearestLetters ? TextEncoding::Utf8 : TextEncoding::Windows1256);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (nearestLetters ? matcher.Matches(nearestLettersUtf8(list[i])) : matcher.Matches(list[i]))
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

// The entry the remembered header is found in, or -1.
std::ptrdiff_t headerEntry(const std::vector<std::string>& list, std::string_view fileText, TextEncoding held)
{
    if (fileText.empty())
        return -1;
    const bool utf8Header = isUtf8HeaderFile(fileText);
    if (held != TextEncoding::Utf8) {
        if (!utf8Header)
            return firstMatching(list, fileText, false);
        // Windows-1256 entries hold nearest letters only: a header with a
        // character beyond them is in none of them.
        std::string header;
        fileText.remove_prefix(ByteOrderMarkOf({TextEncoding::Utf8, true}).size());
        if (fileText.empty() || !AppendHeldAs(fileText, TextEncoding::Utf8, TextEncoding::Windows1256, header))
            return -1;
        return firstMatching(list, header, false);
    }
    std::string header;
    if (utf8Header) {
        fileText.remove_prefix(ByteOrderMarkOf({TextEncoding::Utf8, true}).size());
        header = nearestLettersUtf8(fileText);
    } else {
        AppendHeldAs(fileText, TextEncoding::Windows1256, TextEncoding::Utf8, header);
    }
    if (header.empty())
        return -1;
    return firstMatching(list, header, true);
}

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

int ParseClipboardTable(std::string_view text, std::vector<std::string>& list)
{
    list.clear();
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
                                                       std::string_view rememberedHeader, TextEncoding held)
{
    if (list.size() < 2 || columnCount < 2)
        return std::nullopt;
    if (const std::ptrdiff_t found = headerEntry(list, rememberedHeader, held); found >= 0)
        return std::vector<std::string>(list.begin() + found, list.end());
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

namespace {

// A UTF-8 cell without the characters whose Windows-1256 letter is filtered.
void appendFilteredUtf8(std::string_view cell, std::string& out)
{
    const CharSet& filter = HeaderFilter();
    std::string letters;
    std::size_t i = 0;
    while (i < cell.size()) {
        const auto b = static_cast<unsigned char>(cell[i]);
        if (b < 0x80) {
            if (!filter.test(b))
                out.push_back(cell[i]);
            ++i;
            continue;
        }
        const std::size_t at = i;
        const char32_t cp = NextCodePoint(cell, i);
        // The Arabic separators go with the ASCII punctuation they stand for.
        if (cp == ArabicDecimalSeparator || cp == ArabicThousandsSeparator)
            continue;
        letters.clear();
        if (AppendNearestCp1256(cp, letters) && letters.size() == 1
            && filter.test(static_cast<unsigned char>(letters[0])))
            continue;
        out.append(cell.substr(at, i - at));
    }
}

} // namespace

std::string HeaderRowText(const CoreGrid& grid, int row)
{
    if (row < 0 || row >= grid.RowCount())
        return {};
    const bool utf8 = grid.Encoding() == TextEncoding::Utf8;
    std::string text;
    for (int c = 0; c < grid.ColCount(); ++c) {
        if (utf8)
            appendFilteredUtf8(grid.Cell(c, row), text);
        else
            text += RemoveCharSet(HeaderFilter(), grid.Cell(c, row));
        text += ' ';
    }
    return TrimSpaces(CollapseDoubleSpaces(text));
}

std::string HeaderFileText(std::string_view headerRow, TextEncoding held)
{
    if (held != TextEncoding::Utf8)
        return std::string(headerRow);
    std::string text;
    if (AppendHeldAs(headerRow, TextEncoding::Utf8, TextEncoding::Windows1256, text))
        return text;
    text.assign(ByteOrderMarkOf({TextEncoding::Utf8, true}));
    text.append(headerRow);
    return text;
}

} // namespace rasmik
