// Adding as well as taking away: Insert Row (above, below), Insert Column,
// Clear, Rename Column and Go to Row on the document, in a tab-separated
// Windows-1256 table and a comma-separated one, each one undo step that
// gives the table back exactly.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/ClipboardTable.h"
#include "table/TableDocument.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

class TestAddCells : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

    // What Save writes of the document now.
    QByteArray saved(TableDocument& doc, const QTemporaryDir& dir)
    {
        const std::string out = path(dir, doc.form().quoted ? "out.csv" : "out.txt");
        if (!doc.save(out, 0).ok())
            return "<not saved>";
        return ReadAll(out);
    }

private slots:
    void commandAndUndo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("cursorCol");
        QTest::addColumn<int>("cursorRow");
        // Blank cells are written as Save writes the cells Delete Col blanks.
        const QByteArray tabs = "a\tb\r\n1\t2\r\n3\t4\r\n";
        QTest::newRow("row above") << "t.txt" << tabs << "insertRow" << 1 << 2
                                   << QByteArray("a\tb\r\n1\t2\r\n\t \r\n3\t4\r\n") << 1 << 2;
        QTest::newRow("row below the last")
            << "t.txt" << tabs << "insertRowBelow" << 0 << 2 << QByteArray("a\tb\r\n1\t2\r\n3\t4\r\n\t \r\n") << 0 << 3;
        QTest::newRow("column") << "t.txt" << tabs << "insertColumn" << 1 << 1
                                << QByteArray("a\t \tb\r\n1\t \t2\r\n3\t \t4\r\n") << 1 << 1;
        QTest::newRow("column first") << "t.txt" << tabs << "insertColumn" << 0 << 2
                                      << QByteArray("\ta\tb\r\n\t1\t2\r\n\t3\t4\r\n") << 0 << 2;
        QTest::newRow("clear") << "t.txt" << tabs << "clear" << 0 << 1 << QByteArray("a\tb\r\n\r\n3\t4\r\n") << 0 << 1;
        QTest::newRow("rename") << "t.txt" << w("a\tb\r\nعلی\t2\r\n") << "rename" << 1 << 1 << w("a\tنام\r\nعلی\t2\r\n")
                                << 1 << 1;
        // A comma-separated table's blank fields are empty, and a short row
        // stays short past its end.
        const QByteArray csv = "a,b,c\n1,\"x,y\"\nshort\n";
        QTest::newRow("csv row") << "t.csv" << csv << "insertRow" << 2 << 1
                                 << QByteArray("a,b,c\n,,\n1,\"x,y\"\nshort\n") << 2 << 1;
        QTest::newRow("csv column") << "t.csv" << csv << "insertColumn" << 1 << 1
                                    << QByteArray("a,,b,c\n1,,\"x,y\"\nshort\n") << 1 << 1;
        QTest::newRow("csv clear") << "t.csv" << csv << "clear" << 0 << 1 << QByteArray("a,b,c\n,\nshort\n") << 0 << 1;
    }
    void commandAndUndo()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QString, command);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(QByteArray, after);
        QFETCH(int, cursorCol);
        QFETCH(int, cursorRow);
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath(name), file));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, name.toUtf8().constData()), target).ok());
        const QByteArray before = saved(doc, dir);
        doc.setCursor(col, row);
        if (command == "insertRow")
            QVERIFY(doc.insertRow(false));
        else if (command == "insertRowBelow")
            QVERIFY(doc.insertRow(true));
        else if (command == "insertColumn")
            QVERIFY(doc.insertColumn());
        else if (command == "clear")
            QCOMPARE(doc.clearCells({row}, 0, doc.grid().ColCount() - 1), std::size_t(2));
        else
            QVERIFY(doc.renameColumn(b(w("نام"))));
        QCOMPARE(doc.currentCol(), cursorCol);
        QCOMPARE(doc.currentRow(), cursorRow);
        QVERIFY(doc.isModified());
        QCOMPARE(saved(doc, dir), after);
        QVERIFY(doc.undo());
        QCOMPARE(saved(doc, dir), before);
        QCOMPARE(doc.currentCol(), col);
        QVERIFY(!doc.canUndo());
        QVERIFY(doc.redo());
        QCOMPARE(saved(doc, dir), after);
    }

    // The clipboard's block of cells as spreadsheet programs and Copy write it.
    void clipboardCells_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("cells");
        QTest::newRow("rows and cells") << QByteArray("a\tb\r\nc\td\r\n") << QByteArray("a|b\nc|d");
        QTest::newRow("no last break") << QByteArray("a\tb\nc") << QByteArray("a|b\nc");
        QTest::newRow("empty cells") << QByteArray("\tb\t\n\n") << QByteArray("|b|\n");
        QTest::newRow("quoted break, tab and quote")
            << QByteArray("\"x\r\ny\"\t\"p\tq\"\n\"\"\"hi\"\"\"\tz\n") << QByteArray("x\r\ny|p\tq\n\"hi\"|z");
        QTest::newRow("a quote inside stays") << QByteArray("say \"hi\"\tz") << QByteArray("say \"hi\"|z");
        QTest::newRow("quote never closed") << QByteArray("\"open\tand\nmore") << QByteArray("open\tand\nmore");
    }
    void clipboardCells()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, cells);
        QList<QByteArray> rows;
        for (const auto& row : ClipboardCells(b(text)))
            rows << joined(row);
        QCOMPARE(rows.join('\n'), cells);
    }

    // A paste writes from the cursor on, adds the rows and columns it runs
    // past the end, and is undone in one step to the table as it was.
    void pasteGrowsTheTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("inside") << "t.txt" << 0 << 1 << QByteArray("h\tv\r\nA\tB\r\nC\tD\r\n");
        // A Windows-1256 table pads every row to the grid's width, as always.
        QTest::newRow("past both ends") << "t.txt" << 1 << 2
                                        << QByteArray("h\tv\t \r\n1\t2\t \r\n3\tA\tB\r\n\tC\tD\r\n");
        QTest::newRow("csv, past both ends") << "t.csv" << 1 << 2 << QByteArray("h,v\n1,2\n3,A,B\n,C,D\n");
    }
    void pasteGrowsTheTable()
    {
        QFETCH(QString, name);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const bool csv = name.endsWith(".csv");
        QVERIFY(Write(dir.filePath(name), csv ? "h,v\n1,2\n3\n" : "h\tv\r\n1\t2\r\n3\t4\r\n"));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, name.toUtf8().constData()), target).ok());
        const QByteArray before = saved(doc, dir);
        const QByteArray gridBefore = gridText(doc.grid());
        doc.setCursor(col, row);
        const PastedBlock block = doc.pasteCells({{"A", "B"}, {"C", "D"}});
        QCOMPARE(block.firstCol, col);
        QCOMPARE(block.lastCol, col + 1);
        QCOMPARE(block.rows, (std::vector<int>{row, row + 1}));
        QCOMPARE(doc.currentCol(), col);
        QCOMPARE(doc.currentRow(), row);
        QCOMPARE(saved(doc, dir), after);
        QVERIFY(doc.undo());
        QCOMPARE(gridText(doc.grid()), gridBefore);
        QCOMPARE(saved(doc, dir), before);
        QVERIFY(doc.redo());
        QCOMPARE(saved(doc, dir), after);
    }

    // Find and Replace: every match in the body's cells, or whole cells
    // only; the header row stays; one undo step.
    void replaceInCells_data()
    {
        QTest::addColumn<QByteArray>("find");
        QTest::addColumn<QByteArray>("with");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<bool>("filtered");
        QTest::addColumn<int>("changed");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("every match") << QByteArray("a") << QByteArray("xy") << false << false << 2
                                     << QByteArray("a|b\nxyxy|b\nxy| \nb|c");
        QTest::newRow("whole cells") << QByteArray("a") << QByteArray("z") << true << false << 1
                                     << QByteArray("a|b\naa|b\nz| \nb|c");
        QTest::newRow("to nothing") << QByteArray("b") << QByteArray() << false << false << 2
                                    << QByteArray("a|b\naa|\na| \n|c");
        QTest::newRow("rows that show") << QByteArray("b") << QByteArray("B") << false << true << 2
                                        << QByteArray("a|b\naa|B\na| \nB|c");
        QTest::newRow("no match") << QByteArray("q") << QByteArray("B") << false << false << 0
                                  << QByteArray("a|b\naa|b\na| \nb|c");
    }
    void replaceInCells()
    {
        QFETCH(QByteArray, find);
        QFETCH(QByteArray, with);
        QFETCH(bool, whole);
        QFETCH(bool, filtered);
        QFETCH(int, changed);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), "a\tb\r\naa\tb\r\na\r\nb\tc\r\n"));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        const QByteArray before = gridText(doc.grid());
        if (filtered)
            QCOMPARE(doc.filterRows("b"), 2);
        QCOMPARE(doc.replaceInCells(b(find), b(with), whole), std::size_t(changed));
        QCOMPARE(gridText(doc.grid()), after);
        QCOMPARE(doc.canUndo(), changed > 0);
        if (changed > 0) {
            QVERIFY(doc.undo());
            QCOMPARE(gridText(doc.grid()), before);
        }
    }

    // A view follows the document's cursor by itself: it is told when a
    // command, undo or redo puts the cursor somewhere, and not when it put
    // the cursor there itself.
    void cursorMovesAreTold()
    {
        struct Counting final : TableObserver {
            int moved = 0;
            void gridAboutToBeReplaced() override { }
            void gridReplaced() override { }
            void rowAboutToBeRemoved(int) override { }
            void rowRemoved(int) override { }
            void columnAboutToBeRemoved(int) override { }
            void columnRemoved(int) override { }
            void rowAboutToBeInserted(int) override { }
            void rowInserted(int) override { }
            void columnAboutToBeInserted(int) override { }
            void columnInserted(int) override { }
            void columnMoved(int, int) override { }
            void cellChanged(int, int) override { }
            void cellsChanged(int, int) override { }
            void cursorMoved() override { ++moved; }
        } view;
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), "h\tv\r\n1\t2\r\n3\t4\r\n"));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        doc.setObserver(&view);
        doc.setCursor(1, 1);
        doc.setCell(1, 1, "x");
        QCOMPARE(view.moved, 0);
        QVERIFY(doc.goToRow(2));
        QCOMPARE(view.moved, 1);
        QVERIFY(doc.insertRow(true));
        QCOMPARE(view.moved, 2);
        QVERIFY(doc.undo());
        QCOMPARE(view.moved, 3);
        QVERIFY(doc.redo());
        QCOMPARE(view.moved, 4);
        doc.setObserver(nullptr);
    }

    // Under a filter a new row shows, Clear changes only the rows given, and
    // Go to Row refuses a row the filter hides or the table lacks.
    void underAFilter()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), "h\tv\r\napple\t1\r\npear\t2\r\napple\t3\r\n"));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(doc.filterRows("apple"), 2);
        QVERIFY(!doc.goToRow(2));
        QVERIFY(!doc.goToRow(9));
        QVERIFY(!doc.goToRow(0));
        QVERIFY(doc.goToRow(3));
        QCOMPARE(doc.currentRow(), 3);
        QVERIFY(doc.insertRow(true));
        QCOMPARE(doc.currentRow(), 4);
        QCOMPARE(doc.shownRows(), (std::vector<int>{1, 3, 4}));
        QCOMPARE(doc.clearCells(doc.shownRows(), 1, 1), std::size_t(2));
        QCOMPARE(gridText(doc.grid()), QByteArray("h|v\napple|\npear|2\napple|\n | "));
        QVERIFY(doc.undo());
        QVERIFY(doc.undo());
        QCOMPARE(gridText(doc.grid()), QByteArray("h|v\napple|1\npear|2\napple|3"));
    }
};

QObject* makeAddCellsTests()
{
    return new TestAddCells;
}

#include "test_add_cells.moc"
