// "Sort Ascending" and "Sort Descending": which rows go where.
#include "GridHelpers.h"

#include "table/ColumnExtract.h"
#include "table/SortRows.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QObject>
#include <QTest>

#include <algorithm>
#include <random>

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

    // A table large enough to be read on two threads: the order is a
    // permutation, and each row goes before the next by kind (numbers,
    // texts, empty cells), then by value, then by row.
    void largeTableOnTwoThreads_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("descending");
        QTest::newRow("windows-1256 ascending") << false << false;
        QTest::newRow("windows-1256 descending") << false << true;
        QTest::newRow("utf-8 ascending") << true << false;
        QTest::newRow("utf-8 descending") << true << true;
    }
    void largeTableOnTwoThreads()
    {
        QFETCH(bool, utf8);
        QFETCH(bool, descending);
        const TextEncoding held = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256;
        QStringList pool = {"12",    "(3,400)", "-7.5", "1,000", "12",   " ",       "",
                            "Alpha", "alpha",   "beta", "Beta",  "زهره", "زهرا",    "یاس",
                            "ياس",   "کیان",    "كيان", "گل",    "آرش",  "بابک 12", "x-1"};
        if (utf8)
            pool << "۴۵"
                 << "٣٫٥"
                 << "emoji 🙂";
        std::mt19937 random(1400);
        constexpr int Rows = 120'001;
        CoreGrid grid;
        grid.Reset(1, Rows);
        grid.SetEncoding(held);
        grid.SetCell(0, 0, "Value");
        for (int r = 1; r < Rows; ++r) {
            const QString v = pool[static_cast<int>(random() % static_cast<unsigned>(pool.size()))];
            grid.SetCell(0, r, b(utf8 ? v.toUtf8() : w(v.toUtf8().constData())));
        }
        const std::vector<int> order = SortedRowOrder(grid, 0, descending);
        QCOMPARE(order.size(), static_cast<std::size_t>(Rows - 1));
        std::vector<int> rows = order;
        std::sort(rows.begin(), rows.end());
        for (int r = 1; r < Rows; ++r)
            QCOMPARE(rows[static_cast<std::size_t>(r - 1)], r);

        const PersianCollator collator(held);
        enum Kind { Number, Text, Empty };
        const auto kindOf = [&](int row, double& value) {
            const std::string_view cell = grid.Cell(0, row);
            if (cell.find_first_not_of(' ') == std::string_view::npos)
                return Empty;
            return ReadSortNumber(cell, held, value) ? Number : Text;
        };
        // Ascending: numbers, texts, empty; descending: texts, numbers, empty.
        const auto place = [descending](Kind k) { return k == Empty ? 2 : (descending ? 1 - k : k); };
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            const int a = order[i];
            const int b = order[i + 1];
            double va = 0, vb = 0;
            const Kind ka = kindOf(a, va);
            const Kind kb = kindOf(b, vb);
            int c = place(ka) - place(kb);
            if (c == 0 && ka != Empty) {
                if (ka == Number)
                    c = va < vb ? -1 : (va > vb ? 1 : 0);
                else
                    c = collator.compare(grid.Cell(0, a), grid.Cell(0, b));
                if (descending)
                    c = -c;
            }
            if (c == 0)
                c = a < b ? -1 : 1;
            QVERIFY2(c < 0,
                     qPrintable(QString("row %1 (%2) before row %3 (%4)")
                                    .arg(a)
                                    .arg(QString::fromStdString(std::string(grid.Cell(0, a))))
                                    .arg(b)
                                    .arg(QString::fromStdString(std::string(grid.Cell(0, b))))));
        }
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
