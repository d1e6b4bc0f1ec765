#include "text/MatchFolding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// UTF-8 byte by byte, without a branch per character: a byte's fold depends
// only on the byte itself and on the byte after it (for a lead byte of
// U+0640..U+06FF) or the byte before it (for its continuation byte). Leads
// 0xD9, 0xDA and 0xDB have classes 1 to 3, every other byte 0.
struct ByteFold {
    unsigned char byte;
    unsigned char keep;
};
using FoldTables = std::array<ByteFold, 2048>; // [0, 1024): by the byte before; [1024, 2048): leads by the byte after

constexpr int leadClass(int b)
{
    return b >= 0xD9 && b <= 0xDB ? b - 0xD8 : 0;
}

constexpr FoldTables makeUtf8Tables(bool dropSpaces)
{
    FoldTables t{};
    const ByteTable& keep = Keeps[dropSpaces ? 3 : 2];
    for (int before = 0; before < 4; ++before)
        for (int b = 0; b < 256; ++b)
            t[static_cast<std::size_t>(before * 256 + b)] = {Utf8Map[static_cast<std::size_t>(b)],
                                                             keep[static_cast<std::size_t>(b)]};
    for (int cls = 1; cls < 4; ++cls)
        for (int after = 0; after < 256; ++after)
            t[static_cast<std::size_t>(1024 + cls * 256 + after)] = {static_cast<unsigned char>(0xD8 + cls), 1};
    for (int d = 0; d < 10; ++d) {
        // U+0660..U+0669 (D9 A0..) and U+06F0..U+06F9 (DB B0..): the lead goes, the second byte is the digit.
        t[static_cast<std::size_t>(1024 + 1 * 256 + 0xA0 + d)] = {0, 0};
        t[static_cast<std::size_t>(1 * 256 + 0xA0 + d)] = {static_cast<unsigned char>('0' + d), 1};
        t[static_cast<std::size_t>(1024 + 3 * 256 + 0xB0 + d)] = {0, 0};
        t[static_cast<std::size_t>(3 * 256 + 0xB0 + d)] = {static_cast<unsigned char>('0' + d), 1};
    }
    t[1024 + 1 * 256 + 0x80] = {0, 0}; // U+0640 tatweel: both bytes go
    t[1 * 256 + 0x80] = {0, 0};
    t[1024 + 3 * 256 + 0x8C] = {0xD9, 1}; // U+06CC ی as U+064A ي
    t[3 * 256 + 0x8C] = {0x8A, 1};
    t[1024 + 2 * 256 + 0xA9] = {0xD9, 1}; // U+06A9 ک as U+0643 ك
    t[2 * 256 + 0xA9] = {0x83, 1};
    return t;
}
constexpr std::array<FoldTables, 2> Utf8Tables = {makeUtf8Tables(false), makeUtf8Tables(true)};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(leadClass(b));
    return t;
}
constexpr std::array<unsigned char, 256> Classes = makeClasses();

inline bool zeroWidthNonJoinerAt(const unsigned char* in, std::size_t i, std::size_t n)
{
    return i + 2 < n && in[i + 1] == 0x80 && in[i + 2] == 0x8C;
}

// The whole fold, one pass; in may be out. before: the class of the byte
// before in[0].
template <bool DropSpaces>
std::size_t foldUtf8(const unsigned char* in, std::size_t n, unsigned char* out, unsigned before = 0)
{
    const FoldTables& table = Utf8Tables[DropSpaces ? 1 : 0];
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
                before = 0;
                continue;
            }
        }
        // Otherwise byte by byte for at least eight bytes.
        const std::size_t stop = std::min(n, i + 8);
        while (i < stop) {
            const unsigned char c = in[i];
            if (c == 0xE2 && zeroWidthNonJoinerAt(in, i, n)) {
                i += 3;
                before = 0;
                continue;
            }
            const unsigned cls = Classes[c];
            const unsigned after = i + 1 < n ? in[i + 1] : 0;
            const unsigned asLead = 1024 + cls * 256 + after;
            const unsigned asOther = before * 256 + c;
            const unsigned lead = 0u - (cls != 0); // all ones for a lead byte
            const ByteFold f = table[(asLead & lead) | (asOther & ~lead)];
            out[j] = f.byte;
            j += f.keep;
            before = cls;
            ++i;
        }
    }
    return j;
}

#ifdef __SSE2__
// Latin case and spaces only (the first of two passes over UTF-8).
template <bool DropSpaces>
std::size_t foldAscii(const unsigned char* in, std::size_t n, unsigned char* out)
{
    std::size_t i = 0;
    std::size_t j = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, in + i, 8);
        if (DropSpaces && hasByte(x, ' ')) {
            for (std::size_t k = 0; k < 8; ++k) {
                const unsigned char c = in[i + k];
                out[j] = Utf8Map[c];
                j += !DropSpaces || c != ' ';
            }
        } else {
            x = foldWord(x);
            std::memcpy(out + j, &x, 8);
            j += 8;
        }
    }
    for (; i < n; ++i) {
        const unsigned char c = in[i];
        out[j] = Utf8Map[c];
        j += !DropSpaces || c != ' ';
    }
    return j;
}

inline __m128i inRange(__m128i v, unsigned char low, unsigned char count)
{
    const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(low)));
    return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(static_cast<char>(count - 1))), d);
}

inline __m128i bytes(unsigned char b)
{
    return _mm_set1_epi8(static_cast<char>(b));
}

inline __m128i blend(__m128i v, __m128i mask, unsigned char b)
{
    return _mm_or_si128(_mm_andnot_si128(mask, v), _mm_and_si128(mask, bytes(b)));
}

// The second pass over UTF-8, in place on text the first has folded: ی and
// ک take their Arabic forms sixteen bytes at a time; sixteen bytes that hold
// a character that changes the length (a digit, tatweel, the non-joiner) go
// through the one-pass fold. r reads, w writes (w <= r). The new length;
// marks (ascending offsets) move with the bytes they point at.
std::size_t foldPersianInPlace(unsigned char* s, std::size_t n, std::size_t* marks, std::size_t markCount)
{
    const FoldTables& table = Utf8Tables[0]; // spaces are gone or kept already
    std::size_t r = 0;
    std::size_t w = 0;
    std::size_t mark = 0;
    unsigned last = 0; // the byte before s[r], as it was
    // Bytes dropped so far lie before every mark not yet moved.
    const auto moveMarks = [&](std::size_t upTo) {
        for (; mark < markCount && marks[mark] <= upTo; ++mark)
            marks[mark] -= r - w;
    };
    // Byte by byte from r to at least stop, and on to the end of a character.
    const auto oneByOne = [&](std::size_t stop) {
        while (r < n && (r < stop || isContinuation(s[r]))) {
            const unsigned char c = s[r];
            moveMarks(r);
            if (c == 0xE2 && zeroWidthNonJoinerAt(s, r, n)) {
                for (; mark < markCount && marks[mark] <= r + 2; ++mark)
                    marks[mark] = w; // none should point inside a character
                r += 3;
                last = 0x8C;
                continue;
            }
            const unsigned cls = Classes[c];
            const unsigned after = r + 1 < n ? s[r + 1] : 0;
            const unsigned asLead = 1024 + cls * 256 + after;
            const unsigned asOther = Classes[last] * 256 + c;
            const unsigned lead = 0u - (cls != 0);
            const ByteFold f = table[(asLead & lead) | (asOther & ~lead)];
            s[w] = f.byte;
            w += f.keep;
            last = c;
            ++r;
        }
    };
    while (r + 18 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + r));
        const __m128i isD9 = _mm_cmpeq_epi8(v, bytes(0xD9));
        const __m128i isDA = _mm_cmpeq_epi8(v, bytes(0xDA));
        const __m128i isDB = _mm_cmpeq_epi8(v, bytes(0xDB));
        const __m128i isE2 = _mm_cmpeq_epi8(v, bytes(0xE2));
        // The byte before each: for the second byte of ی or ک whose first
        // byte ended the sixteen before.
        const __m128i before = _mm_or_si128(_mm_slli_si128(v, 1), _mm_cvtsi32_si128(static_cast<int>(last)));
        const __m128i yehSecond = _mm_and_si128(_mm_cmpeq_epi8(before, bytes(0xDB)), _mm_cmpeq_epi8(v, bytes(0x8C)));
        const __m128i kafSecond = _mm_and_si128(_mm_cmpeq_epi8(before, bytes(0xDA)), _mm_cmpeq_epi8(v, bytes(0xA9)));
        const __m128i leads = _mm_or_si128(_mm_or_si128(isD9, isDA), _mm_or_si128(isDB, isE2));
        __m128i out = v;
        if (_mm_movemask_epi8(_mm_or_si128(leads, _mm_or_si128(yehSecond, kafSecond))) != 0) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + r + 1));
            const __m128i next2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + r + 2));
            const __m128i shorter = _mm_or_si128(
                _mm_or_si128(
                    _mm_and_si128(isD9, _mm_or_si128(_mm_cmpeq_epi8(next, bytes(0x80)), inRange(next, 0xA0, 10))),
                    _mm_and_si128(isDB, inRange(next, 0xB0, 10))),
                _mm_and_si128(isE2,
                              _mm_and_si128(_mm_cmpeq_epi8(next, bytes(0x80)), _mm_cmpeq_epi8(next2, bytes(0x8C)))));
            if (_mm_movemask_epi8(shorter) != 0) {
                oneByOne(r + 16);
                continue;
            }
            const __m128i firsts = _mm_or_si128(_mm_and_si128(isDB, _mm_cmpeq_epi8(next, bytes(0x8C))),
                                                _mm_and_si128(isDA, _mm_cmpeq_epi8(next, bytes(0xA9))));
            out = blend(blend(blend(out, firsts, 0xD9), yehSecond, 0x8A), kafSecond, 0x83);
        } else if (w == r) {
            last = static_cast<unsigned>(_mm_extract_epi16(v, 7)) >> 8;
            r += 16;
            w += 16;
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s + w), out);
        last = static_cast<unsigned>(_mm_extract_epi16(v, 7)) >> 8;
        r += 16;
        w += 16;
    }
    oneByOne(n);
    moveMarks(n);
    return w;
}
#endif

} // namespace

MatchFolding::MatchFolding(TextEncoding held, Spaces spaces)
    : utf8_(HoldsUtf8(held)), dropSpaces_(spaces == Spaces::Drop)
{
}

namespace {

#ifdef __SSE2__
constexpr bool TwoPasses = true;
#else
constexpr bool TwoPasses = false;
#endif

} // namespace

void MatchFolding::appendPart(std::string& out, std::size_t& len, std::string_view text) const
{
    constexpr std::size_t Room = 16;
    if (len + text.size() + Room > out.size())
        out.resize(std::max(out.size() * 2, len + text.size() + Room));
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* to = reinterpret_cast<unsigned char*>(out.data()) + len;
    const std::size_t n = text.size();
#ifdef __SSE2__
    if (utf8_) {
        len += dropSpaces_ ? foldAscii<true>(in, n, to) : foldAscii<false>(in, n, to);
        return;
    }
#endif
    if (utf8_)
        len += dropSpaces_ ? foldUtf8<true>(in, n, to) : foldUtf8<false>(in, n, to);
    else
        len += dropSpaces_ ? foldCp1256<true>(in, n, to) : foldCp1256<false>(in, n, to);
}

std::size_t MatchFolding::finishParts(char* buffer, std::size_t len, std::size_t* marks, std::size_t markCount) const
{
#ifdef __SSE2__
    if (utf8_)
        return foldPersianInPlace(reinterpret_cast<unsigned char*>(buffer), len, marks, markCount);
#endif
    (void)buffer;
    (void)marks;
    (void)markCount;
    return len;
}

void MatchFolding::append(std::string& out, std::size_t& len, std::string_view text) const
{
    const std::size_t start = len;
    appendPart(out, len, text);
    if (TwoPasses && utf8_)
        len = start + finishParts(out.data() + start, len - start, nullptr, 0);
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
    const unsigned cls = Classes[c];
    if (cls != 0 && i + 1 < n && isContinuation(static_cast<unsigned char>(text[i + 1]))) {
        // A letter of U+0640..U+06FF: its two bytes folded as the fast loops fold them.
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const FoldTables& table = Utf8Tables[0];
        const ByteFold first = table[1024 + cls * 256 + second];
        const ByteFold next = table[cls * 256 + second];
        i += 2;
        int size = 0;
        if (first.keep)
            out[size++] = static_cast<char>(first.byte);
        if (next.keep)
            out[size++] = static_cast<char>(next.byte);
        return size;
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
