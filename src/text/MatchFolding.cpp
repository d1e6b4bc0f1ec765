#include "text/MatchFolding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace rasmik {

namespace {

using ByteTable = std::array<unsigned char, 256>;

// The byte each byte folds to, where it is kept at all.
constexpr ByteTable makeMap(bool utf8)
{
    ByteTable t{};
    for (int b = 0; b < 256; ++b)
        t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
    if (!utf8)
        t[0x98] = 0xDF; // ک as ك
    return t;
}
// 1 for the bytes that stay, 0 for those that go.
constexpr ByteTable makeKeep(bool utf8, bool dropSpaces)
{
    ByteTable t{};
    t.fill(1);
    if (dropSpaces)
        t[' '] = 0;
    if (!utf8) {
        t[0x9D] = 0; // zero-width non-joiner
        t[0xDC] = 0; // tatweel
    }
    return t;
}
constexpr ByteTable Cp1256Map = makeMap(false);
constexpr ByteTable Utf8Map = makeMap(true);
constexpr std::array<ByteTable, 4> Keeps = {makeKeep(false, false), makeKeep(false, true), makeKeep(true, false),
                                            makeKeep(true, true)};

// What a two-byte UTF-8 character led by 0xD9, 0xDA or 0xDB (U+0640..U+06FF)
// folds to: up to two bytes.
struct PairFold {
    unsigned char bytes[2];
    unsigned char size;
};
constexpr unsigned char FirstPairLead = 0xD9;

constexpr std::array<PairFold, 192> makePairs()
{
    std::array<PairFold, 192> t{};
    for (int lead = 0xD9; lead <= 0xDB; ++lead)
        for (int c = 0x80; c <= 0xBF; ++c)
            t[static_cast<std::size_t>((lead - FirstPairLead) * 64 + (c & 0x3F))] = {
                {static_cast<unsigned char>(lead), static_cast<unsigned char>(c)}, 2};
    const auto at = [](int lead, int c) { return static_cast<std::size_t>((lead - FirstPairLead) * 64 + (c & 0x3F)); };
    t[at(0xD9, 0x80)] = {{0, 0}, 0};       // U+0640 tatweel
    t[at(0xDB, 0x8C)] = {{0xD9, 0x8A}, 2}; // U+06CC ی as U+064A ي
    t[at(0xDA, 0xA9)] = {{0xD9, 0x83}, 2}; // U+06A9 ک as U+0643 ك
    for (int d = 0; d < 10; ++d) {
        const auto digit = static_cast<unsigned char>('0' + d);
        t[at(0xD9, 0xA0 + d)] = {{digit, 0}, 1}; // U+0660..U+0669
        t[at(0xDB, 0xB0 + d)] = {{digit, 0}, 1}; // U+06F0..U+06F9
    }
    return t;
}
constexpr std::array<PairFold, 192> Pairs = makePairs();

constexpr std::uint64_t Ones = 0x0101010101010101ull;
constexpr std::uint64_t Highs = 0x8080808080808080ull;

inline bool hasByte(std::uint64_t x, unsigned char b)
{
    const std::uint64_t t = x ^ (b * Ones);
    return ((t - Ones) & ~t & Highs) != 0;
}

// Upper-cases the ASCII letters of 8 bytes at once; other bytes stay.
inline std::uint64_t foldWord(std::uint64_t x)
{
    const std::uint64_t high = x & Highs;
    const std::uint64_t low7 = x & ~Highs;
    const std::uint64_t atLeastA = low7 + (0x80 - 'a') * Ones;   // high bit: byte >= 'a'
    const std::uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * Ones; // high bit: byte > 'z'
    const std::uint64_t lower = atLeastA & ~aboveZ & ~high & Highs;
    return x ^ (lower >> 2); // clears 0x20 of every lower-case letter
}

inline bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The output never runs ahead of the input (no character folds to more bytes
// than it has), so out may be written a few bytes past the folded text while
// the room made before is there.
template <bool DropSpaces>
std::size_t foldCp1256(const unsigned char* in, std::size_t n, unsigned char* out)
{
    const ByteTable& keep = Keeps[DropSpaces ? 1 : 0];
    std::size_t i = 0;
    std::size_t j = 0;
    // Eight bytes at a time while none of them changes but for its case.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, in + i, 8);
        if ((DropSpaces && hasByte(x, ' ')) || hasByte(x, 0x98) || hasByte(x, 0x9D) || hasByte(x, 0xDC)) {
            for (std::size_t k = 0; k < 8; ++k) {
                const unsigned char c = in[i + k];
                out[j] = Cp1256Map[c];
                j += keep[c];
            }
        } else {
            x = foldWord(x);
            std::memcpy(out + j, &x, 8);
            j += 8;
        }
    }
    for (; i < n; ++i) {
        const unsigned char c = in[i];
        out[j] = Cp1256Map[c];
        j += keep[c];
    }
    return j;
}

template <bool DropSpaces>
std::size_t foldUtf8(const unsigned char* in, std::size_t n, unsigned char* out)
{
    const ByteTable& keep = Keeps[DropSpaces ? 3 : 2];
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n) {
        // ASCII without spaces: eight bytes at once.
        if (i + 8 <= n) {
            std::uint64_t x;
            std::memcpy(&x, in + i, 8);
            if ((x & Highs) == 0 && !(DropSpaces && hasByte(x, ' '))) {
                x = foldWord(x);
                std::memcpy(out + j, &x, 8);
                i += 8;
                j += 8;
                continue;
            }
        }
        // Otherwise character by character for at least eight bytes.
        const std::size_t stop = std::min(n, i + 8);
        while (i < stop) {
            const unsigned char c = in[i];
            if (c < 0x80) {
                out[j] = Utf8Map[c];
                j += keep[c];
                ++i;
            } else if (c >= FirstPairLead && c <= 0xDB && i + 1 < n && isContinuation(in[i + 1])) {
                const PairFold& p = Pairs[static_cast<std::size_t>((c - FirstPairLead) * 64 + (in[i + 1] & 0x3F))];
                out[j] = p.bytes[0];
                out[j + 1] = p.bytes[1];
                j += p.size;
                i += 2;
            } else if (c == 0xE2 && i + 2 < n && in[i + 1] == 0x80 && in[i + 2] == 0x8C) {
                i += 3; // U+200C zero-width non-joiner
            } else {
                out[j++] = c;
                ++i;
            }
        }
    }
    return j;
}

} // namespace

MatchFolding::MatchFolding(TextEncoding held, Spaces spaces)
    : utf8_(HoldsUtf8(held)), dropSpaces_(spaces == Spaces::Drop)
{
}

void MatchFolding::append(std::string& out, std::size_t& len, std::string_view text) const
{
    constexpr std::size_t Room = 16;
    if (len + text.size() + Room > out.size())
        out.resize(std::max(out.size() * 2, len + text.size() + Room));
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* to = reinterpret_cast<unsigned char*>(out.data()) + len;
    if (utf8_)
        len += dropSpaces_ ? foldUtf8<true>(in, text.size(), to) : foldUtf8<false>(in, text.size(), to);
    else
        len += dropSpaces_ ? foldCp1256<true>(in, text.size(), to) : foldCp1256<false>(in, text.size(), to);
}

std::string MatchFolding::fold(std::string_view text) const
{
    std::string out;
    std::size_t len = 0;
    append(out, len, text);
    out.resize(len);
    return out;
}

int MatchFolding::foldOne(std::string_view text, std::size_t& i, char out[4]) const
{
    const auto c = static_cast<unsigned char>(text[i]);
    const ByteTable& keep = Keeps[(utf8_ ? 2 : 0) + (dropSpaces_ ? 1 : 0)];
    if (!utf8_ || c < 0x80) {
        ++i;
        out[0] = static_cast<char>((utf8_ ? Utf8Map : Cp1256Map)[c]);
        return keep[c];
    }
    const std::size_t n = text.size();
    if (c >= FirstPairLead && c <= 0xDB && i + 1 < n && isContinuation(static_cast<unsigned char>(text[i + 1]))) {
        const PairFold& p = Pairs[static_cast<std::size_t>((c - FirstPairLead) * 64 + (text[i + 1] & 0x3F))];
        i += 2;
        out[0] = static_cast<char>(p.bytes[0]);
        out[1] = static_cast<char>(p.bytes[1]);
        return p.size;
    }
    if (c == 0xE2 && text.substr(i, 3) == "\xE2\x80\x8C") {
        i += 3;
        return 0;
    }
    ++i;
    out[0] = static_cast<char>(c);
    return 1;
}

std::optional<ByteSpan> MatchFolding::find(std::string_view text, std::string_view foldedPattern,
                                           std::size_t from) const
{
    if (foldedPattern.empty())
        return std::nullopt;
    std::size_t start = from;
    while (start < text.size()) {
        std::size_t next = start;
        char first[4];
        const int firstSize = foldOne(text, next, first);
        const std::size_t afterFirst = next;
        if (firstSize > 0) {
            // Compare the folded characters from start on with the pattern.
            const char* bytes = first;
            int size = firstSize;
            char other[4];
            std::size_t p = 0;
            std::size_t end = start;
            bool same = true;
            for (;;) {
                for (int k = 0; k < size && p < foldedPattern.size() && same; ++k)
                    same = bytes[k] == foldedPattern[p++];
                if (!same)
                    break;
                if (size > 0)
                    end = next;
                if (p == foldedPattern.size())
                    return ByteSpan{start, end};
                if (next >= text.size())
                    break;
                size = foldOne(text, next, other);
                bytes = other;
            }
        }
        start = afterFirst;
    }
    return std::nullopt;
}

} // namespace rasmik
