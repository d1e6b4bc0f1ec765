// "Sum Of Current Column": the total shown for a column.
#include "GridHelpers.h"

#include "table/ColumnSum.h"

#include <QObject>
#include <QTest>

#include <cmath>
#include <limits>

using namespace rasmik;
using namespace testgrid;

class TestSum : public QObject {
    Q_OBJECT
private slots:
    void columnTotal_data()
    {
        QTest::addColumn<QByteArray>("cells"); // rows of column 1, from row 0
        QTest::addColumn<QString>("shown");
        QTest::newRow("commas, parentheses, words") << QByteArray("1,234.50|(100)|abc|12") << "1,146.5";
        QTest::newRow("words only") << QByteArray("a|b|c") << "0";
        QTest::newRow("empty fields") << QByteArray(" | | ") << "0";
        QTest::newRow("quarters") << QByteArray("0.25|0.25") << "0.5";
        QTest::newRow("halves") << QByteArray("0.5|0.5") << "1";
        QTest::newRow("two decimals") << QByteArray("1234567.891") << "1,234,567.89";
        QTest::newRow("negative with comma") << QByteArray("-1234.5") << "-1,234.5";
        QTest::newRow("negative, three digits") << QByteArray("-123") << "-123";
        QTest::newRow("six digits") << QByteArray("123456") << "123,456";
        QTest::newRow("negative six digits") << QByteArray("-123456") << "-123,456";
        QTest::newRow("row 0 counts") << QByteArray("1402|1") << "1,403";
        QTest::newRow("number then a space adds nothing") << QByteArray("12 |5") << "5";
        QTest::newRow("leading spaces read") << QByteArray("  7|1") << "8";
        QTest::newRow("number then a letter adds nothing") << QByteArray("12kg|5") << "5";
        QTest::newRow("exponent") << QByteArray("1e3|2") << "1,002";
        QTest::newRow("tenths that do not add up exactly") << QByteArray("0.1|0.2") << "0.3";
    }
    void columnTotal()
    {
        QFETCH(QByteArray, cells);
        QFETCH(QString, shown);
        QByteArray text;
        for (const auto& c : cells.split('|'))
            text += "x|" + c + "\n";
        text.chop(1);
        const CoreGrid g = makeGrid(text);
        QCOMPARE(QString::fromStdString(FormatGroupedNumber(SumColumn(g, 1))), shown);
        QCOMPARE(SumColumn(g, 0), 0.0);
        QCOMPARE(SumColumn(g, 2), 0.0);
    }

    void format_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("rounds to zero") << -0.001 << "0";
        QTest::newRow("12.50") << 12.5 << "12.5";
        QTest::newRow("12.00") << 12.0 << "12";
        QTest::newRow("half cent up") << 1.005 << "1.01";
        QTest::newRow("carry into a new group") << 999.999 << "1,000";
        QTest::newRow("negative carry") << -999999.996 << "-1,000,000";
        QTest::newRow("small") << 0.07 << "0.07";
        QTest::newRow("seven digits") << 1234567.0 << "1,234,567";
        QTest::newRow("fifteen digits") << 123456789012345.0 << "123,456,789,012,345";
        QTest::newRow("beyond fifteen digits") << 123456789012345678.0 << "123,456,789,012,346,000";
        QTest::newRow("huge") << 1.5e20 << "150,000,000,000,000,000,000";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "INF";
        QTest::newRow("minus infinite") << -std::numeric_limits<double>::infinity() << "-INF";
        QTest::newRow("not a number") << std::nan("") << "NAN";
    }
    void format()
    {
        QFETCH(double, x);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(FormatGroupedNumber(x)), text);
    }
};

QObject* makeSumTests()
{
    return new TestSum;
}

#include "test_sum.moc"
