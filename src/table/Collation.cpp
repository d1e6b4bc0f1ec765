#include "table/Collation.h"

#include "text/Cp1256.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include <unicode/uchar.h>
#include <unicode/ucol.h>

namespace rasmik {

namespace {

constexpr char16_t ArabicYeh = 0x064A;
constexpr char16_t FarsiYeh = 0x06CC;
constexpr char16_t ArabicKaf = 0x0643;
constexpr char16_t Keheh = 0x06A9;

constexpr char16_t foldLetter(char16_t u)
{
    return u == ArabicYeh ? FarsiYeh : (u == ArabicKaf ? Keheh : u);
}

// Whether a character may start with a combining mark once decomposed
// (fatha, hamza above, an accent): only a text with none of them can skip
// ICU's normalization check, which costs a quarter of the key's time.
bool mayCombine(char32_t c)
{
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_LEAD_CANONICAL_COMBINING_CLASS) != 0;
}

// For U+0000..U+07FF (Latin, Arabic, Persian): a bit each.
const std::array<std::uint64_t, 32>& combiningBelow800()
{
    static const std::array<std::uint64_t, 32> bits = [] {
        std::array<std::uint64_t, 32> b{};
        for (char32_t c = 0; c < 0x800; ++c)
            if (mayCombine(c))
                b[c >> 6] |= std::uint64_t{1} << (c & 63);
        return b;
    }();
    return bits;
}

bool combines(char32_t c)
{
    if (c < 0x800)
        return (combiningBelow800()[c >> 6] >> (c & 63)) & 1;
    return mayCombine(c);
}

const std::array<char16_t, 256>& cp1256Units()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (std::size_t b = 0; b < 256; ++b)
            t[b] = foldLetter(Cp1256Table[b]);
        return t;
    }();
    return table;
}

// ICU's key of units at the strength and settings of c, without its final zero.
std::string icuKey(const UCollator* c, const char16_t* units, std::size_t n)
{
    std::string key(3 * n + 16, '\0');
    const auto* u = reinterpret_cast<const UChar*>(units);
    auto length = static_cast<std::size_t>(ucol_getSortKey(
        c, u, static_cast<int32_t>(n), reinterpret_cast<std::uint8_t*>(key.data()), static_cast<int32_t>(key.size())));
    if (length > key.size()) {
        key.resize(length);
        length = static_cast<std::size_t>(ucol_getSortKey(c, u, static_cast<int32_t>(n),
                                                          reinterpret_cast<std::uint8_t*>(key.data()),
                                                          static_cast<int32_t>(key.size())));
    }
    key.resize(length > 0 ? length - 1 : 0);
    return key;
}

// ICU's keys of texts of ASCII alone, made without ICU: every ASCII
// character's primary weight is one or two bytes written as they are, and
// every one weighs the same at the secondary level, so a key is the primary
// weights one after another and then what ICU writes for that many
// secondary weights. Used only when that gives ICU's own bytes for every
// character, every pair and a few hundred longer texts.
struct AsciiKeys {
    bool usable = false;
    std::array<std::string, 128> primary;
    std::vector<std::string> secondary; // [n]: from the level separator on, for n weighted characters

    bool make(std::string_view text, std::string& key) const
    {
        std::size_t weighted = 0;
        const std::size_t at = key.size();
        for (const char ch : text) {
            const std::string& p = primary[static_cast<unsigned char>(ch)];
            key += p;
            weighted += !p.empty();
        }
        if (weighted >= secondary.size()) {
            key.resize(at);
            return false;
        }
        key += secondary[weighted];
        return true;
    }
};

AsciiKeys makeAsciiKeys()
{
    AsciiKeys keys;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("fa", &status);
    if (U_FAILURE(status)) {
        ucol_close(c);
        return keys;
    }
    ucol_setStrength(c, UCOL_SECONDARY);
    const auto keyOf = [c](std::string_view text) {
        std::u16string units(text.begin(), text.end());
        return icuKey(c, units.data(), units.size());
    };
    constexpr std::size_t Longest = 256;
    for (std::size_t n = 0; n < Longest; ++n) {
        const std::string key = keyOf(std::string(n, 'a'));
        const std::size_t separator = key.find('\x01');
        if (separator == std::string::npos) {
            ucol_close(c);
            return keys;
        }
        keys.secondary.push_back(key.substr(separator));
    }
    for (int ch = 0; ch < 128; ++ch) {
        const std::string key = keyOf(std::string(1, static_cast<char>(ch)));
        keys.primary[static_cast<std::size_t>(ch)] = key.substr(0, key.find('\x01'));
    }
    bool same = true;
    std::string made;
    const auto check = [&](std::string_view text) {
        made.clear();
        same = same && keys.make(text, made) && made == keyOf(text);
    };
    for (int a = 0; a < 128 && same; ++a) {
        check(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 128 && same; ++b)
            check(std::string{static_cast<char>(a), static_cast<char>(b)});
    }
    std::uint32_t seed = 1400;
    for (int t = 0; t < 300 && same; ++t) {
        std::string text;
        for (int k = static_cast<int>((seed = seed * 1103515245u + 12345u) >> 16) % 40; k >= 0; --k)
            text.push_back(static_cast<char>(((seed = seed * 1103515245u + 12345u) >> 16) % 128));
        check(text);
    }
    ucol_close(c);
    keys.usable = same;
    return keys;
}

const AsciiKeys& asciiKeys()
{
    static const AsciiKeys keys = makeAsciiKeys();
    return keys;
}

bool isAscii(std::string_view text)
{
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t x;
        std::memcpy(&x, text.data() + i, 8);
        if (x & 0x8080808080808080ull)
            return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}

// ICU takes lengths as int32_t; a cell is never near that, but a longer one
// sorts by its start rather than overflow.
constexpr std::size_t MaxUnits = INT32_MAX / 4;

} // namespace

PersianCollator::PersianCollator(TextEncoding held) : held_(HeldForm(held))
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("fa", &status);
    if (U_FAILURE(status)) {
        ucol_close(c);
        return;
    }
    ucol_setStrength(c, UCOL_SECONDARY);
    collator_ = c;
    // The same without the normalization check, for texts without
    // combining marks (which ICU orders the same either way).
    status = U_ZERO_ERROR;
    plain_ = ucol_open("fa", &status);
    ucol_setStrength(plain_, UCOL_SECONDARY);
    ucol_setAttribute(plain_, UCOL_NORMALIZATION_MODE, UCOL_OFF, &status);
    if (U_FAILURE(status)) {
        ucol_close(plain_);
        plain_ = nullptr;
    }
}

PersianCollator::~PersianCollator()
{
    ucol_close(plain_);
    ucol_close(collator_);
}

std::size_t PersianCollator::toUnits(std::string_view value) const
{
    // One unit per byte at most: a UTF-8 character of n bytes is at most n/2 units.
    if (units_.size() < value.size())
        units_.resize(value.size());
    char16_t* out = units_.data();
    std::size_t n = 0;
    bool marks = false;
    if (held_ == TextEncoding::Windows1256) {
        const auto& table = cp1256Units();
        for (const char ch : value) {
            const char16_t u = table[static_cast<unsigned char>(ch)];
            marks |= u >= 0x80 && combines(u);
            out[n++] = u;
        }
        marks_ = marks;
        return n;
    }
    std::size_t i = 0;
    while (i < value.size()) {
        const auto b = static_cast<unsigned char>(value[i]);
        if (b < 0x80) {
            out[n++] = b;
            ++i;
            continue;
        }
        const char32_t cp = NextCodePoint(value, i);
        marks |= combines(cp);
        if (cp >= 0x10000) {
            out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out[n++] = foldLetter(static_cast<char16_t>(cp));
        }
    }
    marks_ = marks;
    return n;
}

bool PersianCollator::appendSortKey(std::string_view value, std::string& key) const
{
    // Codes, identifiers, e-mail addresses: ASCII alone, a table lookup a character.
    if (collator_ && isAscii(value) && asciiKeys().usable && asciiKeys().make(value, key))
        return true;
    const std::size_t n = std::min(toUnits(value), MaxUnits);
    const std::size_t at = key.size();
    if (!collator_) {
        for (std::size_t k = 0; k < n; ++k) {
            key.push_back(static_cast<char>(units_[k] >> 8));
            key.push_back(static_cast<char>(units_[k] & 0xFF));
        }
        return true;
    }
    const auto* units = reinterpret_cast<const UChar*>(units_.data());
    UCollator* const c = marks_ || !plain_ ? collator_ : plain_;
    // Most keys take about two bytes a character at this level.
    std::size_t room = 3 * n + 16;
    key.resize(at + room);
    auto length = static_cast<std::size_t>(ucol_getSortKey(c, units, static_cast<int32_t>(n),
                                                           reinterpret_cast<std::uint8_t*>(key.data() + at),
                                                           static_cast<int32_t>(room)));
    if (length > room) {
        room = length;
        key.resize(at + room);
        length = static_cast<std::size_t>(ucol_getSortKey(c, units, static_cast<int32_t>(n),
                                                          reinterpret_cast<std::uint8_t*>(key.data() + at),
                                                          static_cast<int32_t>(room)));
    }
    // The key ends with a zero byte, which orders nothing here.
    key.resize(at + (length > 0 ? length - 1 : 0));
    return true;
}

int PersianCollator::compare(std::string_view a, std::string_view b) const
{
    std::string keyA;
    std::string keyB;
    appendSortKey(a, keyA);
    appendSortKey(b, keyB);
    // Unsigned bytes, as the keys are meant to be read.
    const int c = keyA.compare(keyB);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace rasmik
