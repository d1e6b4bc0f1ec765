#include "table/ColumnExtract.h"

#include "text/Cp1256.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numeric>

namespace rasmik {

namespace {

using WeightTable = std::array<unsigned char, 256>;

constexpr bool isIgnorable(int b)
{
    // Tatweel, the harakat, ZWNJ, ZWJ, LRM, RLM.
    // clang-format off
    switch (b) {
    case 0xDC: case 0xF0: case 0xF1: case 0xF2: case 0xF3: case 0xF5: case 0xF6: case 0xF8: case 0xFA:
    case 0x9D: case 0x9E: case 0xFD: case 0xFE:
        return true;
    default:
        return false;
    }
    // clang-format on
}

// The Latin letter (upper case) a byte sorts as, or 0.
constexpr int latinBase(int b)
{
    if (b >= 'A' && b <= 'Z')
        return b;
    if (b >= 'a' && b <= 'z')
        return b - 'a' + 'A';
    // clang-format off
    switch (b) {
    case 0xE0: case 0xE2: return 'A';
    case 0xE7: return 'C';
    case 0xE8: case 0xE9: case 0xEA: case 0xEB: return 'E';
    case 0xEE: case 0xEF: return 'I';
    case 0xF4: case 0x8C: case 0x9C: return 'O';
    case 0xF9: case 0xFB: case 0xFC: return 'U';
    default: return 0;
    }
    // clang-format on
}

// Persian letters in alphabet order; each group holds the bytes that share one
// letter weight, the Persian form first.
// clang-format off
constexpr std::array<std::array<int, 5>, 37> PersianGroups{{
    {0xC1},                         // ء
    {0xC7, 0xC2, 0xC3, 0xC5},       // ا آ أ إ
    {0xC8},                         // ب
    {0x81},                         // پ
    {0xCA},                         // ت
    {0x8A},                         // ٹ
    {0xCB},                         // ث
    {0xCC},                         // ج
    {0x8D},                         // چ
    {0xCD},                         // ح
    {0xCE},                         // خ
    {0xCF},                         // د
    {0x8F},                         // ڈ
    {0xD0},                         // ذ
    {0xD1},                         // ر
    {0x9A},                         // ڑ
    {0xD2},                         // ز
    {0x8E},                         // ژ
    {0xD3},                         // س
    {0xD4},                         // ش
    {0xD5},                         // ص
    {0xD6},                         // ض
    {0xD8},                         // ط
    {0xD9},                         // ظ
    {0xDA},                         // ع
    {0xDB},                         // غ
    {0xDD},                         // ف
    {0xDE},                         // ق
    {0x98, 0xDF},                   // ک ك
    {0x90},                         // گ
    {0xE1},                         // ل
    {0xE3},                         // م
    {0xE4},                         // ن
    {0x9F},                         // ں
    {0xE6, 0xC4},                   // و ؤ
    {0xE5, 0xC9, 0xAA, 0xC0},       // ه ة ھ ہ
    {0xED, 0xEC, 0xC6, 0xFF},       // ی: ي ى ئ ے
}};
// clang-format on

constexpr bool isPersian(int b)
{
    for (const auto& g : PersianGroups)
        for (const int x : g)
            if (x == b && b != 0)
                return true;
    return false;
}

constexpr WeightTable makeWeights()
{
    WeightTable w{};
    int next = 1;
    for (int b = 0; b < 256; ++b)
        if (!isIgnorable(b) && !(b >= '0' && b <= '9') && !latinBase(b) && !isPersian(b))
            w[static_cast<std::size_t>(b)] = static_cast<unsigned char>(next++);
    for (int d = '0'; d <= '9'; ++d)
        w[static_cast<std::size_t>(d)] = static_cast<unsigned char>(next++);
    const int latinFirst = next;
    for (int b = 0; b < 256; ++b)
        if (latinBase(b))
            w[static_cast<std::size_t>(b)] = static_cast<unsigned char>(latinFirst + latinBase(b) - 'A');
    next = latinFirst + 26;
    for (const auto& g : PersianGroups) {
        for (const int x : g)
            if (x != 0)
                w[static_cast<std::size_t>(x)] = static_cast<unsigned char>(next);
        ++next;
    }
    return w;
}
constexpr WeightTable Weights = makeWeights();
static_assert(Weights[0xC7] > Weights['Z'] && Weights['Z'] > Weights['9'] && Weights['0'] > Weights[' ']);

// A UTF-8 character without a Windows-1256 letter weighs as this byte and
// its code point in three bytes, after every letter weight.
constexpr unsigned char BeyondLetters = 0xFF;
static_assert(*std::max_element(Weights.begin(), Weights.end()) < BeyondLetters);

// The letter weights of UTF-8 text, as appendSortKey puts them in a key.
void appendUtf8Weights(std::string_view value, std::string& key)
{
    std::string letters;
    std::size_t i = 0;
    while (i < value.size()) {
        const auto b = static_cast<unsigned char>(value[i]);
        if (b < 0x80) {
            if (const unsigned char w = Weights[b])
                key.push_back(static_cast<char>(w));
            ++i;
            continue;
        }
        const char32_t cp = NextCodePoint(value, i);
        letters.clear();
        if (AppendNearestCp1256(cp, letters)) {
            for (const char ch : letters)
                if (const unsigned char w = Weights[static_cast<unsigned char>(ch)])
                    key.push_back(static_cast<char>(w));
            continue;
        }
        key.push_back(static_cast<char>(BeyondLetters));
        key.push_back(static_cast<char>((cp >> 16) & 0xFF));
        key.push_back(static_cast<char>((cp >> 8) & 0xFF));
        key.push_back(static_cast<char>(cp & 0xFF));
    }
}

constexpr WeightTable makeFold()
{
    WeightTable t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    return t;
}
constexpr WeightTable Fold = makeFold();

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

unsigned char PersianCollator::PrimaryWeight(unsigned char byte)
{
    return Weights[byte];
}

int PersianCollator::compare(std::string_view a, std::string_view b) const
{
    if (held_ == TextEncoding::Utf8) {
        std::string keyA;
        std::string keyB;
        appendSortKey(a, keyA);
        appendSortKey(b, keyB);
        // Unsigned bytes, as the keys are meant to be read.
        const int c = keyA.compare(keyB);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && Weights[byteAt(a, i)] == 0)
            ++i;
        while (j < b.size() && Weights[byteAt(b, j)] == 0)
            ++j;
        const bool endA = i == a.size();
        const bool endB = j == b.size();
        if (endA || endB) {
            if (endA && endB)
                break;
            return endA ? -1 : 1;
        }
        const unsigned char wa = Weights[byteAt(a, i++)];
        const unsigned char wb = Weights[byteAt(b, j++)];
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned char fa = Fold[byteAt(a, k)];
        const unsigned char fb = Fold[byteAt(b, k)];
        if (fa != fb)
            return fa < fb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool PersianCollator::appendSortKey(std::string_view value, std::string& key) const
{
    // Letter weights (never 0), a 0 to end them, then the case-folded bytes.
    // A UTF-8 weight beyond the letters is four bytes that start with
    // BeyondLetters, so the weights still read one after another.
    if (held_ == TextEncoding::Utf8) {
        appendUtf8Weights(value, key);
    } else {
        for (const char ch : value)
            if (const unsigned char w = Weights[static_cast<unsigned char>(ch)])
                key.push_back(static_cast<char>(w));
    }
    key.push_back('\0');
    for (const char ch : value)
        key.push_back(static_cast<char>(Fold[static_cast<unsigned char>(ch)]));
    return true;
}

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
