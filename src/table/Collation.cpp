#include "table/Collation.h"

#include "text/Cp1256.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

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
