#include "table/ColumnExtract.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>

namespace rasmik {

namespace {

inline unsigned char byteAt(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

// Indexes of the values that stay when equal values are merged: the first of
// each set of equal values. In ascending collation order when sorted is set,
// else in the order first met.
std::vector<std::uint32_t> firstOccurrences(const std::vector<std::string_view>& values, const ValueCollator& collator,
                                            bool sorted)
{
    const std::size_t n = values.size();
    std::vector<std::uint32_t> kept;
    if (n == 0)
        return kept;

    std::string keys;
    std::vector<std::size_t> offsets;
    offsets.reserve(n + 1);
    bool withKeys = true;
    for (std::size_t i = 0; i < n && withKeys; ++i) {
        offsets.push_back(keys.size());
        withKeys = collator.appendSortKey(values[i], keys);
    }
    offsets.push_back(keys.size());

    if (!withKeys) {
        std::vector<std::uint32_t> order(n);
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return collator.compare(values[a], values[b]) < 0; });
        for (std::size_t i = 0; i < n; ++i)
            if (i == 0 || collator.compare(values[order[i - 1]], values[order[i]]) != 0)
                kept.push_back(order[i]);
        if (!sorted)
            std::sort(kept.begin(), kept.end());
        return kept;
    }

    auto keyOf = [&](std::uint32_t i) {
        return std::string_view(keys.data() + offsets[i], offsets[i + 1] - offsets[i]);
    };
    // Equal keys are equal values: an open-addressing set of keys keeps the
    // first of each. It grows with the number of distinct values, so a column
    // of few values stays in the cache.
    struct Slot {
        std::uint32_t index1 = 0; // index + 1; 0 = free
        std::uint32_t tag = 0;    // high hash bits, to skip most key comparisons
    };
    const std::hash<std::string_view> hasher;
    std::vector<Slot> slots(1024);
    std::size_t mask = slots.size() - 1;
    auto place = [&](std::uint32_t i, std::size_t hash, bool onlyNew) {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        std::size_t h = hash & mask;
        while (slots[h].index1 != 0) {
            if (onlyNew && slots[h].tag == tag && keyOf(slots[h].index1 - 1) == keyOf(i))
                return false;
            h = (h + 1) & mask;
        }
        slots[h] = {i + 1, tag};
        return true;
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        if (!place(i, hasher(keyOf(i)), true))
            continue;
        kept.push_back(i);
        if (kept.size() * 2 > slots.size()) {
            slots.assign(slots.size() * 2, Slot{});
            mask = slots.size() - 1;
            for (const std::uint32_t k : kept)
                place(k, hasher(keyOf(k)), false);
        }
    }
    if (!sorted)
        return kept;

    // The kept keys are all different. Sorting on their first 8 bytes
    // (big-endian) keeps most comparisons inside the array.
    struct Item {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<Item> items(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const std::string_view k = keyOf(kept[i]);
        std::uint64_t p = 0;
        for (std::size_t b = 0; b < 8; ++b)
            p = (p << 8) | (b < k.size() ? byteAt(k, b) : 0u);
        items[i] = {p, kept[i]};
    }
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return keyOf(a.index) < keyOf(b.index);
    });
    for (std::size_t i = 0; i < items.size(); ++i)
        kept[i] = items[i].index;
    return kept;
}

std::string_view trimControls(std::string_view s)
{
    while (!s.empty() && byteAt(s, 0) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && byteAt(s, s.size() - 1) <= 32)
        s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<std::string> ColumnValues(const CoreGrid& grid, int col, bool withoutRepeat, const ValueCollator& collator)
{
    std::vector<std::string> list;
    if (col < 0 || col >= grid.ColCount())
        return list;
    const int rows = grid.RowCount();
    if (!withoutRepeat) {
        list.reserve(static_cast<std::size_t>(rows));
        for (int r = 0; r < rows; ++r)
            list.emplace_back(grid.Cell(col, r));
        return list;
    }
    std::vector<std::string_view> values;
    values.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        values.push_back(grid.Cell(col, r));
    const auto kept = firstOccurrences(values, collator, true);
    list.reserve(kept.size());
    for (const auto i : kept)
        list.emplace_back(values[i]);
    return list;
}

std::vector<std::string> DistinctColumnValues(const CoreGrid& grid, int col, const ValueCollator& collator)
{
    std::vector<std::string> list;
    if (col < 0 || col >= grid.ColCount())
        return list;
    std::vector<std::string_view> values;
    for (int r = 1; r < grid.RowCount(); ++r) {
        const std::string_view v = trimControls(grid.Cell(col, r));
        if (!v.empty())
            values.push_back(v);
    }
    const auto kept = firstOccurrences(values, collator, false);
    list.reserve(kept.size());
    for (const auto i : kept)
        list.emplace_back(values[i]);
    return list;
}

std::string ColumnValueFileName(int col)
{
    return "ColValue" + std::to_string(static_cast<long long>(col) + 1) + ".txt";
}

} // namespace rasmik
