// Display shaping of Iran System cells: visual-order glyph codes in, logical
// Windows-1256 out.

#include "render/DisplayShaping.h"

#include <QtTest>

#include <string>

using namespace rasmik;

namespace {

std::string_view view(const QByteArray& b)
{
    return std::string_view(b.constData(), b.size());
}
QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TestDisplayShaping : public QObject {
    Q_OBJECT
private slots:
    void shape_data();
    void shape();
    void boxDrawingBecomesNumberSign();
    void steps_data();
    void steps();
    void reverseRange_data();
    void reverseRange();
};

void TestDisplayShaping::shape_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("word in visual order") << QByteArray("\xF4\x91\xF3\xA8") << QByteArray("\xD3\xE1\xC7\xE3");
    QTest::newRow("word in parentheses") << QByteArray("\x28\xF4\x91\xF3\xA8\x29")
                                         << QByteArray("\x28\x20\xD3\xE1\xC7\xE3\x20\x29");
    QTest::newRow("number in parentheses") << QByteArray("\x28\x81\x82\x29") << QByteArray("\x29\x31\x32\x28");
    QTest::newRow("Persian digits") << QByteArray("\x81\x82") << QByteArray("12");
    QTest::newRow("lam-alef") << QByteArray("\xF2") << QByteArray("\xE1\xC7");
    QTest::newRow("lam-alef between letters") << QByteArray("\xF4\xF2\xA8") << QByteArray("\xD3\xE1\xC7\xE3");
    QTest::newRow("ASCII only") << QByteArray("Hello World 42") << QByteArray("Hello World 42");
    QTest::newRow("ASCII trimmed and collapsed") << QByteArray("  a   b  c ") << QByteArray("a b c");
    QTest::newRow("ASCII parentheses swap") << QByteArray("f(x)") << QByteArray("f)x(");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("spaces") << QByteArray("    ") << QByteArray("");
    QTest::newRow("tabs at the ends") << QByteArray("\t\x81\x82\t") << QByteArray("12");
    QTest::newRow("tab inside stays") << QByteArray("\xF4\t\xA8") << QByteArray("\xD3\t\xE3");
    QTest::newRow("control bytes at the ends") << QByteArray("\x01\xF4\x1f") << QByteArray("\xE3");
    QTest::newRow("number beside a word")
        << QByteArray("\x81\x82 \xF4\x91\xF3\xA8") << QByteArray("\xD3\xE1\xC7\xE3 12");
    QTest::newRow("Latin beside a word") << QByteArray("ab \xF4") << QByteArray("\xE3 ab");
    QTest::newRow("double spaces between words") << QByteArray("\xF4  \xA8") << QByteArray("\xD3 \xE3");
    QTest::newRow("hamza and yeh") << QByteArray("\x8F\xFC") << QByteArray("\xED\xC1");
    QTest::newRow("0xFF stays") << QByteArray("\xFF") << QByteArray("\xFF");
}

void TestDisplayShaping::shape()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, shown);
    QCOMPARE(bytes(ShapeDisplayText(view(stored))), shown);
    // The buffer form gives the same, whatever the buffer held before.
    std::string out = "left over";
    ShapeDisplayText(view(stored), out);
    QCOMPARE(bytes(out), shown);
}

void TestDisplayShaping::boxDrawingBecomesNumberSign()
{
    for (int b = 0xB0; b <= 0xDF; ++b) {
        const std::string stored(1, static_cast<char>(b));
        QCOMPARE(bytes(ShapeDisplayText(stored)), QByteArray("#"));
        QCOMPARE(bytes(MapIranSystem(stored)), QByteArray("#"));
    }
}

void TestDisplayShaping::steps_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("reversed");
    QTest::addColumn<QByteArray>("mapped");
    QTest::addColumn<QByteArray>("restored");
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("one byte") << QByteArray("a") << QByteArray("a") << QByteArray("a") << QByteArray("a");
    QTest::newRow("mixed") << QByteArray("ab\x90(12)\xF2xy")
                           << QByteArray("yx\xF2)21(\x90"
                                         "ba")
                           << QByteArray("ab\xC7)12(\xE1\xC7xy") << QByteArray("ba\x90)21(\xF2yx");
    QTest::newRow("digits are ASCII runs")
        << QByteArray("\x80\x89") << QByteArray("\x89\x80") << QByteArray("09") << QByteArray("\x80\x89");
}

// Each step on its own; "mapped" is MapIranSystem of the text, "restored" is
// RestoreLatinRuns of the text.
void TestDisplayShaping::steps()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, reversed);
    QFETCH(QByteArray, mapped);
    QFETCH(QByteArray, restored);
    QCOMPARE(bytes(ReverseText(view(text))), reversed);
    QCOMPARE(bytes(MapIranSystem(view(text))), mapped);
    QCOMPARE(bytes(RestoreLatinRuns(view(text))), restored);
}

void TestDisplayShaping::reverseRange_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("whole") << QByteArray("abcdef") << 1 << 6 << QByteArray("fedcba");
    QTest::newRow("middle, odd length") << QByteArray("abcdef") << 2 << 4 << QByteArray("adcbef");
    QTest::newRow("middle, even length") << QByteArray("abcdef") << 3 << 6 << QByteArray("abfedc");
    QTest::newRow("one position") << QByteArray("abc") << 2 << 2 << QByteArray("abc");
    QTest::newRow("b before a") << QByteArray("abc") << 3 << 1 << QByteArray("abc");
    QTest::newRow("beyond the end") << QByteArray("abc") << 2 << 10 << QByteArray("acb");
    QTest::newRow("before the start") << QByteArray("abc") << -3 << 2 << QByteArray("bac");
    QTest::newRow("empty text") << QByteArray() << 1 << 1 << QByteArray();
}

void TestDisplayShaping::reverseRange()
{
    QFETCH(QByteArray, text);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(QByteArray, result);
    std::string s(view(text));
    ReverseRange(s, a, b);
    QCOMPARE(bytes(s), result);
}

QTEST_APPLESS_MAIN(TestDisplayShaping)
#include "tst_DisplayShaping.moc"
