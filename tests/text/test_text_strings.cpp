// Tokens, numbers, cleaning and path helpers on Windows-1256 byte strings.

#include "text/StringHelpers.h"

#include <QtTest>

#include <atomic>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <random>

// Counts heap allocations so the hot paths can be shown to make none.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n)
{
    return operator new(n);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

using namespace rasmik;

using Bytes = std::string;
using ByteList = std::vector<std::string>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(ByteList)

namespace {

// Byte strings with embedded NULs need the length spelled out.
template <std::size_t N>
Bytes B(const char (&s)[N])
{
    return Bytes(s, N - 1);
}

QByteArray Show(const Bytes& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toPercentEncoding(" ()$,.-+");
}

bool SameDouble(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

double Reference(const std::string& digits)
{
    double v = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec == std::errc::result_out_of_range)
        return 0;
    return ptr == digits.data() + digits.size() ? v : std::nan("");
}

} // namespace

class TestTextStrings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void takeTokenOnce_data();
    void takeTokenOnce();
    void takeTokenSequence_data();
    void takeTokenSequence();

    void takeIntToken_data();
    void takeIntToken();
    void takeFlagToken_data();
    void takeFlagToken();
    void takeFloatToken_data();
    void takeFloatToken();

    void parseFloatDef_data();
    void parseFloatDef();
    void parseFloatDefMatchesCorrectRounding();
    void parseFloatDefRoundTripsDoubles();
    void hugeInputsGiveTheirOutcome_data();
    void hugeInputsGiveTheirOutcome();
    void parseIntDef_data();
    void parseIntDef();
    void parseInt64Def_data();
    void parseInt64Def();
    void hotPathsDoNotAllocate();

    void cleaning_data();
    void cleaning();
    void removeCharSet();
    void paths_data();
    void paths();
};

// ---------------------------------------------------------------- TakeToken

void TestTextStrings::takeTokenOnce_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<Bytes>("sep");
    QTest::addColumn<bool>("skipLeading");
    QTest::addColumn<Bytes>("token");
    QTest::addColumn<Bytes>("rest");

    QTest::newRow("separator at start, no skip") << B("\ta") << B("\t") << false << B("") << B("a");
    QTest::newRow("separator at start, skipped") << B("\t\ta\tb") << B("\t") << true << B("a") << B("b");
    QTest::newRow("separator at end is consumed") << B("a\t") << B("\t") << false << B("a") << B("");
    QTest::newRow("no separator takes all") << B("abc") << B("\t") << false << B("abc") << B("");
    QTest::newRow("empty text") << B("") << B("\t") << true << B("") << B("");
    QTest::newRow("empty separator never found") << B("a\tb") << B("") << false << B("a\tb") << B("");
    QTest::newRow("empty separator with skip") << B("a\tb") << B("") << true << B("a\tb") << B("");
    QTest::newRow("CR LF removed whole") << B("x\r\ny") << B("\r\n") << false << B("x") << B("y");
    QTest::newRow("lone CR is no CR LF") << B("a\rb\r\nc") << B("\r\n") << false << B("a\rb") << B("c");
    QTest::newRow("long separator matched exactly") << B("aXXXb") << B("XX") << false << B("a") << B("Xb");
    QTest::newRow("skip removes whole copies only") << B(":::a") << B("::") << true << B(":a") << B("");
    QTest::newRow("only separators, skipped") << B("\t\t\t") << B("\t") << true << B("") << B("");
    QTest::newRow("space is a separator like others") << B(" a b") << B(" ") << false << B("") << B("a b");
    QTest::newRow("NUL bytes are ordinary") << B("a\0b\tc") << B("\t") << false << B("a\0b") << B("c");
    QTest::newRow("high bytes kept") << B("\xD3\xE1\xC7\xE3\t\x98") << B("\t") << false << B("\xD3\xE1\xC7\xE3")
                                     << B("\x98");
}

void TestTextStrings::takeTokenOnce()
{
    QFETCH(Bytes, s);
    QFETCH(Bytes, sep);
    QFETCH(bool, skipLeading);
    QFETCH(Bytes, token);
    QFETCH(Bytes, rest);

    Bytes owned = s;
    Bytes got = "junk";
    TakeToken(owned, sep, skipLeading, got);
    QCOMPARE(Show(got), Show(token));
    QCOMPARE(Show(owned), Show(rest));

    std::string_view view = s;
    const std::string_view viewToken = TakeToken(view, sep, skipLeading);
    QCOMPARE(Show(Bytes(viewToken)), Show(token));
    QCOMPARE(Show(Bytes(view)), Show(rest));
}

void TestTextStrings::takeTokenSequence_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<Bytes>("sep");
    QTest::addColumn<bool>("skipLeading");
    QTest::addColumn<ByteList>("tokens");

    QTest::newRow("adjacent separators give an empty token")
        << B("a\t\tb") << B("\t") << false << ByteList{"a", "", "b"};
    QTest::newRow("leading separators skipped") << B("\t\ta") << B("\t") << true << ByteList{"a"};
    QTest::newRow("leading separators kept") << B("\t\ta") << B("\t") << false << ByteList{"", "", "a"};
    QTest::newRow("skip only at the front of each call") << B("a\t\tb\t") << B("\t") << true << ByteList{"a", "b"};
    QTest::newRow("CR LF lines") << B("one\r\ntwo\r\n\r\nfour") << B("\r\n") << false
                                 << ByteList{"one", "two", "", "four"};
}

void TestTextStrings::takeTokenSequence()
{
    QFETCH(Bytes, s);
    QFETCH(Bytes, sep);
    QFETCH(bool, skipLeading);
    QFETCH(ByteList, tokens);

    ByteList owned;
    Bytes rest = s;
    while (!rest.empty() && owned.size() < 100) {
        Bytes t;
        TakeToken(rest, sep, skipLeading, t);
        owned.push_back(t);
    }
    QCOMPARE(owned, tokens);

    ByteList viewed;
    std::string_view view = s;
    while (!view.empty() && viewed.size() < 100)
        viewed.emplace_back(TakeToken(view, sep, skipLeading));
    QCOMPARE(viewed, tokens);
}

// ---------------------------------------------------------------- number tokens

void TestTextStrings::takeIntToken_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<int>("def");
    QTest::addColumn<int>("value");
    QTest::addColumn<Bytes>("rest");

    QTest::newRow("first of two") << B("  12 7") << -1 << 12 << B("7");
    QTest::newRow("last one") << B("7") << -1 << 7 << B("");
    QTest::newRow("empty gives default") << B("") << -1 << -1 << B("");
    QTest::newRow("spaces only give default") << B("   ") << -1 << -1 << B("");
    QTest::newRow("truncated toward zero") << B("3.9") << -1 << 3 << B("");
    QTest::newRow("negative truncated toward zero") << B("-3.9") << -1 << -3 << B("");
    QTest::newRow("small negative to zero") << B("-0.99") << -1 << 0 << B("");
    QTest::newRow("accounting negative") << B("(4)") << -1 << -4 << B("");
    QTest::newRow("thousands comma") << B("1,250") << -1 << 1250 << B("");
    QTest::newRow("word consumed, default") << B("abc 5") << -1 << -1 << B("5");
    QTest::newRow("only one space cut") << B("5  6") << -1 << 5 << B(" 6");
    QTest::newRow("TAB is not a space") << B("\t5") << -1 << -1 << B("");
    QTest::newRow("TAB inside the token") << B("5\t6 7") << -1 << -1 << B("7");
    QTest::newRow("exponent") << B("1e3") << -1 << 1000 << B("");
    QTest::newRow("wraps at 2^32") << B("4294967296") << -1 << 0 << B("");
    QTest::newRow("wraps to -1") << B("4294967295") << 5 << -1 << B("");
    QTest::newRow("wraps past int max") << B("2147483648") << 5 << int(INT32_MIN) << B("");
    QTest::newRow("low 32 bits of 1e18") << B("1e18") << 5 << -1486618624 << B("");
    QTest::newRow("low 32 bits of 123456789012") << B("123456789012") << 5 << -1097262572 << B("");
    QTest::newRow("-2^63 still in range") << B("-9223372036854775808") << 5 << 0 << B("");
    QTest::newRow("2^63 beyond 64 bits") << B("9223372036854775808") << 5 << 5 << B("");
    QTest::newRow("twenty nines beyond 64 bits") << B("99999999999999999999") << 5 << 5 << B("");
    QTest::newRow("large negative beyond 64 bits") << B("-9.3e18") << 5 << 5 << B("");
    QTest::newRow("overflowing real reads as 0") << B("1e400") << 5 << 0 << B("");
    QTest::newRow("double sign") << B("--5") << 5 << 5 << B("");
    QTest::newRow("NUL byte in token") << B("1\0002 3") << 5 << 5 << B("3");
}

void TestTextStrings::takeIntToken()
{
    QFETCH(Bytes, s);
    QFETCH(int, def);
    QFETCH(int, value);
    QFETCH(Bytes, rest);

    Bytes owned = s;
    QCOMPARE(TakeIntToken(owned, def), value);
    QCOMPARE(Show(owned), Show(rest));

    std::string_view view = s;
    QCOMPARE(TakeIntToken(view, def), value);
    QCOMPARE(Show(Bytes(view)), Show(rest));
}

void TestTextStrings::takeFlagToken_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<Bytes>("rest");

    QTest::newRow("1") << B("1") << true << B("");
    QTest::newRow("0") << B("0") << false << B("");
    QTest::newRow("-1") << B("-1") << true << B("");
    QTest::newRow("256 has no low bits") << B("256") << false << B("");
    QTest::newRow("257") << B("257") << true << B("");
    QTest::newRow("512 then more") << B("512 1") << false << B("1");
    QTest::newRow("fraction truncated") << B("1.5") << true << B("");
    QTest::newRow("word") << B("yes") << false << B("");
    QTest::newRow("empty") << B("") << false << B("");
}

void TestTextStrings::takeFlagToken()
{
    QFETCH(Bytes, s);
    QFETCH(bool, flag);
    QFETCH(Bytes, rest);

    Bytes owned = s;
    QCOMPARE(TakeFlagToken(owned), flag);
    QCOMPARE(Show(owned), Show(rest));
    std::string_view view = s;
    QCOMPARE(TakeFlagToken(view), flag);
    QCOMPARE(Show(Bytes(view)), Show(rest));
}

void TestTextStrings::takeFloatToken_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<double>("def");
    QTest::addColumn<double>("value");
    QTest::addColumn<Bytes>("rest");

    QTest::newRow("share then colour") << B(" 0.25 16711680") << -1.0 << 0.25 << B("16711680");
    QTest::newRow("not truncated") << B("-3.9") << -1.0 << -3.9 << B("");
    QTest::newRow("accounting") << B("(2.5) x") << -1.0 << -2.5 << B("x");
    QTest::newRow("word") << B("x 1") << 7.5 << 7.5 << B("1");
    QTest::newRow("empty") << B("") << 7.5 << 7.5 << B("");
    QTest::newRow("huge stays real") << B("1e300") << 0.0 << 1e300 << B("");
}

void TestTextStrings::takeFloatToken()
{
    QFETCH(Bytes, s);
    QFETCH(double, def);
    QFETCH(double, value);
    QFETCH(Bytes, rest);

    Bytes owned = s;
    QVERIFY(SameDouble(TakeFloatToken(owned, def), value));
    QCOMPARE(Show(owned), Show(rest));
    std::string_view view = s;
    QVERIFY(SameDouble(TakeFloatToken(view, def), value));
    QCOMPARE(Show(Bytes(view)), Show(rest));
}

// ---------------------------------------------------------------- ParseFloatDef

void TestTextStrings::parseFloatDef_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<double>("value"); // the default is -77

    const double d = -77;
    QTest::newRow("thousands and fraction") << B("1,234.5") << 1234.5;
    QTest::newRow("accounting negative") << B("(12)") << -12.0;
    QTest::newRow("leading space") << B(" 7") << 7.0;
    QTest::newRow("trailing space") << B("7 ") << d;
    QTest::newRow("empty parentheses") << B("()") << d;
    QTest::newRow("point alone") << B(".") << 0.0;
    QTest::newRow("exponent") << B("1e3") << 1000.0;
    QTest::newRow("empty") << B("") << d;
    QTest::newRow("plus") << B("+5") << 5.0;
    QTest::newRow("minus") << B("-5") << -5.0;
    QTest::newRow("double minus") << B("--5") << d;
    QTest::newRow("sign alone") << B("-") << d;
    QTest::newRow("sign and point") << B("-.") << 0.0;
    QTest::newRow("trailing point") << B("5.") << 5.0;
    QTest::newRow("leading point") << B(".5") << 0.5;
    QTest::newRow("two points") << B("1.2.3") << d;
    QTest::newRow("point then exponent") << B("5.e2") << 500.0;
    QTest::newRow("exponent without digits") << B("1e") << d;
    QTest::newRow("exponent sign without digits") << B("1e+") << d;
    QTest::newRow("exponent alone") << B("e5") << d;
    QTest::newRow("negative exponent") << B("1E-2") << 0.01;
    QTest::newRow("exponent with zeros") << B("2e0000000000000000000000003") << 2000.0;
    QTest::newRow("overflow reads as 0") << B("1e400") << 0.0;
    QTest::newRow("negative overflow reads as 0") << B("-1e400") << 0.0;
    QTest::newRow("long exponent overflow") << B("1e99999999999999") << 0.0;
    QTest::newRow("underflow") << B("1e-400") << 0.0;
    QTest::newRow("zero with huge exponent") << B("0e99999999999") << 0.0;
    QTest::newRow("largest double") << B("1.7976931348623157e308") << 1.7976931348623157e308;
    QTest::newRow("smallest subnormal") << B("4.9406564584124654e-324") << 4.9406564584124654e-324;
    QTest::newRow("twenty nines") << B("99999999999999999999") << 1e20;
    QTest::newRow("many digits after the point") << B("0.1000000000000000055511151231257827") << 0.1;
    QTest::newRow("letter after digits") << B("12a") << d;
    QTest::newRow("TAB before") << B("\t1") << d;
    QTest::newRow("hex is not decimal") << B("0x10") << d;
    QTest::newRow("inf") << B("inf") << d;
    QTest::newRow("nan") << B("nan") << d;
    QTest::newRow("commas anywhere") << B("1,2,3") << 123.0;
    QTest::newRow("comma before spaces") << B(" , 5") << 5.0;
    QTest::newRow("comma in exponent") << B("1e,3") << 1000.0;
    QTest::newRow("accounting with commas") << B("(1,234.50)") << -1234.5;
    QTest::newRow("accounting of a negative") << B("(-5)") << d;
    QTest::newRow("accounting with a space") << B("( 5)") << d;
    QTest::newRow("accounting of a point") << B("(.)") << 0.0;
    QTest::newRow("accounting of a comma") << B("(,)") << d;
    QTest::newRow("open parenthesis only") << B("(5") << d;
    QTest::newRow("close parenthesis only") << B("5)") << d;
    QTest::newRow("space before parentheses") << B(" (5)") << d;
    QTest::newRow("space inside digits") << B("1 000") << d;
    QTest::newRow("spaces then sign then space") << B("  - 5") << d;
    QTest::newRow("Arabic letter") << B("\xD3") << d;
    QTest::newRow("NUL after digits") << B("1\0") << d;
    QTest::newRow("NUL inside digits") << B("1\0002") << d;
    QTest::newRow("exact power boundary") << B("123456789012345e22") << 123456789012345e22;
    QTest::newRow("small mantissa large power") << B("12e30") << 12e30;
    QTest::newRow("sixteen digits") << B("9007199254740993") << 9007199254740992.0;
}

void TestTextStrings::parseFloatDef()
{
    QFETCH(Bytes, s);
    QFETCH(double, value);
    const double got = ParseFloatDef(s, -77);
    QVERIFY2(SameDouble(got, value),
             qPrintable(QStringLiteral("%1 gave %2, expected %3")
                            .arg(QString::fromLatin1(Show(s)))
                            .arg(got, 0, 'g', 17)
                            .arg(value, 0, 'g', 17)));
}

// Random plain decimals, with and without commas, signs and exponents: the
// result must be the correctly rounded value, which from_chars gives.
void TestTextStrings::parseFloatDefMatchesCorrectRounding()
{
    std::mt19937_64 rng(20240601);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int mismatches = 0;
    QString firstMismatch;
    for (int i = 0; i < 200000; ++i) {
        std::string digits; // what from_chars reads
        const int intDigits = pick(0, 20);
        const int fracDigits = pick(0, intDigits == 0 ? 20 : 12);
        for (int k = 0; k < intDigits; ++k)
            digits.push_back(static_cast<char>('0' + pick(k == 0 ? 1 : 0, 9)));
        if (intDigits == 0)
            digits.push_back('0');
        if (fracDigits > 0 || pick(0, 3) == 0) {
            digits.push_back('.');
            for (int k = 0; k < fracDigits; ++k)
                digits.push_back(static_cast<char>('0' + pick(0, 9)));
        }
        if (pick(0, 2) == 0) {
            digits += 'e';
            digits += std::to_string(pick(-40, 40));
        }
        const bool negative = pick(0, 1) == 1;

        // The same number as a table cell might hold it.
        std::string cell;
        const int style = pick(0, 3);
        if (style == 1) {
            cell = (negative ? "(" : "") + digits + (negative ? ")" : "");
        } else {
            cell = (negative ? "-" : "") + digits;
        }
        if (style == 2) {
            // Thousands commas in the integer part.
            const std::size_t point = cell.find_first_of(".e");
            std::size_t pos = point == std::string::npos ? cell.size() : point;
            const std::size_t first = negative ? 1 : 0;
            while (pos > first + 3) {
                pos -= 3;
                cell.insert(pos, ",");
            }
        }
        if (style == 3)
            cell = "  " + cell;

        double expected = Reference(digits);
        if (negative)
            expected = -expected;
        const double got = ParseFloatDef(cell, -77);
        if (!SameDouble(got, expected) || std::signbit(got) != std::signbit(expected)) {
            if (expected == 0 && got == 0)
                continue; // the sign of a zero is not part of the contract
            if (mismatches++ == 0)
                firstMismatch = QString::fromStdString(cell);
        }
    }
    QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 mismatches, first %2").arg(mismatches).arg(firstMismatch)));
}

// Every double printed in shortest or full form reads back to itself.
void TestTextStrings::parseFloatDefRoundTripsDoubles()
{
    std::mt19937_64 rng(77);
    int mismatches = 0;
    for (int i = 0; i < 100000; ++i) {
        double v;
        const uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v))
            continue;
        char buf[64];
        const auto shortest = std::to_chars(buf, buf + sizeof buf, v);
        if (ParseFloatDef(std::string_view(buf, static_cast<std::size_t>(shortest.ptr - buf)), -77) != v)
            ++mismatches;
        const auto full = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 16);
        if (ParseFloatDef(std::string_view(buf, static_cast<std::size_t>(full.ptr - buf)), -77) != v)
            ++mismatches;
    }
    QCOMPARE(mismatches, 0);
}

void TestTextStrings::hugeInputsGiveTheirOutcome_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<double>("value");   // ParseFloatDef, default -77
    QTest::addColumn<int>("intValue");   // ParseIntDef, default 5
    QTest::addColumn<int>("tokenValue"); // TakeIntToken, default 5

    const std::size_t tenMb = 10u << 20;
    QTest::newRow("10 MB of digits overflows") << ("1" + Bytes(tenMb, '0')) << 0.0 << 5 << 0;
    QTest::newRow("10 MB of fraction underflows") << ("0." + Bytes(tenMb, '0') + "1") << 0.0 << 5 << 0;
    QTest::newRow("10 MB of commas") << (Bytes(tenMb, ',') + "42") << 42.0 << 42 << 42;
    QTest::newRow("10 MB of spaces then 1") << (Bytes(tenMb, ' ') + "1") << 1.0 << 1 << 1;
    QTest::newRow("10 MB of letters") << Bytes(tenMb, 'a') << -77.0 << 5 << 5;
    QTest::newRow("10 MB of NULs") << Bytes(tenMb, '\0') << -77.0 << 5 << 5;
    QTest::newRow("long exact decimal") << ("0." + Bytes(5000, '0') + "5e5000") << 0.5 << 5 << 0;
}

void TestTextStrings::hugeInputsGiveTheirOutcome()
{
    QFETCH(Bytes, s);
    QFETCH(double, value);
    QFETCH(int, intValue);
    QFETCH(int, tokenValue);
    QVERIFY(SameDouble(ParseFloatDef(s, -77), value));
    QCOMPARE(ParseIntDef(s, 5), intValue);
    std::string_view view = s;
    QCOMPARE(TakeIntToken(view, 5), tokenValue);
    QVERIFY(view.empty());
}

void TestTextStrings::parseIntDef_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<int>("value"); // the default is -77

    const int d = -77;
    QTest::newRow("decimal") << B("12") << 12;
    QTest::newRow("thousands comma") << B("1,000") << 1000;
    QTest::newRow("dollar hex") << B("$1F") << 31;
    QTest::newRow("fraction") << B("12.5") << d;
    QTest::newRow("empty") << B("") << d;
    QTest::newRow("leading spaces") << B("  7") << 7;
    QTest::newRow("trailing space") << B("7 ") << d;
    QTest::newRow("minus") << B("-7") << -7;
    QTest::newRow("plus") << B("+7") << 7;
    QTest::newRow("x hex lower") << B("x1f") << 31;
    QTest::newRow("X hex") << B("X1F") << 31;
    QTest::newRow("0x hex") << B("0x1F") << 31;
    QTest::newRow("0X hex mixed case") << B("0X1fA") << 506;
    QTest::newRow("negative hex") << B("-$10") << -16;
    QTest::newRow("spaced hex") << B(" $ff") << 255;
    QTest::newRow("dollar alone") << B("$") << d;
    QTest::newRow("0x alone") << B("0x") << d;
    QTest::newRow("x alone") << B("x") << d;
    QTest::newRow("zero") << B("0") << 0;
    QTest::newRow("leading zeros") << B("00012") << 12;
    QTest::newRow("int max") << B("2147483647") << 2147483647;
    QTest::newRow("int max + 1") << B("2147483648") << d;
    QTest::newRow("int min") << B("-2147483648") << int(INT32_MIN);
    QTest::newRow("int min - 1") << B("-2147483649") << d;
    QTest::newRow("hex max") << B("$7FFFFFFF") << 2147483647;
    QTest::newRow("hex beyond int") << B("$80000000") << d;
    QTest::newRow("hex all ones") << B("$FFFFFFFF") << d;
    QTest::newRow("negative hex min") << B("-$80000000") << int(INT32_MIN);
    QTest::newRow("twenty nines") << B("99999999999999999999") << d;
    QTest::newRow("many leading zeros") << (Bytes(40, '0') + "5") << 5;
    QTest::newRow("long hex") << B("$10000000000000000001") << d;
    QTest::newRow("exponent") << B("1e3") << d;
    QTest::newRow("double sign") << B("--5") << d;
    QTest::newRow("sign after dollar") << B("$-5") << d;
    QTest::newRow("bad hex digit") << B("$G") << d;
    QTest::newRow("binary prefix") << B("0b1") << d;
    QTest::newRow("parentheses") << B("(5)") << d;
    QTest::newRow("space after sign") << B("- 5") << d;
    QTest::newRow("word") << B("abc") << d;
    QTest::newRow("commas only") << B(",,") << d;
    QTest::newRow("doubled comma") << B("1,,2") << 12;
    QTest::newRow("comma inside prefix") << B("0,x1F") << 31;
    QTest::newRow("TAB") << B("\t5") << d;
    QTest::newRow("NUL") << B("5\0") << d;
    QTest::newRow("Persian digit byte") << B("\xB1") << d;
}

void TestTextStrings::parseIntDef()
{
    QFETCH(Bytes, s);
    QFETCH(int, value);
    QCOMPARE(ParseIntDef(s, -77), value);
}

void TestTextStrings::parseInt64Def_data()
{
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<qint64>("value");
    const qint64 d = -77;
    QTest::newRow("32-bit largest") << B("2147483647") << qint64(2147483647);
    QTest::newRow("beyond 32 bits") << B("5,000,000,000") << qint64(5000000000);
    QTest::newRow("64-bit largest") << B("9223372036854775807") << std::numeric_limits<qint64>::max();
    QTest::newRow("64-bit smallest") << B("-9223372036854775808") << std::numeric_limits<qint64>::min();
    QTest::newRow("one beyond") << B("9223372036854775808") << d;
    QTest::newRow("one below") << B("-9223372036854775809") << d;
    QTest::newRow("very long") << B("123456789012345678901234567890") << d;
    QTest::newRow("hex") << B("$7FFFFFFFFFFFFFFF") << std::numeric_limits<qint64>::max();
    QTest::newRow("hex beyond") << B("0x8000000000000000") << d;
    QTest::newRow("sign and spaces") << B("  -12") << qint64(-12);
    QTest::newRow("trailing letter") << B("12a") << d;
    QTest::newRow("empty") << B("") << d;
}

void TestTextStrings::parseInt64Def()
{
    QFETCH(Bytes, s);
    QFETCH(qint64, value);
    QCOMPARE(ParseInt64Def(s, -77), value);
}

void TestTextStrings::hotPathsDoNotAllocate()
{
    const std::string line = "  1,234.50 (12) 7 -3.25e2 12345678901234567 0.1 \xD3\xE1\xC7\xE3\t9";
    const std::string cells[] = {
        "1,234.5", "(12)", " 7", "", "abc", "0.000123", "123456789.25", "1e400", "12345678901234567890.5"};
    volatile double sink = 0;
    const long before = allocations.load();
    for (const std::string& c : cells)
        sink = sink + ParseFloatDef(c, 0) + ParseIntDef(c, 0);
    std::string_view v = line;
    while (!v.empty())
        sink = sink + TakeIntToken(v, 0);
    v = line;
    while (!v.empty())
        sink = sink + TakeFloatToken(v, 0) + TakeFlagToken(v);
    v = line;
    while (!v.empty())
        sink = sink + static_cast<double>(TakeToken(v, " ", true).size());
    sink = sink + static_cast<double>(TrimSpacesView(line).size());
    QCOMPARE(allocations.load() - before, 0L);
}

// ---------------------------------------------------------------- cleaning

void TestTextStrings::cleaning_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<Bytes>("s");
    QTest::addColumn<Bytes>("result");

    QTest::newRow("trim keeps TAB") << "trim" << B("\tx ") << B("\tx");
    QTest::newRow("trim both ends") << "trim" << B("  a b  ") << B("a b");
    QTest::newRow("trim spaces only") << "trim" << B("   ") << B("");
    QTest::newRow("trim empty") << "trim" << B("") << B("");
    QTest::newRow("trim keeps no-break space") << "trim" << B("\xA0x\xA0") << B("\xA0x\xA0");
    // Fixed-width fields: padding read eight bytes at a time.
    QTest::newRow("trim long padding") << "trim" << B("          a b  c             ") << B("a b  c");
    QTest::newRow("trim sixteen spaces after") << "trim" << Bytes("\xE3\xCD" + std::string(16, ' ')) << B("\xE3\xCD");
    QTest::newRow("trim eight spaces before") << "trim" << Bytes(std::string(8, ' ') + "x") << B("x");
    QTest::newRow("trim seventeen spaces only") << "trim" << Bytes(std::string(17, ' ')) << B("");
    QTest::newRow("trim inner spaces near the end") << "trim" << B("abcdefgh ijklmno  p ") << B("abcdefgh ijklmno  p");
    QTest::newRow("collapse runs") << "collapse" << B("a  b   c") << B("a b c");
    QTest::newRow("collapse at ends") << "collapse" << B("  a  ") << B(" a ");
    QTest::newRow("collapse leaves TABs") << "collapse" << B("a\t\tb") << B("a\t\tb");
    QTest::newRow("collapse all spaces") << "collapse" << B("    ") << B(" ");
    QTest::newRow("remove char") << "char" << B("\x98k\x98\x90") << B("k\x90");
    QTest::newRow("remove NUL") << "nul" << B("a\0b\0") << B("ab");
}

void TestTextStrings::cleaning()
{
    QFETCH(QString, op);
    QFETCH(Bytes, s);
    QFETCH(Bytes, result);
    Bytes got;
    if (op == "trim") {
        got = TrimSpaces(s);
        QCOMPARE(Show(Bytes(TrimSpacesView(s))), Show(result));
    } else if (op == "collapse") {
        got = CollapseDoubleSpaces(s);
    } else if (op == "char") {
        got = RemoveChar('\x98', s);
    } else if (op == "nul") {
        got = RemoveChar('\0', s);
    }
    QCOMPARE(Show(got), Show(result));
}

void TestTextStrings::removeCharSet()
{
    // Control characters and the direction marks, as a header filter would hold them.
    const CharSet m = MakeCharSet({{0, 31}, {253, 255}});
    QCOMPARE(Show(RemoveCharSet(m,
                                B("a\tb\xFD"
                                  "c\xFE\r\n\0d"))),
             Show(B("abcd")));
    QCOMPARE(Show(RemoveCharSet(m, B("\xFC \xE1"))), Show(B("\xFC \xE1")));
    QCOMPARE(Show(RemoveCharSet(CharSet(), B("x\0y"))), Show(B("x\0y")));
    // Ranges outside 0..255 are clipped, not an error.
    const CharSet clipped = MakeCharSet({{-5, 0}, {255, 300}});
    QCOMPARE(static_cast<int>(clipped.count()), 2);
}

void TestTextStrings::paths_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<Bytes>("path");
    QTest::addColumn<Bytes>("result");

    QTest::newRow("trailing added") << "trailing" << B("/data") << B("/data/");
    QTest::newRow("trailing kept") << "trailing" << B("/data/") << B("/data/");
    QTest::newRow("trailing empty stays empty") << "trailing" << B("") << B("");
    QTest::newRow("trailing relative") << "trailing" << B("a") << B("a/");
    QTest::newRow("trailing keeps doubles") << "trailing" << B("/a//b") << B("/a//b/");
    QTest::newRow("normalize doubled") << "normalize" << B("/data//sub") << B("/data/sub/");
    QTest::newRow("normalize leading double") << "normalize" << B("//server/share") << B("/server/share/");
    QTest::newRow("normalize run of three") << "normalize" << B("/a///b/") << B("/a/b/");
    QTest::newRow("normalize empty") << "normalize" << B("") << B("/");
    QTest::newRow("normalize clean") << "normalize" << B("/a/b/") << B("/a/b/");
    QTest::newRow("normalize backslash is a name byte") << "normalize" << B("/a\\b") << B("/a\\b/");
    QTest::newRow("normalize Persian name") << "normalize" << B("/\xCC\xCF\xE6\xE1//") << B("/\xCC\xCF\xE6\xE1/");
}

void TestTextStrings::paths()
{
    QFETCH(QString, op);
    QFETCH(Bytes, path);
    QFETCH(Bytes, result);
    const Bytes got = op == "trailing" ? WithTrailingBackslash(path) : NormalizeFolder(path);
    QCOMPARE(Show(got), Show(result));
}

QTEST_GUILESS_MAIN(TestTextStrings)
#include "test_text_strings.moc"
