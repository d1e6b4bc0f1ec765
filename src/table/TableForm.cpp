#include "table/TableForm.h"

#include <array>
#include <cstring>

namespace rasmik {

bool IsCsvPath(std::string_view path)
{
    if (path.size() < 4)
        return false;
    const std::string_view e = path.substr(path.size() - 4);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return e[0] == '.' && lower(e[1]) == 'c' && lower(e[2]) == 's' && lower(e[3]) == 'v';
}

TableForm FormForPath(std::string_view path, std::string_view bytes)
{
    if (!IsCsvPath(path))
        return TabForm;
    return TableForm{DetectCsvSeparator(bytes), true};
}

std::size_t ClosingQuote(std::string_view text, std::size_t from, bool* doubled)
{
    const char* const base = text.data();
    const std::size_t n = text.size();
    while (from < n) {
        const void* q = std::memchr(base + from, '"', n - from);
        if (!q)
            return std::string_view::npos;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(q) - base);
        if (at + 1 < n && base[at + 1] == '"') {
            if (doubled)
                *doubled = true;
            from = at + 2;
            continue;
        }
        return at;
    }
    return std::string_view::npos;
}

int CountQuotedFields(std::string_view record, char separator)
{
    int count = 0;
    ForEachQuotedField(record, separator, [&count](std::string_view, std::string_view, FieldKind) { ++count; });
    return count;
}

std::string UnquoteField(std::string_view raw)
{
    if (raw.empty() || raw.front() != '"')
        return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    std::size_t i = 1;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '"') {
            if (i + 1 < raw.size() && raw[i + 1] == '"') {
                out.push_back('"');
                i += 2;
                continue;
            }
            // The closing quote: what follows it stands as it is.
            out.append(raw.substr(i + 1));
            return out;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

bool FieldNeedsQuotes(std::string_view text, char separator)
{
    for (const char c : text)
        if (c == separator || c == '"' || c == '\r' || c == '\n')
            return true;
    return false;
}

void AppendQuotedField(std::string_view text, std::string& out)
{
    out.push_back('"');
    for (;;) {
        const std::size_t q = text.find('"');
        if (q == std::string_view::npos)
            break;
        out.append(text.substr(0, q + 1));
        out.push_back('"');
        text.remove_prefix(q + 1);
    }
    out.append(text);
    out.push_back('"');
}

char SeparatorNamed(std::string_view name)
{
    if (name == "comma")
        return ',';
    if (name == "semicolon")
        return ';';
    if (name == "tab")
        return '\t';
    if (name == "pipe")
        return '|';
    return 0;
}

namespace {

// The first records of a quoted text, at most limit of them, each cut at a
// line break outside quotes.
template <typename F>
void ForFirstRecords(std::string_view bytes, std::size_t limit, F&& onRecord)
{
    std::size_t pos = 0;
    const std::size_t n = bytes.size();
    for (std::size_t k = 0; k < limit && pos < n; ++k) {
        std::size_t i = pos;
        bool fieldStart = true;
        while (i < n && bytes[i] != '\r' && bytes[i] != '\n') {
            if (fieldStart && bytes[i] == '"') {
                const std::size_t close = ClosingQuote(bytes, i + 1);
                i = close == std::string_view::npos ? n : close + 1;
                fieldStart = false;
                continue;
            }
            fieldStart = bytes[i] == ',' || bytes[i] == ';';
            ++i;
        }
        onRecord(bytes.substr(pos, i - pos));
        if (i < n && bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        pos = i + 1;
    }
}

} // namespace

char DetectCsvSeparator(std::string_view bytes)
{
    // A UTF-8 mark is not part of the first field.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    constexpr std::size_t Sampled = 50;
    constexpr std::array<char, 2> candidates{',', ';'};
    std::array<int, 2> fields{-1, -1};
    std::array<bool, 2> steady{true, true};
    ForFirstRecords(bytes, Sampled, [&](std::string_view record) {
        if (record.empty())
            return;
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const int count = CountQuotedFields(record, candidates[c]);
            if (fields[c] < 0)
                fields[c] = count;
            else if (fields[c] != count)
                steady[c] = false;
        }
    });
    const bool comma = steady[0] && fields[0] > 1;
    const bool semicolon = steady[1] && fields[1] > 1;
    if (semicolon && (!comma || fields[1] > fields[0]))
        return ';';
    return ',';
}

} // namespace rasmik
