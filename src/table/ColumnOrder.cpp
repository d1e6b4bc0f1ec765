#include "table/ColumnOrder.h"

#include "table/Options.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <algorithm>
#include <unordered_map>

namespace rasmik {

namespace {

char upperAscii(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

// The order of names in a key, fixed so that saving and loading always agree:
// byte by byte with ASCII letters upper-cased, other bytes by their unsigned
// value, a name that is a prefix of another first. (The names are already
// upper-cased, so this is their plain byte order.)
bool nameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(upperAscii(x)) < static_cast<unsigned char>(upperAscii(y));
    });
}

std::string upperAll(std::string_view s)
{
    std::string out(s);
    for (char& ch : out)
        ch = upperAscii(ch);
    return out;
}

// The normalized name of a header cell. A UTF-8 name is taken in its
// Windows-1256 form (nearest letters) when it has one, so that a table in
// either form finds the orders remembered for the other; one that has none
// stays UTF-8.
std::string headerNameOf(const CoreGrid& grid, int col)
{
    const std::string_view cell = grid.Cell(col, 0);
    if (grid.Encoding() == TextEncoding::Utf8) {
        std::string cp1256;
        if (AppendHeldAs(cell, TextEncoding::Utf8, TextEncoding::Windows1256, cp1256))
            return NormalizeHeaderName(cp1256);
    }
    return NormalizeHeaderName(cell);
}

bool writeOnce(const std::vector<std::string>& lines, const std::string& path)
{
    if (path.empty())
        return false;
    return WriteFileAtomic(path, JoinLinesCrLf(lines)).ok();
}

} // namespace

std::string NormalizeHeaderName(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text)
        if (ch != ' ')
            out.push_back(upperAscii(ch));
    return out;
}

std::string HexOfBytes(std::string_view text)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        out.push_back(Digits[b >> 4]);
        out.push_back(Digits[b & 15]);
    }
    return out;
}

std::string ColumnOrderKey(const CoreGrid& grid)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(grid.ColCount()));
    for (int c = 0; c < grid.ColCount(); ++c)
        names.push_back(headerNameOf(grid, c));
    std::sort(names.begin(), names.end(), nameLess);
    std::string key;
    for (const auto& n : names) {
        key += HexOfBytes(n);
        key += '_';
    }
    return key;
}

std::string ColumnOrderValue(const CoreGrid& grid)
{
    std::string value;
    for (int c = 0; c < grid.ColCount(); ++c) {
        value += headerNameOf(grid, c);
        value += '\t';
    }
    return value;
}

bool ApplyColumnOrder(CoreGrid& grid, const std::vector<std::string>& columnOrders, std::vector<int>* applied)
{
    if (applied)
        applied->clear();
    const std::string stored = KeyValueOf(columnOrders, ColumnOrderKey(grid));
    if (stored.empty())
        return false;
    std::string_view rest = stored;

    // Stored places of each name, in stored order.
    std::unordered_map<std::string, std::vector<int>> places;
    int place = 0;
    while (!rest.empty())
        places[upperAll(TakeToken(rest, "\t", false))].push_back(place++);

    const int n = grid.ColCount();
    std::vector<int> target(static_cast<std::size_t>(n), -1); // per old column
    std::vector<char> taken(static_cast<std::size_t>(n), 0);  // per new place
    std::unordered_map<std::string, std::size_t> used;
    for (int j = 0; j < n; ++j) {
        const std::string name = headerNameOf(grid, j);
        const auto it = places.find(name);
        if (it == places.end())
            continue;
        std::size_t& k = used[name];
        // Skips stored places beyond this grid (a hand-edited file).
        while (k < it->second.size() && it->second[k] >= n)
            ++k;
        if (k == it->second.size())
            continue;
        const int p = it->second[k++];
        target[static_cast<std::size_t>(j)] = p;
        taken[static_cast<std::size_t>(p)] = 1;
    }
    // Columns without a stored place keep theirs when it is free...
    for (int j = 0; j < n; ++j)
        if (target[static_cast<std::size_t>(j)] < 0 && !taken[static_cast<std::size_t>(j)]) {
            target[static_cast<std::size_t>(j)] = j;
            taken[static_cast<std::size_t>(j)] = 1;
        }
    // ...and otherwise take the free places left, in order.
    int free = 0;
    for (int j = 0; j < n; ++j)
        if (target[static_cast<std::size_t>(j)] < 0) {
            while (taken[static_cast<std::size_t>(free)])
                ++free;
            target[static_cast<std::size_t>(j)] = free;
            taken[static_cast<std::size_t>(free)] = 1;
        }

    std::vector<int> permutation(static_cast<std::size_t>(n));
    bool moved = false;
    for (int j = 0; j < n; ++j) {
        permutation[static_cast<std::size_t>(target[static_cast<std::size_t>(j)])] = j;
        moved = moved || target[static_cast<std::size_t>(j)] != j;
    }
    if (moved) {
        grid.PermuteColumns(permutation);
        if (applied)
            *applied = std::move(permutation);
    }
    return true;
}

bool SaveColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders, const std::string& optionCfgPath)
{
    const std::string key = ColumnOrderKey(grid);
    std::string line = key + "=" + ColumnOrderValue(grid);
    const int index = KeyIndexOf(columnOrders, key);
    if (index >= 0)
        columnOrders[static_cast<std::size_t>(index)] = std::move(line);
    else
        columnOrders.push_back(std::move(line));
    return writeOnce(columnOrders, optionCfgPath);
}

void ForgetColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders)
{
    const std::string key = ColumnOrderKey(grid);
    // Every line of the key goes: only the first is ever used, and a second one
    // left behind would bring the deleted order back.
    for (int index = KeyIndexOf(columnOrders, key); index >= 0; index = KeyIndexOf(columnOrders, key))
        columnOrders.erase(columnOrders.begin() + index);
}

bool DeleteColOrder(const CoreGrid& grid, std::vector<std::string>& columnOrders, const std::string& optionCfgPath)
{
    ForgetColOrder(grid, columnOrders);
    return writeOnce(columnOrders, optionCfgPath);
}

} // namespace rasmik
