// ParseFloatDef, ParseIntDef, TakeIntToken, TakeFloatToken, TakeFlagToken
// against slow references written straight from the number grammar.

#include "FuzzTargets.h"

#include "text/StringHelpers.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace rasmik;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isHex(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The reading of a real: parentheses, commas, then the decimal grammar,
// converted by strtod. underflow tells that strtod went below the normal range.
double RefFloat(std::string_view s, double def, bool& underflow)
{
    underflow = false;
    std::string t;
    if (s.size() > 2 && s.front() == '(' && s.back() == ')')
        t = "-" + std::string(s.substr(1, s.size() - 2));
    else
        t = std::string(s);
    std::string u;
    for (char c : t)
        if (c != ',')
            u.push_back(c);
    std::size_t i = 0;
    while (i < u.size() && u[i] == ' ')
        ++i;
    const std::size_t start = i;
    if (i < u.size() && (u[i] == '+' || u[i] == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    while (i < u.size() && (isDigit(u[i]) || (u[i] == '.' && !point))) {
        digits = digits || isDigit(u[i]);
        point = point || u[i] == '.';
        ++i;
    }
    if (!digits && !point)
        return def;
    if (i < u.size() && (u[i] == 'e' || u[i] == 'E')) {
        ++i;
        if (i < u.size() && (u[i] == '+' || u[i] == '-'))
            ++i;
        if (i >= u.size() || !isDigit(u[i]))
            return def;
        while (i < u.size() && isDigit(u[i]))
            ++i;
    }
    if (i != u.size())
        return def;
    // strtod wants a digit somewhere: "." and "-." are 0.
    std::string number = u.substr(start);
    if (!digits)
        return number[0] == '-' ? -0.0 : 0.0;
    // strtod cannot read ".e5" style texts without digits before the
    // exponent; handled above. It reads "5." and ".5" as they are.
    errno = 0;
    const double v = std::strtod(number.c_str(), nullptr);
    if (errno == ERANGE) {
        if (std::isinf(v))
            return 0;
        underflow = true;
    }
    return v;
}

int32_t RefInt(std::string_view s, int32_t def)
{
    std::string u;
    for (char c : s)
        if (c != ',')
            u.push_back(c);
    std::size_t i = 0;
    while (i < u.size() && u[i] == ' ')
        ++i;
    bool negative = false;
    if (i < u.size() && (u[i] == '+' || u[i] == '-'))
        negative = u[i++] == '-';
    int base = 10;
    if (i < u.size() && (u[i] == '$' || u[i] == 'x' || u[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < u.size() && u[i] == '0' && (u[i + 1] == 'x' || u[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == u.size())
        return def;
    long double value = 0; // exact far beyond the 32-bit range; only compared
    for (; i < u.size(); ++i) {
        const char c = u[i];
        if (base == 10 ? !isDigit(c) : !isHex(c))
            return def;
        const int d = isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
        value = std::min<long double>(value * base + d, 1e30L);
    }
    if (negative)
        value = -value;
    if (value < -2147483648.0L || value > 2147483647.0L)
        return def;
    return static_cast<int32_t>(value);
}

// Leading spaces dropped, then the text up to the first space.
std::string_view RefToken(std::string_view& s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    const std::size_t p = s.find(' ');
    std::string_view token = s.substr(0, p);
    s = p == std::string_view::npos ? std::string_view{} : s.substr(p + 1);
    return token;
}

int32_t RefTruncate(double r, int32_t def)
{
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        return def;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(r))));
}

bool SameReal(double got, double want, bool underflow)
{
    if (underflow)
        return got == want || got == 0; // below the normal range 0 will do
    if (std::isnan(want))
        return std::isnan(got);
    return std::memcmp(&got, &want, sizeof got) == 0;
}

} // namespace

namespace rasmik::fuzz {

int Numbers(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr double def = -12345.5;
    bool underflow = false;
    const double want = RefFloat(text, def, underflow);
    FUZZ_CHECK(SameReal(ParseFloatDef(text, def), want, underflow));
    FUZZ_CHECK(ParseIntDef(text, -777) == RefInt(text, -777));

    // Token by token, over views and over owned strings alike.
    std::string_view view = text;
    std::string owned(text);
    std::string_view ref = text;
    for (int k = 0; !ref.empty() && k < 64; ++k) {
        const std::string_view token = RefToken(ref);
        bool uf = false;
        const double r = RefFloat(token, 7.0, uf);
        switch (k % 3) {
        case 0: {
            const int32_t expected = RefTruncate(r, 7);
            const int32_t a = TakeIntToken(view, 7);
            const int32_t b = TakeIntToken(owned, 7);
            FUZZ_CHECK(a == b);
            FUZZ_CHECK(uf ? (a == expected || a == 0) : a == expected);
            break;
        }
        case 1: {
            const double a = TakeFloatToken(view, 7.0);
            const double b = TakeFloatToken(owned, 7.0);
            FUZZ_CHECK(SameReal(a, b, false));
            FUZZ_CHECK(SameReal(a, r, uf));
            break;
        }
        default: {
            bool uf0 = false;
            const bool expected = (RefTruncate(RefFloat(token, 0.0, uf0), 0) & 0xFF) != 0;
            const bool a = TakeFlagToken(view);
            FUZZ_CHECK(a == TakeFlagToken(owned));
            FUZZ_CHECK(a == expected);
            break;
        }
        }
        FUZZ_CHECK(view == ref);
        FUZZ_CHECK(owned == ref);
    }
    return 0;
}

} // namespace rasmik::fuzz
