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
    }
}

QTEST_APPLESS_MAIN(TestDisplayShaping)
#include "tst_DisplayShaping.moc"
