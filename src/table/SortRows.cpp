#include "table/SortRows.h"

#include "table/Collation.h"
#include "table/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace rasmik {

namespace {

std::string_view TrimmedSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with commas only between digits, then an optional point and digits.
bool PlainNumber(std::string_view s, std::string& digits)
{
    digits.clear();
    std::size_t i = 0;
    bool any = false;
    while (i < s.size() && (IsDigit(s[i]) || s[i] == ',')) {
        if (s[i] == ',') {
            if (!any || i + 1 >= s.size() || !IsDigit(s[i + 1]))
                return false;
        } else {
            digits.push_back(s[i]);
            any = true;
        }
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        digits.push_back('.');
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            digits.push_back(s[i++]);
            any = true;
        }
    }
    return any && i == s.size();
}

// What a row sorts by.
struct TextEntry {
    std::uint64_t prefix; // the first eight bytes of the key, big-endian
    std::uint32_t keyStart;
    std::uint32_t keyLength;
    int row;
};

std::uint64_t PrefixOf(std::string_view key)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, key.data(), std::min<std::size_t>(8, key.size()));
    std::uint64_t p = 0;
    for (const unsigned char b : bytes)
        p = p << 8 | b;
    return p;
}

// The entries of rows [from, to) of col.
struct Part {
    std::vector<std::pair<double, int>> numbers;
    std::vector<TextEntry> texts;
    std::string keys;
    std::vector<int> empties;
};

void ReadPart(const CoreGrid& grid, int col, int from, int to, Part& part)
{
    const TextEncoding held = grid.Encoding();
    const PersianCollator collator(held);
    for (int r = from; r < to; ++r) {
        const std::string_view cell = TrimmedSpaces(grid.Cell(col, r));
        if (cell.empty()) {
            part.empties.push_back(r);
            continue;
        }
        double value = 0;
        if (ReadSortNumber(cell, held, value)) {
            part.numbers.emplace_back(value, r);
            continue;
        }
        const std::size_t start = part.keys.size();
        collator.appendSortKey(cell, part.keys);
        const std::string_view key(part.keys.data() + start, part.keys.size() - start);
        part.texts.push_back(
            {PrefixOf(key), static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(key.size()), r});
    }
}

} // namespace

bool ReadSortNumber(std::string_view text, TextEncoding held, double& value)
{
    std::string buffer;
    std::string_view s;
    if (!AsciiNumberCandidate(text, held, buffer, s))
        return false;
    s = TrimmedSpaces(s);
    bool negative = false;
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        negative = true;
        s = TrimmedSpaces(s.substr(1, s.size() - 2));
    } else if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string digits;
    if (!PlainNumber(s, digits))
        return false;
    double v = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc())
        return false;
    value = negative ? -v : v;
    return true;
}

std::vector<int> SortedRowOrder(const CoreGrid& grid, int col, bool descending)
{
    const int rows = grid.RowCount();
    std::vector<int> order;
    if (rows <= 1 || col < 0 || col >= grid.ColCount())
        return order;
    // Two halves read at once on a large table.
    constexpr int ThreadedRows = 100000;
    Part first, second;
    const int mid = rows >= ThreadedRows && std::thread::hardware_concurrency() >= 2 ? 1 + (rows - 1) / 2 : rows;
    {
        std::jthread worker;
        if (mid < rows) {
            try {
                worker = std::jthread([&] { ReadPart(grid, col, mid, rows, second); });
            } catch (const std::system_error&) {
                ReadPart(grid, col, mid, rows, second);
            }
        }
        ReadPart(grid, col, 1, mid, first);
    }
    // The second half's keys follow the first's.
    const std::uint32_t shift = static_cast<std::uint32_t>(first.keys.size());
    for (TextEntry& e : second.texts)
        e.keyStart += shift;
    first.keys += second.keys;
    first.numbers.insert(first.numbers.end(), second.numbers.begin(), second.numbers.end());
    first.texts.insert(first.texts.end(), second.texts.begin(), second.texts.end());
    first.empties.insert(first.empties.end(), second.empties.begin(), second.empties.end());

    auto& numbers = first.numbers;
    auto& texts = first.texts;
    const std::string& keys = first.keys;
    // Equal values keep their rows' order: the row is the last tie-breaker.
    std::sort(numbers.begin(), numbers.end(), [descending](const auto& a, const auto& b) {
        if (a.first != b.first)
            return descending ? a.first > b.first : a.first < b.first;
        return a.second < b.second;
    });
    std::sort(texts.begin(), texts.end(), [&keys, descending](const TextEntry& a, const TextEntry& b) {
        int c = 0;
        if (a.prefix != b.prefix) {
            c = a.prefix < b.prefix ? -1 : 1;
        } else {
            const std::string_view ka(keys.data() + a.keyStart, a.keyLength);
            const std::string_view kb(keys.data() + b.keyStart, b.keyLength);
            c = ka.compare(kb);
        }
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    });
    order.reserve(static_cast<std::size_t>(rows - 1));
    const auto addNumbers = [&] {
        for (const auto& n : numbers)
            order.push_back(n.second);
    };
    const auto addTexts = [&] {
        for (const TextEntry& t : texts)
            order.push_back(t.row);
    };
    if (descending) {
        addTexts();
        addNumbers();
    } else {
        addNumbers();
        addTexts();
    }
    order.insert(order.end(), first.empties.begin(), first.empties.end());
    return order;
}

} // namespace rasmik
