#pragma once
// Byte-string helpers used by every file format of the program. Strings are
// Windows-1256 bytes; positions are 1-based where a position is part of the
// interface. Nothing here throws or prints: bad input yields the default.

#include <bit>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rasmik {

// 256-entry membership table indexed by byte value.
using CharSet = std::bitset<256>;

// Builds a set from inclusive byte ranges, e.g. MakeCharSet({{0, 31}, {253, 255}}).
CharSet MakeCharSet(std::initializer_list<std::pair<int, int>> ranges);

std::string RemoveChar(char ch, std::string_view s);
std::string RemoveCharSet(const CharSet& m, std::string_view s);
std::string CollapseDoubleSpaces(std::string_view s);
// Removes leading and trailing spaces (code 32 only).
std::string TrimSpaces(std::string_view s);
// The same without a copy.
inline std::string_view TrimSpacesView(std::string_view s)
{
    // Inline and eight bytes at a time: every fixed-width field is trimmed,
    // most of its padding spaces at its end.
    const char* const p = s.data();
    std::size_t first = 0;
    std::size_t end = s.size();
    bool done = false;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t Spaces = 0x2020202020202020ull;
        for (; end - first >= 8; end -= 8) {
            std::uint64_t w;
            std::memcpy(&w, p + end - 8, 8);
            if (const std::uint64_t x = w ^ Spaces) {
                end -= static_cast<std::size_t>(std::countl_zero(x)) / 8; // the last byte is the highest
                done = true;
                break;
            }
        }
    }
    if (!done)
        while (end > first && p[end - 1] == ' ')
            --end;
    done = false;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t Spaces = 0x2020202020202020ull;
        for (; end - first >= 8; first += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + first, 8);
            if (const std::uint64_t x = w ^ Spaces) {
                first += static_cast<std::size_t>(std::countr_zero(x)) / 8;
                done = true;
                break;
            }
        }
    }
    if (!done)
        while (first < end && p[first] == ' ')
            ++first;
    return s.substr(first, end - first);
}

// Cuts the first field of s at sep. With skipLeading, leading copies of sep are
// dropped first. Without sep in s, the whole of s is the token and s becomes empty.
void TakeToken(std::string& s, std::string_view sep, bool skipLeading, std::string& token);
// The same on a view: s is advanced, the token refers into the original text.
std::string_view TakeToken(std::string_view& s, std::string_view sep, bool skipLeading);

// Cuts the first space-separated token and reads it through ParseFloatDef,
// truncated towards zero to 64 bits and wrapped to 32 bits; def when unreadable
// or beyond the 64-bit range.
int32_t TakeIntToken(std::string& s, int32_t def);
int32_t TakeIntToken(std::string_view& s, int32_t def);
bool TakeFlagToken(std::string& s);
bool TakeFlagToken(std::string_view& s);
double TakeFloatToken(std::string& s, double def);
double TakeFloatToken(std::string_view& s, double def);

// Decimal real: optional accounting parentheses, commas ignored, leading spaces,
// sign, digits with one '.', optional exponent; nothing may follow. 0 on overflow.
double ParseFloatDef(std::string_view s, double def);
// 32-bit integer: commas ignored, leading spaces, sign, decimal digits or hex
// after '$', 'x', 'X', '0x', '0X'; nothing may follow; def when it does not fit.
int32_t ParseIntDef(std::string_view s, int32_t def);
// The same for 64-bit integers.
int64_t ParseInt64Def(std::string_view s, int64_t def);

// Path helpers on the platform separator ('/').
constexpr char PathSeparator = '/';
std::string WithTrailingBackslash(std::string_view path);
std::string NormalizeFolder(std::string_view path);

} // namespace rasmik
