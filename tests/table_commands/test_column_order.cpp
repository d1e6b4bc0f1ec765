// The column order memory: keys, applying a remembered order, "Option.cfg".
#include "GridHelpers.h"

#include "table/ColumnOrder.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <set>

using namespace rasmik;
using namespace testgrid;

namespace {

// The grid after the remembered order of saved (a grid in the order the user
// left it) is applied to loaded.
QByteArray applySaved(const QByteArray& saved, const QByteArray& loaded)
{
    QTemporaryDir dir;
    std::vector<std::string> orders;
    SaveColOrder(makeGrid(saved), orders, path(dir, "Option.cfg"));
    CoreGrid g = makeGrid(loaded);
    ApplyColumnOrder(g, orders);
    return gridText(g);
}

} // namespace

class TestColumnOrder : public QObject {
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("Name, Id") << QByteArray("Name|Id") << QByteArray("4944_4E414D45_") << QByteArray("NAME\tID\t");
        QTest::newRow("spaces and case") << QByteArray("i d|na Me") << QByteArray("4944_4E414D45_")
                                         << QByteArray("ID\tNAME\t");
        QTest::newRow("repeated name") << QByteArray("b|a|b") << QByteArray("41_42_42_") << QByteArray("B\tA\tB\t");
        QTest::newRow("empty header cell") << QByteArray(" |a") << QByteArray("_41_") << QByteArray("\tA\t");
        QTest::newRow("Persian bytes unchanged")
            << QByteArray("\xE4\xC7\xE3|z") << QByteArray("5A_E4C7E3_") << QByteArray("\xE4\xC7\xE3\tZ\t");
        QTest::newRow("prefix first") << QByteArray("AB|A") << QByteArray("41_4142_") << QByteArray("AB\tA\t");
        QTest::newRow("underscore after letters") << QByteArray("_|z") << QByteArray("5A_5F_") << QByteArray("_\tZ\t");
    }
    void names()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const CoreGrid g = makeGrid(header + "\n1|2");
        QCOMPARE(q(ColumnOrderKey(g)), key);
        QCOMPARE(q(ColumnOrderValue(g)), value);
    }

    void apply_data()
    {
        QTest::addColumn<QByteArray>("saved");  // the grid when "Save Col Order" ran
        QTest::addColumn<QByteArray>("loaded"); // a table laid out later
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("id first") << QByteArray("Id|Name") << QByteArray("Name|Id\nali|1")
                                  << QByteArray("Id|Name\n1|ali");
        QTest::newRow("other spelling, same key")
            << QByteArray("Id|Name") << QByteArray("na me|id\nali|1") << QByteArray("id|na me\n1|ali");
        QTest::newRow("already in order")
            << QByteArray("Id|Name") << QByteArray("id|na me\n1|ali") << QByteArray("id|na me\n1|ali");
        QTest::newRow("another set of names")
            << QByteArray("Id|Name") << QByteArray("Name|Id|Date\nali|1|d") << QByteArray("Name|Id|Date\nali|1|d");
        QTest::newRow("repeated names keep every column")
            << QByteArray("B|A|A") << QByteArray("A|B|A\nx1|y|x2") << QByteArray("B|A|A\ny|x1|x2");
        QTest::newRow("repeated names, stored between others")
            << QByteArray("A|B|A|C") << QByteArray("C|A|A|B\nz|x1|x2|y") << QByteArray("A|B|A|C\nx1|y|x2|z");
        QTest::newRow("all names alike") << QByteArray("A|a|A") << QByteArray("a|A|a\n1|2|3")
                                         << QByteArray("a|A|a\n1|2|3");
    }
    void apply()
    {
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, loaded);
        QFETCH(QByteArray, shown);
        QCOMPARE(applySaved(saved, loaded), shown);
    }

    void twoTablesShareOneOrder()
    {
        QTemporaryDir dir;
        std::vector<std::string> orders;
        QVERIFY(SaveColOrder(makeGrid("Id|Name"), orders, path(dir, "Option.cfg")));
        QVERIFY(SaveColOrder(makeGrid("Name|Id"), orders, path(dir, "Option.cfg")));
        QCOMPARE(orders.size(), std::size_t{1});
        QCOMPARE(ReadAll(dir.filePath("Option.cfg")), QByteArray("4944_4E414D45_=NAME\tID\t\r\n"));
        CoreGrid g = makeGrid("Id|Name\n1|ali");
        QVERIFY(ApplyColumnOrder(g, orders));
        QCOMPARE(gridText(g), QByteArray("Name|Id\nali|1"));
    }

    void storedNamesCaseInsensitive()
    {
        std::vector<std::string> orders{"other=x", "4944_4e414d45_=id\tname\t"};
        CoreGrid g = makeGrid("Name|Id\nali|1");
        QVERIFY(ApplyColumnOrder(g, orders));
        QCOMPARE(gridText(g), QByteArray("Id|Name\n1|ali"));
    }

    void shortStoredOrder()
    {
        // A hand-edited value naming only some columns: those go to their
        // places, the others keep theirs where free and fill the rest in order.
        CoreGrid g = makeGrid("Name|Id|Date\na|1|d");
        std::vector<std::string> orders{ColumnOrderKey(g) + "=DATE\tNOTE\t"};
        QVERIFY(ApplyColumnOrder(g, orders));
        QCOMPARE(gridText(g), QByteArray("Date|Id|Name\nd|1|a"));
    }

    void manyColumns()
    {
        const int n = 1500;
        CoreGrid saved;
        saved.Reset(n, 2);
        CoreGrid loaded;
        loaded.Reset(n, 2);
        for (int c = 0; c < n; ++c) {
            // Every third name repeats once, so repeats and 1,500 columns meet.
            const std::string name = "C" + std::to_string(c % 3 == 0 ? c / 3 : c);
            saved.SetCell(n - 1 - c, 0, name);
            loaded.SetCell(c, 0, name);
            loaded.SetCell(c, 1, std::to_string(c));
        }
        QTemporaryDir dir;
        std::vector<std::string> orders;
        QVERIFY(SaveColOrder(saved, orders, path(dir, "Option.cfg")));
        QVERIFY(ApplyColumnOrder(loaded, orders));
        QCOMPARE(loaded.ColCount(), n);
        std::set<std::string> contents;
        for (int c = 0; c < n; ++c) {
            QCOMPARE(loaded.Cell(c, 0), saved.Cell(c, 0));
            contents.insert(std::string(loaded.Cell(c, 1)));
        }
        QCOMPARE(static_cast<int>(contents.size()), n);
    }

    void optionFile()
    {
        QTemporaryDir dir;
        const std::string cfg = path(dir, "Option.cfg");
        std::vector<std::string> orders{"AA_=AA\t", "4944_4E414D45_=NAME\tID\t", "4944_4E414D45_=ID\tNAME\t"};
        // Saving replaces the first line of the key.
        QVERIFY(SaveColOrder(makeGrid("Id|Name"), orders, cfg));
        QCOMPARE(ReadAll(dir.filePath("Option.cfg")),
                 QByteArray("AA_=AA\t\r\n4944_4E414D45_=ID\tNAME\t\r\n4944_4E414D45_=ID\tNAME\t\r\n"));
        // A new key is appended.
        QVERIFY(SaveColOrder(makeGrid("X|Y"), orders, cfg));
        QCOMPARE(orders.back(), std::string("58_59_=X\tY\t"));
        // Deleting removes every line of the key, so the order cannot come back.
        QVERIFY(DeleteColOrder(makeGrid("Name|Id"), orders, cfg));
        QCOMPARE(ReadAll(dir.filePath("Option.cfg")), QByteArray("AA_=AA\t\r\n58_59_=X\tY\t\r\n"));
        CoreGrid g = makeGrid("Name|Id\na|1");
        QVERIFY(!ApplyColumnOrder(g, orders));
        QCOMPARE(gridText(g), QByteArray("Name|Id\na|1"));
        // Deleting a key that is not there leaves the list as it was.
        QVERIFY(DeleteColOrder(makeGrid("Q"), orders, cfg));
        QCOMPARE(orders.size(), std::size_t{2});
    }

    void writeFailureKeepsOrderInMemory()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("Option.cfg"));
        std::vector<std::string> orders;
        QVERIFY(!SaveColOrder(makeGrid("Id|Name"), orders, path(dir, "Option.cfg")));
        CoreGrid g = makeGrid("Name|Id\nali|1");
        QVERIFY(ApplyColumnOrder(g, orders));
        QCOMPARE(gridText(g), QByteArray("Id|Name\n1|ali"));
        QVERIFY(!DeleteColOrder(g, orders, path(dir, "Option.cfg")));
        QVERIFY(orders.empty());
    }
};

QObject* makeColumnOrderTests()
{
    return new TestColumnOrder;
}

#include "test_column_order.moc"
