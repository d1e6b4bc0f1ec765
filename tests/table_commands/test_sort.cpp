// "Sort Ascending" and "Sort Descending": which rows go where.
#include "GridHelpers.h"

#include "table/SortRows.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QObject>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

class TestSort : public QObject {
    Q_OBJECT
private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "42" << true << 42.0;
        QTest::newRow("spaces") << "  7 " << true << 7.0;
        QTest::newRow("thousands") << "1,234.50" << true << 1234.5;
        QTest::newRow("minus") << "-7" << true << -7.0;
        QTest::newRow("parentheses") << "(1,336,000)" << true << -1336000.0;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("persian digits") << "۱۲٬۳۴۵٫۵" << true << 12345.5;
        QTest::newRow("arabic-indic digits") << "-٣" << true << -3.0;
        QTest::newRow("unit") << "12 kg" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
        QTest::newRow("comma at the end") << "12," << false << 0.0;
        QTest::newRow("comma first") << ",12" << false << 0.0;
        QTest::newRow("sign alone") << "-" << false << 0.0;
        QTest::newRow("word") << "nan" << false << 0.0;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const QByteArray utf8 = text.toUtf8();
        double got = 0;
        QCOMPARE(ReadSortNumber(b(utf8), TextEncoding::Utf8, got), isNumber);
        if (isNumber)
            QCOMPARE(got, value);
    }

    // Column 1 of rows 1..n; the expected column after the sort.
    void order_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<QString>("sorted");
        QTest::newRow("numbers by value") << false << false << "10|9|-3|(20)|1,000"
                                          << "(20)|-3|9|10|1,000";
        QTest::newRow("numbers, then texts, then empty") << false << false << "b| |3|a|1"
                                                         << "1|3|a|b| ";
        QTest::newRow("descending: texts, numbers, empty") << false << true << "b| |3|a|1"
                                                           << "b|a|3|1| ";
        QTest::newRow("latin case folded") << false << false << "beta|Alpha|alpha|Beta"
                                           << "Alpha|alpha|beta|Beta";
        QTest::newRow("persian alphabet") << false << false << "ژاله|پری|زهره|بابک|آرش"
                                          << "آرش|بابک|پری|زهره|ژاله";
        // Arabic and Persian kaf and yeh weigh the same; their bytes decide, as in "Values".
        QTest::newRow("persian in utf-8, yeh and kaf") << true << false << "یاس|کیان|گل|ياس|كيان"
                                                       << "كيان|کیان|گل|ياس|یاس";
        QTest::newRow("persian digits in utf-8") << true << false << "۱۰|۹|2"
                                                 << "2|۹|۱۰";
        QTest::newRow("stable when equal") << false << true << "x|X|y|x"
                                           << "y|x|X|x";
    }
    void order()
    {
        QFETCH(bool, utf8);
        QFETCH(bool, descending);
        QFETCH(QString, cells);
        QFETCH(QString, sorted);
        const auto bytes = [utf8](const QString& s) { return utf8 ? s.toUtf8() : w(s.toUtf8().constData()); };
        // Each row also keeps its number in column 0, to check that rows move whole.
        const QStringList values = cells.split('|');
        QByteArray text = "No|Value";
        for (int i = 0; i < values.size(); ++i)
            text += "\n" + QByteArray::number(i + 1) + "|" + bytes(values[i]);
        CoreGrid grid = makeGrid(text);
        grid.SetEncoding(utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256);
        const std::vector<int> order = SortedRowOrder(grid, 1, descending);
        grid.PermuteRows(1, order);
        QByteArray got;
        for (int r = 1; r < grid.RowCount(); ++r) {
            got += (r > 1 ? "|" : "") + q(std::string(grid.Cell(1, r)));
            QCOMPARE(grid.Cell(0, r), std::string_view(std::to_string(order[static_cast<std::size_t>(r - 1)])));
        }
        QCOMPARE(got, bytes(sorted));
        QCOMPARE(q(std::string(grid.Cell(1, 0))), QByteArray("Value"));
    }

    // Rows laid out from a table view its bytes; they move with their lines.
    void laidOutRowsMove()
    {
        TableLines lines = TableLines::FromBytes(std::string("h\tk\r\nc\t3\r\na\t1\r\nb\t2\r\n"));
        CoreGrid grid;
        QVERIFY(LayoutGridCells(grid, lines, ""));
        const std::vector<int> order = SortedRowOrder(grid, 0, false);
        QCOMPARE(order, (std::vector<int>{2, 3, 1}));
        grid.PermuteRows(1, order);
        QCOMPARE(gridText(grid), QByteArray("h|k\na|1\nb|2\nc|3"));
        // Back again with the inverse order.
        grid.PermuteRows(1, {3, 1, 2});
        QCOMPARE(gridText(grid), QByteArray("h|k\nc|3\na|1\nb|2"));
    }
};

QObject* makeSortTests()
{
    return new TestSort;
}

#include "test_sort.moc"
