#include "export/CellText.h"

#include "text/TextEncoding.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace rasmik {

namespace {

// A finite value's decimal digits: value = 0.digits x 10^point, no leading
// zeros, at most 17 digits.
struct Decimal {
    bool negative = false;
    char digits[24] = {};
    int length = 0;
    int point = 0;
};

// The digits of value rounded to precision significant digits (0: the
// shortest that reads back exactly).
Decimal DigitsOf(double value, int precision)
{
    Decimal d;
    d.negative = std::signbit(value);
    const double a = std::fabs(value);
    if (a == 0) {
        d.point = 1;
        return d;
    }
    char buf[48];
    const auto r = precision > 0 ? std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision - 1)
                                 : std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
    for (const char* p = buf; p < e; ++p) {
        if (*p >= '0' && *p <= '9')
            d.digits[d.length++] = *p;
    }
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
    d.point = exponent + 1;
    while (d.length > 0 && d.digits[d.length - 1] == '0')
        --d.length;
    return d;
}

// At most 15 significant digits, as few as read back the same.
Decimal GeneralDigits(double value)
{
    Decimal d = DigitsOf(value, 0);
    if (d.length > 15)
        d = DigitsOf(value, 15);
    return d;
}

void AppendGrouped(std::string& out, const char* digits, int count, bool grouping)
{
    for (int i = 0; i < count; ++i) {
        if (grouping && i > 0 && (count - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
}

// d rounded half away from zero to decimals places, shown with at least
// minDecimals of them.
void AppendFixed(std::string& out, Decimal d, int decimals, int minDecimals, bool grouping)
{
    // Digits kept: those before the point and decimals after it.
    const int keep = d.point + decimals;
    if (keep < 0) {
        d.length = 0;
    } else if (keep < d.length) {
        const bool up = d.digits[keep] >= '5';
        d.length = keep;
        if (up) {
            int i = keep - 1;
            while (i >= 0 && d.digits[i] == '9')
                d.digits[i--] = '0';
            if (i >= 0) {
                ++d.digits[i];
            } else {
                std::memmove(d.digits + 1, d.digits, static_cast<std::size_t>(d.length));
                d.digits[0] = '1';
                ++d.length;
                ++d.point;
            }
        }
        while (d.length > 0 && d.digits[d.length - 1] == '0')
            --d.length;
    }
    if (d.length == 0)
        d.negative = false; // no "-0"
    if (d.negative)
        out += '-';
    char integer[400];
    int n = 0;
    for (int i = 0; i < d.point && n < 399; ++i)
        integer[n++] = i < d.length ? d.digits[i] : '0';
    if (n == 0)
        integer[n++] = '0';
    AppendGrouped(out, integer, n, grouping);
    // Fraction digits: index d.point + k for k = 0..decimals-1.
    int last = 0; // fraction digits up to the last non-zero one
    for (int k = 0; k < decimals; ++k) {
        const int i = d.point + k;
        if (i >= 0 && i < d.length && d.digits[i] != '0')
            last = k + 1;
    }
    const int shown = std::max(last, std::min(minDecimals, decimals));
    if (shown > 0) {
        out += '.';
        for (int k = 0; k < shown; ++k) {
            const int i = d.point + k;
            out += (i >= 0 && i < d.length) ? d.digits[i] : '0';
        }
    }
}

void AppendTwo(std::string& out, int v)
{
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
}

// Days since 1970-01-01 to a calendar date (proleptic Gregorian).
void CivilFromDays(long long z, int& year, int& month, int& day)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

bool IsLetter(char c, char lower)
{
    return c == lower || c == lower - 32;
}

} // namespace

void AppendGeneralNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "#NUM!";
        return;
    }
    Decimal d = GeneralDigits(value);
    if (d.length == 0) {
        out += '0';
        return;
    }
    if (d.negative)
        out += '-';
    const int exponent = d.point - 1;
    if (exponent >= -5 && exponent < 15) {
        if (d.point <= 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-d.point), '0');
            out.append(d.digits, static_cast<std::size_t>(d.length));
        } else {
            for (int i = 0; i < d.point; ++i)
                out += i < d.length ? d.digits[i] : '0';
            if (d.length > d.point) {
                out += '.';
                out.append(d.digits + d.point, static_cast<std::size_t>(d.length - d.point));
            }
        }
        return;
    }
    out += d.digits[0];
    if (d.length > 1) {
        out += '.';
        out.append(d.digits + 1, static_cast<std::size_t>(d.length - 1));
    }
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    if (e >= 100)
        out += static_cast<char>('0' + e / 100);
    AppendTwo(out, e);
}

void AppendDateTime(std::string& out, int year, int month, int day, int seconds, const NumberFormat& format)
{
    const bool date = format.date || !format.time;
    if (date) {
        const int y = std::abs(year);
        if (year < 0)
            out += '-';
        AppendTwo(out, y / 100);
        AppendTwo(out, y % 100);
        out += '-';
        AppendTwo(out, month);
        out += '-';
        AppendTwo(out, day);
    }
    if (format.time) {
        if (date)
            out += ' ';
        const int hours = seconds / 3600;
        if (hours >= 100)
            out += std::to_string(hours);
        else
            AppendTwo(out, hours);
        out += ':';
        AppendTwo(out, seconds / 60 % 60);
        if (format.seconds) {
            out += ':';
            AppendTwo(out, seconds % 60);
        }
    }
}

void AppendFormattedNumber(std::string& out, double value, const NumberFormat& format, bool date1904)
{
    using K = NumberFormat::Kind;
    if (!std::isfinite(value)) {
        AppendGeneralNumber(out, value);
        return;
    }
    switch (format.kind) {
    case K::General:
    case K::Text: AppendGeneralNumber(out, value); return;
    case K::Number: AppendFixed(out, DigitsOf(value, 15), format.decimals, format.minDecimals, format.grouping); return;
    case K::Percent: {
        Decimal d = DigitsOf(value, 15);
        if (d.length > 0)
            d.point += 2;
        AppendFixed(out, d, format.decimals, format.minDecimals, format.grouping);
        out += '%';
        return;
    }
    case K::DateTime: break;
    }
    // Past 9999-12-31, or before the start of the count: no date.
    if (value < 0 || value >= 2958466) {
        AppendGeneralNumber(out, value);
        return;
    }
    long long total = std::llround(value * 86400.0);
    long long days = total / 86400;
    int seconds = static_cast<int>(total % 86400);
    if (format.elapsed && !format.date) {
        const long long all = total;
        const long long hours = all / 3600;
        out += std::to_string(hours);
        out += ':';
        AppendTwo(out, static_cast<int>(all / 60 % 60));
        if (format.seconds) {
            out += ':';
            AppendTwo(out, static_cast<int>(all % 60));
        }
        return;
    }
    int year = 0, month = 0, day = 0;
    if (date1904) {
        CivilFromDays(days - 24107, year, month, day);
    } else if (days == 0) {
        year = 1900, month = 1, day = 0; // Excel's day 0
    } else if (days < 60) {
        CivilFromDays(days - 25568, year, month, day);
    } else if (days == 60) {
        year = 1900, month = 2, day = 29; // the day Excel counts that never was
    } else {
        CivilFromDays(days - 25569, year, month, day);
    }
    AppendDateTime(out, year, month, day, seconds, format);
}

NumberFormat BuiltInNumberFormat(int id)
{
    NumberFormat f;
    using K = NumberFormat::Kind;
    auto number = [&](int decimals, bool grouping) {
        f.kind = K::Number;
        f.decimals = f.minDecimals = static_cast<std::uint8_t>(decimals);
        f.grouping = grouping;
    };
    auto clock = [&](bool date, bool time, bool seconds) {
        f.kind = K::DateTime;
        f.date = date;
        f.time = time;
        f.seconds = seconds;
    };
    switch (id) {
    case 1: number(0, false); break;
    case 2: number(2, false); break;
    case 3:
    case 5:
    case 37:
    case 38:
    case 41:
    case 42: number(0, true); break;
    case 4:
    case 6:
    case 7:
    case 8:
    case 39:
    case 40:
    case 43:
    case 44: number(2, true); break;
    case 9: f.kind = K::Percent; break;
    case 10:
        f.kind = K::Percent;
        f.decimals = f.minDecimals = 2;
        break;
    case 14:
    case 15:
    case 16:
    case 17: clock(true, false, false); break;
    case 18:
    case 20: clock(false, true, false); break;
    case 19:
    case 21:
    case 45:
    case 47: clock(false, true, true); break;
    case 22: clock(true, true, false); break;
    case 46:
        clock(false, true, true);
        f.elapsed = true;
        break;
    case 49: f.kind = K::Text; break;
    default:
        // The East Asian date formats.
        if ((id >= 27 && id <= 36) || (id >= 50 && id <= 58))
            clock(true, false, false);
        break;
    }
    return f;
}

NumberFormat NumberFormatOfCode(std::string_view code)
{
    using K = NumberFormat::Kind;
    NumberFormat f;
    bool year = false, day = false, hour = false, second = false, month = false, minute = false;
    bool digits = false, point = false, percent = false, scientific = false, fraction = false, at = false;
    bool general = false;
    int decimals = 0, minDecimals = 0;
    bool grouping = false;
    char lastClock = 0; // the last of h, m, s seen, for telling minutes from months
    bool pendingM = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == ';')
            break;
        if (c == '"') {
            const std::size_t end = code.find('"', i + 1);
            i = end == std::string_view::npos ? code.size() : end;
            continue;
        }
        if (c == '\\' || c == '_' || c == '*') {
            ++i;
            continue;
        }
        if (c == '[') {
            const std::size_t end = code.find(']', i + 1);
            const std::string_view inside = code.substr(i + 1, end == std::string_view::npos ? 0 : end - i - 1);
            if (!inside.empty() && (IsLetter(inside[0], 'h') || IsLetter(inside[0], 'm') || IsLetter(inside[0], 's'))
                && inside.find_first_not_of(inside[0]) == std::string_view::npos) {
                f.elapsed = true;
                const char k = static_cast<char>(inside[0] | 0x20);
                hour = hour || k == 'h';
                minute = minute || k == 'm';
                second = second || k == 's';
                lastClock = k;
            }
            i = end == std::string_view::npos ? code.size() : end;
            continue;
        }
        if (code.substr(i, 7).size() == 7 && (code[i] | 0x20) == 'g') {
            std::string lower;
            for (char x : code.substr(i, 7))
                lower += static_cast<char>(x | 0x20);
            if (lower == "general") {
                general = true;
                i += 6;
                continue;
            }
        }
        if (IsLetter(c, 'a') && (code.substr(i, 5) == "AM/PM" || code.substr(i, 5) == "am/pm")) {
            i += 4;
            continue;
        }
        if (IsLetter(c, 'a') && (code.substr(i, 3) == "A/P" || code.substr(i, 3) == "a/p")) {
            i += 2;
            continue;
        }
        const char lower = static_cast<char>(c | 0x20);
        if (c >= 'A' && c <= 'z'
            && (lower == 'y' || lower == 'd' || lower == 'h' || lower == 's' || lower == 'm' || lower == 'e'
                || lower == 'b')) {
            if (lower == 'e' && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-') && digits) {
                scientific = true;
                continue;
            }
            if (lower == 'm') {
                // A month unless it follows an hour or is followed by seconds.
                if (lastClock == 'h')
                    minute = true;
                else
                    pendingM = true;
                while (i + 1 < code.size() && (code[i + 1] | 0x20) == 'm')
                    ++i;
                lastClock = 'm';
                continue;
            }
            if (lower == 's') {
                if (pendingM) {
                    minute = true;
                    pendingM = false;
                }
                second = true;
                lastClock = 's';
                continue;
            }
            if (pendingM && lower != 's') {
                month = true;
                pendingM = false;
            }
            year = year || lower == 'y' || lower == 'e' || lower == 'b';
            day = day || lower == 'd';
            if (lower == 'h') {
                hour = true;
                lastClock = 'h';
            }
            continue;
        }
        if (c == '0' || c == '#' || c == '?') {
            digits = true;
            if (point) {
                ++decimals;
                if (c == '0')
                    minDecimals = decimals;
            }
            continue;
        }
        if (c == '.' && !point) {
            point = digits || (i + 1 < code.size() && (code[i + 1] == '0' || code[i + 1] == '#'));
            continue;
        }
        if (c == ',' && digits && !point && i + 1 < code.size()
            && (code[i + 1] == '0' || code[i + 1] == '#' || code[i + 1] == '?'))
            grouping = true;
        if (c == '%')
            percent = true;
        if (c == '/')
            fraction = digits;
        if (c == '@')
            at = true;
    }
    if (pendingM)
        month = true;
    if (year || day || month || hour || minute || second) {
        f.kind = K::DateTime;
        f.date = year || day || month;
        f.time = hour || minute || second;
        f.seconds = second;
        return f;
    }
    if (general || scientific || fraction || !digits) {
        f.kind = at && !digits ? K::Text : K::General;
        return f;
    }
    f.kind = percent ? K::Percent : K::Number;
    f.decimals = static_cast<std::uint8_t>(std::min(decimals, 30));
    f.minDecimals = static_cast<std::uint8_t>(std::min(minDecimals, 30));
    f.grouping = grouping;
    return f;
}

void DecodeXlsxEscapes(std::string& text, std::size_t from)
{
    std::size_t at = text.find("_x", from);
    if (at == std::string::npos)
        return;
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') ? c - '0'
            : (c >= 'a' && c <= 'f')  ? c - 'a' + 10
            : (c >= 'A' && c <= 'F')  ? c - 'A' + 10
                                      : -1;
    };
    std::string out = text.substr(0, at);
    std::size_t i = at;
    while (i < text.size()) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            int v = 0;
            bool ok = true;
            for (int k = 2; k < 6 && ok; ++k) {
                const int h = hex(text[i + static_cast<std::size_t>(k)]);
                ok = h >= 0;
                v = v * 16 + h;
            }
            if (ok) {
                // A lone surrogate has no UTF-8 form; NUL ends no cell here.
                if (v != 0)
                    AppendUtf8(out, (v >= 0xD800 && v <= 0xDFFF) ? 0xFFFD : static_cast<char32_t>(v));
                i += 7;
                continue;
            }
        }
        out += text[i++];
    }
    text.swap(out);
}

} // namespace rasmik
