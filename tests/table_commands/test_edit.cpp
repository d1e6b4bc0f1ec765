// The grid editing commands: cells after each command, the cursor after the
// deletions, and the ".cfg" line of "Fix Cell Size".
#include "GridHelpers.h"

#include "table/EditCommands.h"
#include "table/SaveLines.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

class TestEdit : public QObject {
    Q_OBJECT
private slots:
    void simpleNumber_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("thousands comma") << QByteArray("1,234.50") << QByteArray("1234.50");
        QTest::newRow("sign") << QByteArray("-7") << QByteArray("-7");
        QTest::newRow("unit") << QByteArray("12 kg") << QByteArray("12");
        QTest::newRow("letters only") << QByteArray("abc") << QByteArray("");
        QTest::newRow("parentheses") << QByteArray("(3.5)") << QByteArray("-3.5");
        QTest::newRow("accounting amount") << QByteArray("(1,336,000)") << QByteArray("-1336000");
        QTest::newRow("minus after spaces") << QByteArray("  -5 ") << QByteArray("-5");
        QTest::newRow("minus inside keeps no sign") << QByteArray("5-3") << QByteArray("53");
        QTest::newRow("one parenthesis only") << QByteArray("(12") << QByteArray("12");
        QTest::newRow("sign without digits") << QByteArray("-abc") << QByteArray("");
        QTest::newRow("negative with unit") << QByteArray("-12 kg") << QByteArray("-12");
        QTest::newRow("single space") << QByteArray(" ") << QByteArray("");
        QTest::newRow("Persian letters go") << w("۱۲ ریال") << QByteArray("12");
    }
    void simpleNumber()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QByteArray, result);
        CoreGrid g = makeGrid("Id|Amount 1,5\nx|" + cell + "\ny|" + cell);
        g.Col = 1;
        SimpleNumber(g);
        QCOMPARE(gridText(g), "Id|Amount 1,5\nx|" + result + "\ny|" + result);
    }
    void simpleNumberOneRow()
    {
        CoreGrid g = makeGrid("a-1|2,3");
        g.Col = 1;
        SimpleNumber(g);
        QCOMPARE(gridText(g), QByteArray("a-1|2,3"));
    }

    void blankColumn_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QByteArray>("grid");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("last column, its fields leave the file")
            << 2 << QByteArray("a|b|\nc|d|") << QByteArray("a\tb\r\nc\td\r\n");
        QTest::newRow("middle column, its tabs stay")
            << 1 << QByteArray("a||e\nc||f") << QByteArray("a\t\te\r\nc\t\tf\r\n");
    }
    void blankColumn()
    {
        QFETCH(int, col);
        QFETCH(QByteArray, grid);
        QFETCH(QByteArray, saved);
        CoreGrid g = makeGrid("a|b|e\nc|d|f");
        g.Col = col;
        BlankColumn(g);
        QCOMPARE(gridText(g), grid);
        QCOMPARE(g.ColCount(), 3);
        QCOMPARE(q(BuildSaveBytes(g, 0)), saved);
    }

    void shiftColumn_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QByteArray>("grid");
        QTest::newRow("first") << 0 << QByteArray("b|b|c\ne|e|f");
        QTest::newRow("middle") << 1 << QByteArray("a|c|c\nd|f|f");
        QTest::newRow("last empties it") << 2 << QByteArray("a|b|\nd|e|");
    }
    void shiftColumn()
    {
        QFETCH(int, col);
        QFETCH(QByteArray, grid);
        CoreGrid g = makeGrid("a|b|c\nd|e|f");
        g.Col = col;
        ShiftColumnLeft(g);
        QCOMPARE(gridText(g), grid);
        // The copy is independent: editing one column leaves the other alone.
        if (col < 2) {
            g.SetCell(col, 1, "new");
            QVERIFY(g.Cell(col + 1, 1) != "new");
        }
    }

    void deleteRow_data()
    {
        QTest::addColumn<QByteArray>("grid");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("cursor");
        QTest::newRow("middle row, cursor stays") << QByteArray("h\na\nb\nc") << 2 << QByteArray("h\na\nc") << 2;
        QTest::newRow("last row, cursor on new last") << QByteArray("h\na\nb\nc") << 3 << QByteArray("h\na\nb") << 2;
        QTest::newRow("row 0 refused") << QByteArray("h\na\nb") << 0 << QByteArray("h\na\nb") << 0;
        QTest::newRow("only body row") << QByteArray("h\na") << 1 << QByteArray("h") << 0;
        QTest::newRow("single row") << QByteArray("h") << 0 << QByteArray("h") << 0;
    }
    void deleteRow()
    {
        QFETCH(QByteArray, grid);
        QFETCH(int, row);
        QFETCH(QByteArray, after);
        QFETCH(int, cursor);
        CoreGrid g = makeGrid(grid);
        g.SetFixedRows(g.RowCount() > 1 ? 1 : 0);
        g.Row = row;
        const bool changed = CanDeleteRow(g) && DeleteGridRow(g, g.Row);
        QCOMPARE(changed, after != grid);
        QCOMPARE(gridText(g), after);
        QCOMPARE(g.Row, cursor);
        QVERIFY(g.Row >= 0 && g.Row < g.RowCount());
    }

    void deleteCol_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("cursor");
        QTest::newRow("middle, cursor keeps its index") << 1 << QByteArray("a|c|d") << 1;
        QTest::newRow("last, cursor on new last") << 3 << QByteArray("a|b|c") << 2;
        QTest::newRow("column 0 refused") << 0 << QByteArray("a|b|c|d") << 0;
    }
    void deleteCol()
    {
        QFETCH(int, col);
        QFETCH(QByteArray, after);
        QFETCH(int, cursor);
        CoreGrid g = makeGrid("a|b|c|d");
        g.SetColWidth(2, 77);
        g.Col = col;
        if (CanDeleteColumn(g))
            QVERIFY(DeleteGridColumn(g, g.Col));
        QCOMPARE(gridText(g), after);
        QCOMPARE(g.Col, cursor);
        // Widths move with their columns.
        const int widthOfC = after.split('|').indexOf("c");
        QCOMPARE(g.ColWidth(widthOfC), 77);
    }
    void deleteGridColumnOfTwo()
    {
        CoreGrid g = makeGrid("a|b");
        g.Col = 1;
        QVERIFY(DeleteGridColumn(g, 1));
        QCOMPARE(g.Col, 0);
        QVERIFY(!DeleteGridColumn(g, 0)); // the last column stays
        QVERIFY(!DeleteGridColumn(g, 5));
        QVERIFY(!DeleteGridRow(g, -1));
        QCOMPARE(gridText(g), QByteArray("a"));
    }

    void cellFormatFile()
    {
        QTemporaryDir dir;
        const std::string table = path(dir, "t.txt");
        const std::string cfg = CfgPathFor(table);
        QCOMPARE(QString::fromStdString(cfg), dir.filePath("t.cfg"));
        Write(dir.filePath("t.cfg"), "Other=1\r\nCellFormat=3\r\n");
        QVERIFY(WriteCellFormat(cfg, "10 5"));
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), QByteArray("CellFormat=10 5\r\n"));
        // Failures are quiet: a missing folder, no table open.
        QVERIFY(!WriteCellFormat(path(dir, "none/t.cfg"), "1"));
        QVERIFY(!WriteCellFormat(CfgPathFor(""), "1"));
    }
};

QObject* makeEditTests()
{
    return new TestEdit;
}

#include "test_edit.moc"
