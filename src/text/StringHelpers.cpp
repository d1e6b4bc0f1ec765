#include "text/StringHelpers.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace rasmik {

CharSet MakeCharSet(std::initializer_list<std::pair<int, int>> ranges)
{
    CharSet set;
    for (const auto& [from, to] : ranges) {
        for (int c = std::max(from, 0); c <= std::min(to, 255); ++c)
            set.set(static_cast<std::size_t>(c));
    }
    return set;
}

std::string RemoveChar(char ch, std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != ch)
            out.push_back(c);
    }
    return out;
}

std::string RemoveCharSet(const CharSet& m, std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (!m.test(static_cast<unsigned char>(c)))
            out.push_back(c);
    }
    return out;
}

std::string CollapseDoubleSpaces(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out.push_back(c);
    }
    return out;
}

std::string TrimSpaces(std::string_view s)
{
    return std::string(TrimSpacesView(s));
}

// ---------------------------------------------------------------- tokens

namespace {

// Length of the leading run of whole copies of sep at the front of s.
std::size_t LeadingSeparators(std::string_view s, std::string_view sep)
{
    if (sep.empty())
        return 0;
    std::size_t n = 0;
    while (s.substr(n, sep.size()) == sep)
        n += sep.size();
    return n;
}

std::size_t FindSeparator(std::string_view s, std::string_view sep)
{
    // An empty separator is never found.
    return sep.empty() ? std::string_view::npos : s.find(sep);
}

// Splits the first space-separated token off s (leading spaces dropped).
std::string_view CutSpaceToken(std::string_view& s)
{
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        s = {};
        return {};
    }
    s.remove_prefix(first);
    const std::size_t space = s.find(' ');
    std::string_view text = s.substr(0, space);
    s = space == std::string_view::npos ? std::string_view{} : s.substr(space + 1);
    return text;
}

// The spaced token of an owned string: cut on a view, then shorten the string once.
std::string_view CutSpaceToken(std::string& s, std::string& holder)
{
    std::string_view rest = s;
    const std::string_view text = CutSpaceToken(rest);
    holder.assign(text);
    s.erase(0, s.size() - rest.size());
    return holder;
}

int32_t TruncateToInt32(double r, int32_t def)
{
    // The range check keeps the conversion defined: [-2^63, 2^63).
    constexpr double lo = -9223372036854775808.0;
    constexpr double hi = 9223372036854775808.0;
    if (!(r >= lo && r < hi))
        return def;
    const auto wide = static_cast<int64_t>(r);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

} // namespace

void TakeToken(std::string& s, std::string_view sep, bool skipLeading, std::string& token)
{
    std::string_view rest = s;
    const std::string_view piece = TakeToken(rest, sep, skipLeading);
    const std::size_t consumed = s.size() - rest.size();
    // piece points into s; copy it before s changes.
    std::string cut(piece);
    s.erase(0, consumed);
    token = std::move(cut);
}

std::string_view TakeToken(std::string_view& s, std::string_view sep, bool skipLeading)
{
    if (skipLeading)
        s.remove_prefix(LeadingSeparators(s, sep));
    const std::size_t p = FindSeparator(s, sep);
    if (p == std::string_view::npos) {
        const std::string_view token = s;
        s = {};
        return token;
    }
    const std::string_view token = s.substr(0, p);
    s.remove_prefix(p + sep.size());
    return token;
}

int32_t TakeIntToken(std::string& s, int32_t def)
{
    std::string holder;
    const std::string_view text = CutSpaceToken(s, holder);
    return TruncateToInt32(ParseFloatDef(text, static_cast<double>(def)), def);
}

int32_t TakeIntToken(std::string_view& s, int32_t def)
{
    const std::string_view text = CutSpaceToken(s);
    return TruncateToInt32(ParseFloatDef(text, static_cast<double>(def)), def);
}

bool TakeFlagToken(std::string& s)
{
    return (TakeIntToken(s, 0) & 0xFF) != 0;
}

bool TakeFlagToken(std::string_view& s)
{
    return (TakeIntToken(s, 0) & 0xFF) != 0;
}

double TakeFloatToken(std::string& s, double def)
{
    std::string holder;
    return ParseFloatDef(CutSpaceToken(s, holder), def);
}

double TakeFloatToken(std::string_view& s, double def)
{
    return ParseFloatDef(CutSpaceToken(s), def);
}

// ---------------------------------------------------------------- numbers

namespace {

constexpr double ExactPowersOfTen[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

constexpr uint64_t IntPowersOfTen[] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a text with every comma dropped, without copying it.
class CommaFreeReader {
public:
    CommaFreeReader(const char* p, const char* end) : p_(p), end_(end) { skipCommas(); }
    bool atEnd() const { return p_ == end_; }
    char peek() const { return *p_; }
    const char* position() const { return p_; }
    void advance()
    {
        ++p_;
        skipCommas();
    }

private:
    void skipCommas()
    {
        while (p_ != end_ && *p_ == ',')
            ++p_;
    }
    const char* p_;
    const char* end_;
};

// The general conversion for what the fast path cannot do exactly. text has
// already been checked against the grammar.
double ConvertSlow(bool negative, std::string_view text, double def)
{
    // from_chars takes no '+', no leading spaces and no commas; hand it the
    // digits, point and exponent only.
    char small[128];
    std::string large;
    char* buf = small;
    if (text.size() + 1 > sizeof small) {
        large.resize(text.size() + 1);
        buf = large.data();
    }
    std::size_t n = 0;
    for (char c : text) {
        if (c != ',')
            buf[n++] = c;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(buf, buf + n, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        return 0; // overflow reads as 0; an underflow is 0 anyway
    if (ec != std::errc() || ptr != buf + n)
        return def;
    return negative ? -v : v;
}

// The common cell: spaces and a sign or accounting parentheses, digits with
// thousands commas and an optional fraction, no exponent, an exact mantissa
// up to 2^53. Answers false for anything else, which the full reader takes.
bool ParsePlainDecimal(std::string_view s, double& out)
{
    const char* p = s.data();
    const char* e = p + s.size();
    bool negative = false;
    if (s.size() > 2 && s.front() == '(' && s.back() == ')') {
        // "(x)" reads as "-x": no spaces or sign may follow the '-'.
        ++p;
        --e;
        negative = true;
    } else {
        while (p != e && *p == ' ')
            ++p;
        if (p != e && (*p == '-' || *p == '+')) {
            negative = *p == '-';
            ++p;
        }
    }
    uint64_t m = 0;
    int digits = 0;
    int fraction = 0;
    for (; p != e; ++p) {
        const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
        if (d < 10) {
            m = m * 10 + d;
            ++digits;
        } else if (*p != ',') {
            break;
        }
    }
    if (p != e && *p == '.') {
        for (++p; p != e; ++p) {
            const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
            if (d < 10) {
                m = m * 10 + d;
                ++digits;
                ++fraction;
            } else if (*p != ',') {
                break;
            }
        }
    }
    // 19 digits cannot overflow m; 2^53 and 1e22 keep both operands exact.
    if (p != e || digits == 0 || digits > 19 || m > (uint64_t{1} << 53) || fraction > 22)
        return false;
    const double v = fraction ? static_cast<double>(m) / ExactPowersOfTen[fraction] : static_cast<double>(m);
    out = negative ? -v : v;
    return true;
}

double ParseFloatFull(std::string_view s, double def);

} // namespace

double ParseFloatDef(std::string_view s, double def)
{
    double v;
    if (ParsePlainDecimal(s, v))
        return v;
    return ParseFloatFull(s, def);
}

namespace {

double ParseFloatFull(std::string_view s, double def)
{
    const char* begin = s.data();
    const char* end = s.data() + s.size();
    bool negative = false;
    bool parenthesised = false;
    if (s.size() > 2 && s.front() == '(' && s.back() == ')') {
        // Accounting notation: "(x)" reads as "-x".
        ++begin;
        --end;
        negative = true;
        parenthesised = true;
    }

    CommaFreeReader r(begin, end);
    if (!parenthesised) {
        while (!r.atEnd() && r.peek() == ' ')
            r.advance();
        if (!r.atEnd() && (r.peek() == '+' || r.peek() == '-')) {
            negative = r.peek() == '-';
            r.advance();
        }
    }

    // Mantissa: up to 19 significant digits kept exactly; the rest only
    // matter to the slow path.
    const char* numberStart = nullptr;
    uint64_t mantissa = 0;
    int significant = 0;
    bool dropped = false;
    int64_t exp10 = 0;
    bool anyDigit = false;
    bool point = false;
    for (;;) {
        if (r.atEnd())
            break;
        const char c = r.peek();
        if (IsDigit(c)) {
            if (!numberStart)
                numberStart = r.position();
            anyDigit = true;
            const int d = c - '0';
            if (mantissa == 0 && d == 0) {
                if (point)
                    --exp10;
            } else if (significant < 19) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(d);
                ++significant;
                if (point)
                    --exp10;
            } else {
                dropped = true;
                if (!point)
                    ++exp10;
            }
        } else if (c == '.' && !point) {
            if (!numberStart)
                numberStart = r.position();
            point = true;
        } else {
            break;
        }
        r.advance();
    }
    if (!anyDigit && !point)
        return def; // empty text, a sign alone, or a stray character

    if (!r.atEnd() && (r.peek() == 'e' || r.peek() == 'E')) {
        r.advance();
        bool expNegative = false;
        if (!r.atEnd() && (r.peek() == '+' || r.peek() == '-')) {
            expNegative = r.peek() == '-';
            r.advance();
        }
        if (r.atEnd() || !IsDigit(r.peek()))
            return def;
        int64_t e = 0;
        while (!r.atEnd() && IsDigit(r.peek())) {
            if (e < 100000000)
                e = e * 10 + (r.peek() - '0');
            r.advance();
        }
        exp10 += expNegative ? -e : e;
    }
    if (!r.atEnd())
        return def; // nothing may follow, not even a space

    if (mantissa == 0 && !dropped)
        return negative ? -0.0 : 0.0;

    if (!dropped && significant <= 15) {
        // An exact mantissa below 2^53 and an exact power of ten: one IEEE
        // operation, hence correctly rounded.
        uint64_t m = mantissa;
        int64_t e = exp10;
        if (e > 22 && e - 22 + significant <= 15) {
            m *= IntPowersOfTen[e - 22];
            e = 22;
        }
        if (e >= -22 && e <= 22) {
            double v = static_cast<double>(m);
            v = e < 0 ? v / ExactPowersOfTen[-e] : v * ExactPowersOfTen[e];
            return negative ? -v : v;
        }
    }
    return ConvertSlow(negative, std::string_view(numberStart, static_cast<std::size_t>(end - numberStart)), def);
}

} // namespace

int32_t ParseIntDef(std::string_view s, int32_t def)
{
    const int64_t value = ParseInt64Def(s, int64_t{std::numeric_limits<int32_t>::max()} + 1);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return def;
    return static_cast<int32_t>(value);
}

int64_t ParseInt64Def(std::string_view s, int64_t def)
{
    CommaFreeReader r(s.data(), s.data() + s.size());
    while (!r.atEnd() && r.peek() == ' ')
        r.advance();
    bool negative = false;
    if (!r.atEnd() && (r.peek() == '+' || r.peek() == '-')) {
        negative = r.peek() == '-';
        r.advance();
    }

    int base = 10;
    bool anyDigit = false;
    if (!r.atEnd() && (r.peek() == '$' || r.peek() == 'x' || r.peek() == 'X')) {
        base = 16;
        r.advance();
    } else if (!r.atEnd() && r.peek() == '0') {
        r.advance();
        if (!r.atEnd() && (r.peek() == 'x' || r.peek() == 'X')) {
            base = 16;
            r.advance();
        } else {
            anyDigit = true; // the zero itself
        }
    }

    // Magnitudes stop just above the 64-bit range, so long inputs cannot wrap.
    constexpr uint64_t cap = (uint64_t{1} << 63) + 1;
    uint64_t value = 0;
    for (; !r.atEnd(); r.advance()) {
        const char c = r.peek();
        int d;
        if (IsDigit(c))
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return def;
        anyDigit = true;
        const uint64_t digit = static_cast<uint64_t>(d);
        value = value > (cap - digit) / static_cast<uint64_t>(base) ? cap : value * base + digit;
    }
    if (!anyDigit)
        return def;
    constexpr uint64_t maxMagnitude = uint64_t{1} << 63; // of the most negative value
    if (negative) {
        if (value > maxMagnitude)
            return def;
        return value == maxMagnitude ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(value);
    }
    if (value >= maxMagnitude)
        return def;
    return static_cast<int64_t>(value);
}

// ---------------------------------------------------------------- paths

std::string WithTrailingBackslash(std::string_view path)
{
    std::string out(path);
    if (!out.empty() && out.back() != PathSeparator)
        out.push_back(PathSeparator);
    return out;
}

std::string NormalizeFolder(std::string_view path)
{
    std::string out;
    out.reserve(path.size() + 1);
    for (char c : path) {
        if (c == PathSeparator && !out.empty() && out.back() == PathSeparator)
            continue;
        out.push_back(c);
    }
    if (out.empty() || out.back() != PathSeparator)
        out.push_back(PathSeparator);
    return out;
}

} // namespace rasmik
