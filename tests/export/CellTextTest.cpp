// The text a number shows in a cell: General, the common formats, dates and
// times, by format code as workbooks hold them.

#include "export/CellText.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace rasmik;

class TestCellText : public QObject {
    Q_OBJECT

private slots:
    void general_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << "0.3";
        QTest::newRow("a third") << 1.0 / 3 << "0.333333333333333";
        QTest::newRow("integer") << 42.0 << "42";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("negative") << -2.5 << "-2.5";
        QTest::newRow("15 digits") << 123456789012345.0 << "123456789012345";
        QTest::newRow("16 digits") << 1234567890123456.0 << "1.23456789012346E+15";
        QTest::newRow("large") << 1e20 << "1E+20";
        QTest::newRow("small") << 1e-7 << "1E-07";
        QTest::newRow("smallest fixed") << 0.00001 << "0.00001";
        QTest::newRow("exponent of three digits") << 1.5e-300 << "1.5E-300";
        QTest::newRow("round trip") << 1.1 << "1.1";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "#NUM!";
    }
    void general()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        std::string out;
        AppendGeneralNumber(out, value);
        QCOMPARE(QString::fromStdString(out), text);
    }

    void formatted_data()
    {
        QTest::addColumn<QString>("code"); // a format code, or "#N" for built-in format N
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << "0" << 1234.567 << false << "1235";
        QTest::newRow("0.00") << "0.00" << 1234.567 << false << "1234.57";
        QTest::newRow("0.00 of 2.675, as shown with 15 digits") << "0.00" << 2.675 << false << "2.68";
        QTest::newRow("0.00 keeps zeros") << "0.00" << 3.0 << false << "3.00";
        QTest::newRow("#,##0") << "#,##0" << 1234567.891 << false << "1,234,568";
        QTest::newRow("#,##0.00 negative") << "#,##0.00" << -1234567.891 << false << "-1,234,567.89";
        QTest::newRow("#,##0 below a thousand") << "#,##0" << 999.4 << false << "999";
        QTest::newRow("rounds up past a thousand") << "#,##0" << 999.5 << false << "1,000";
        QTest::newRow("0 of a small negative") << "0" << -0.4 << false << "0";
        QTest::newRow("0%") << "0%" << 0.256 << false << "26%";
        QTest::newRow("0.00%") << "0.00%" << 0.25678 << false << "25.68%";
        QTest::newRow("0.0# drops a zero") << "0.0#" << 1.5 << false << "1.5";
        QTest::newRow("0.0# keeps two") << "0.0#" << 1.256 << false << "1.26";
        QTest::newRow("negative section ignored") << "#,##0;(#,##0)" << -1500.0 << false << "-1,500";
        QTest::newRow("currency sign dropped") << "\"$\"#,##0.00" << 12.5 << false << "12.50";
        QTest::newRow("colour") << "[Red]0.0" << 2.25 << false << "2.3";
        QTest::newRow("General") << "General" << 0.5 << false << "0.5";
        QTest::newRow("scientific as General") << "0.00E+00" << 12345.0 << false << "12345";
        QTest::newRow("fraction as General") << "# ?/?" << 1.5 << false << "1.5";
        QTest::newRow("text format") << "@" << 12.0 << false << "12";
        QTest::newRow("built-in 1") << "#1" << 2.5 << false << "3";
        QTest::newRow("built-in 4") << "#4" << 1234.5 << false << "1,234.50";
        QTest::newRow("built-in 10") << "#10" << 0.5 << false << "50.00%";
        QTest::newRow("built-in 14") << "#14" << 45371.0 << false << "2024-03-20";
        QTest::newRow("built-in 22") << "#22" << 45371.6041666667 << false << "2024-03-20 14:30";
        QTest::newRow("built-in 20") << "#20" << 0.6041666667 << false << "14:30";
        QTest::newRow("built-in 21") << "#21" << 0.60422453703 << false << "14:30:05";
        QTest::newRow("built-in 46, past a day") << "#46" << 1.5 << false << "36:00:00";
        QTest::newRow("East Asian built-in date") << "#31" << 45371.0 << false << "2024-03-20";
        QTest::newRow("yyyy-mm-dd") << "yyyy-mm-dd" << 45371.0 << false << "2024-03-20";
        QTest::newRow("d/m/yy") << "d/m/yy" << 45371.0 << false << "2024-03-20";
        QTest::newRow("mmmm d, yyyy with a locale") << "[$-409]mmmm d, yyyy;@" << 45371.0 << false << "2024-03-20";
        QTest::newRow("h:mm is minutes") << "h:mm" << 0.6041666667 << false << "14:30";
        QTest::newRow("mm:ss is minutes") << "mm:ss" << 0.0104166667 << false << "00:15:00";
        QTest::newRow("hh:mm AM/PM") << "hh:mm AM/PM" << 0.6041666667 << false << "14:30";
        QTest::newRow("dd/mm/yyyy hh:mm:ss")
            << "dd/mm/yyyy hh:mm:ss" << 45371.60422453703 << false << "2024-03-20 14:30:05";
        QTest::newRow("quoted letters are no date") << "0\" days\"" << 3.0 << false << "3";
        QTest::newRow("1904") << "yyyy-mm-dd" << 43909.0 << true << "2024-03-20";
        QTest::newRow("1904 day 0") << "yyyy-mm-dd" << 0.0 << true << "1904-01-01";
        QTest::newRow("Excel's 29 February 1900") << "yyyy-mm-dd" << 60.0 << false << "1900-02-29";
        QTest::newRow("1 March 1900") << "yyyy-mm-dd" << 61.0 << false << "1900-03-01";
        QTest::newRow("28 February 1900") << "yyyy-mm-dd" << 59.0 << false << "1900-02-28";
        QTest::newRow("Excel's day 0") << "yyyy-mm-dd" << 0.0 << false << "1900-01-00";
        QTest::newRow("time rounds to the next day")
            << "yyyy-mm-dd hh:mm" << 45371.99999999 << false << "2024-03-21 00:00";
        QTest::newRow("negative: no date") << "yyyy-mm-dd" << -1.0 << false << "-1";
        QTest::newRow("past 9999: no date") << "yyyy-mm-dd" << 3e6 << false << "3000000";
    }
    void formatted()
    {
        QFETCH(QString, code);
        QFETCH(double, value);
        QFETCH(bool, date1904);
        QFETCH(QString, text);
        const NumberFormat f = code.startsWith('#') && code.size() > 1 && code[1].isDigit()
            ? BuiltInNumberFormat(code.mid(1).toInt())
            : NumberFormatOfCode(code.toStdString());
        std::string out;
        AppendFormattedNumber(out, value, f, date1904);
        QCOMPARE(QString::fromStdString(out), text);
    }

    void escapes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << "plain"
                              << "plain";
        QTest::newRow("control character") << "a_x0009_b"
                                           << "a\tb";
        QTest::newRow("escaped underscore") << "_x005F_x0041_"
                                            << "_x0041_";
        QTest::newRow("Persian letter") << "_x0633_" << QStringLiteral("س");
        QTest::newRow("not hex") << "_x00G1_"
                                 << "_x00G1_";
        QTest::newRow("cut short") << "_x004"
                                   << "_x004";
        QTest::newRow("lone surrogate") << "_xD800_" << QString(QChar(0xFFFD));
        QTest::newRow("NUL dropped") << "a_x0000_b"
                                     << "ab";
    }
    void escapes()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        std::string text = stored.toStdString();
        DecodeXlsxEscapes(text);
        QCOMPARE(QString::fromStdString(text), shown);
    }
};

QTEST_GUILESS_MAIN(TestCellText)
#include "CellTextTest.moc"
