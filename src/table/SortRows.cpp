#include "table/SortRows.h"

#include "table/Collation.h"
#include "table/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
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

// What a row sorts by: its key, the first sixteen bytes of it big-endian in
// two words so that most comparisons stay inside the array.
struct TextEntry {
    std::uint64_t prefix[2];
    std::uint32_t keyStart;
    std::uint32_t keyLength;
    int row;
};

constexpr std::size_t PrefixBytes = 16;

void SetPrefix(TextEntry& e, std::string_view key)
{
    unsigned char bytes[PrefixBytes] = {};
    std::memcpy(bytes, key.data(), std::min(PrefixBytes, key.size()));
    for (int w = 0; w < 2; ++w) {
        std::uint64_t p = 0;
        for (int b = 0; b < 8; ++b)
            p = p << 8 | bytes[w * 8 + b];
        e.prefix[w] = p;
    }
}

// Keys hold no zero byte, so equal prefixes of keys of at most sixteen
// bytes are equal keys.
int CompareKeys(const TextEntry& a, const std::string& keysA, const TextEntry& b, const std::string& keysB)
{
    if (a.prefix[0] != b.prefix[0])
        return a.prefix[0] < b.prefix[0] ? -1 : 1;
    if (a.prefix[1] != b.prefix[1])
        return a.prefix[1] < b.prefix[1] ? -1 : 1;
    if (a.keyLength <= PrefixBytes || b.keyLength <= PrefixBytes)
        return static_cast<int>(a.keyLength > PrefixBytes) - static_cast<int>(b.keyLength > PrefixBytes);
    const std::string_view ka(keysA.data() + a.keyStart + PrefixBytes, a.keyLength - PrefixBytes);
    const std::string_view kb(keysB.data() + b.keyStart + PrefixBytes, b.keyLength - PrefixBytes);
    return ka.compare(kb);
}

// The entries of rows [from, to) of col, each kind sorted.
struct Part {
    std::vector<std::pair<double, int>> numbers;
    std::vector<TextEntry> texts;
    std::string keys;
    std::vector<int> empties;
};

// Texts before numbers when descending, equal values in row order.
struct PartOrder {
    bool descending;
    bool operator()(const std::pair<double, int>& a, const std::pair<double, int>& b) const
    {
        if (a.first != b.first)
            return descending ? a.first > b.first : a.first < b.first;
        return a.second < b.second;
    }
    bool texts(const TextEntry& a, const std::string& keysA, const TextEntry& b, const std::string& keysB) const
    {
        const int c = CompareKeys(a, keysA, b, keysB);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    }
};

void ReadPart(const CoreGrid& grid, int col, int from, int to, bool descending, Part& part)
{
    const TextEncoding held = grid.Encoding();
    const PersianCollator collator(held);
    // Columns often repeat their values: a value met lately shares its key.
    struct Recent {
        std::string_view value;
        std::uint32_t keyStart = 0;
        std::uint32_t keyLength = 0;
    };
    std::vector<Recent> recent(4096);
    const std::hash<std::string_view> hash;
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
        Recent& seen = recent[hash(cell) & (recent.size() - 1)];
        if (seen.value.data() == nullptr || seen.value != cell) {
            const std::size_t start = part.keys.size();
            collator.appendSortKey(cell, part.keys);
            seen = {cell, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(part.keys.size() - start)};
        }
        TextEntry e{{0, 0}, seen.keyStart, seen.keyLength, r};
        SetPrefix(e, std::string_view(part.keys.data() + e.keyStart, e.keyLength));
        part.texts.push_back(e);
    }
    const PartOrder order{descending};
    std::sort(part.numbers.begin(), part.numbers.end(), order);
    const std::string& keys = part.keys;
    std::sort(part.texts.begin(), part.texts.end(),
              [&](const TextEntry& a, const TextEntry& b) { return order.texts(a, keys, b, keys); });
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
    // Two halves read and sorted at once on a large table, then merged.
    constexpr int ThreadedRows = 100000;
    Part first, second;
    const int mid = rows >= ThreadedRows && std::thread::hardware_concurrency() >= 2 ? 1 + (rows - 1) / 2 : rows;
    {
        std::jthread worker;
        if (mid < rows) {
            try {
                worker = std::jthread([&] { ReadPart(grid, col, mid, rows, descending, second); });
            } catch (const std::system_error&) {
                ReadPart(grid, col, mid, rows, descending, second);
            }
        }
        ReadPart(grid, col, 1, mid, descending, first);
    }
    const PartOrder by{descending};
    std::vector<int> numbers;
    numbers.reserve(first.numbers.size() + second.numbers.size());
    {
        auto a = first.numbers.begin();
        auto b = second.numbers.begin();
        while (a != first.numbers.end() || b != second.numbers.end()) {
            const bool fromFirst = b == second.numbers.end() || (a != first.numbers.end() && !by(*b, *a));
            numbers.push_back(fromFirst ? (a++)->second : (b++)->second);
        }
    }
    std::vector<int> texts;
    texts.reserve(first.texts.size() + second.texts.size());
    {
        auto a = first.texts.begin();
        auto b = second.texts.begin();
        while (a != first.texts.end() || b != second.texts.end()) {
            const bool fromFirst =
                b == second.texts.end() || (a != first.texts.end() && !by.texts(*b, second.keys, *a, first.keys));
            texts.push_back(fromFirst ? (a++)->row : (b++)->row);
        }
    }
    order.reserve(static_cast<std::size_t>(rows - 1));
    const std::vector<int>& lead = descending ? texts : numbers;
    const std::vector<int>& follow = descending ? numbers : texts;
    order.insert(order.end(), lead.begin(), lead.end());
    order.insert(order.end(), follow.begin(), follow.end());
    order.insert(order.end(), first.empties.begin(), first.empties.end());
    order.insert(order.end(), second.empties.begin(), second.empties.end());
    return order;
}

} // namespace rasmik
