// The open table as a document, without any window: opening (all or
// nothing), laying out, the commands, and what an observer is told.

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/TableDocument.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

// Counts every question asked of the font.
class CountingMetrics : public FixedMetrics {
public:
    mutable int asked = 0;
    int textWidth(std::string_view text) const override { return ++asked, FixedMetrics::textWidth(text); }
    int textHeight(std::string_view text) const override { return ++asked, FixedMetrics::textHeight(text); }
    int byteAdvanceBound(unsigned char b) const override { return ++asked, FixedMetrics::byteAdvanceBound(b); }
    int maxByteAdvanceBound() const override { return ++asked, FixedMetrics::maxByteAdvanceBound(); }
};

// The grid as rows of '|'-joined cells.
QStringList Rows(const TableDocument& doc)
{
    QStringList rows;
    const CoreGrid& g = doc.grid();
    for (int r = 0; r < g.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < g.ColCount(); ++c)
            cells << QString::fromLatin1(g.Cell(c, r).data(), static_cast<int>(g.Cell(c, r).size()));
        rows << cells.join('|');
    }
    return rows;
}

// Writes down what it is told, with the grid's row count at that moment.
class Recorder : public TableObserver {
public:
    explicit Recorder(const TableDocument& doc) : doc_(doc) { }
    QStringList events;
    void gridAboutToBeReplaced() override { note("replacing"); }
    void gridReplaced() override { note("replaced"); }
    void rowAboutToBeRemoved(int row) override
    {
        note("removing row " + QString::number(row));
        if (moveCursorTo)
            moveCursorTo->setCursor(0, 1);
    }
    void rowRemoved(int row) override { note("removed row " + QString::number(row)); }
    void columnAboutToBeRemoved(int col) override
    {
        note("removing col " + QString::number(col));
        if (moveCursorTo)
            moveCursorTo->setCursor(0, 1);
    }
    void columnRemoved(int col) override { note("removed col " + QString::number(col)); }
    void rowAboutToBeInserted(int row) override { note("inserting row " + QString::number(row)); }
    void rowInserted(int row) override { note("inserted row " + QString::number(row)); }
    void columnAboutToBeInserted(int col) override { note("inserting col " + QString::number(col)); }
    void columnInserted(int col) override { note("inserted col " + QString::number(col)); }
    void columnMoved(int from, int to) override { note(QStringLiteral("moved col %1>%2").arg(from).arg(to)); }
    // A view moving its current cell while rows or columns go.
    TableDocument* moveCursorTo = nullptr;
    void cellChanged(int col, int row) override { note(QStringLiteral("cell %1,%2").arg(col).arg(row)); }
    void cellsChanged(int first, int last) override { note(QStringLiteral("cols %1-%2").arg(first).arg(last)); }

private:
    void note(const QString& what)
    {
        events << what + " @" + QString::number(doc_.grid().RowCount()) + "x" + QString::number(doc_.grid().ColCount());
    }
    const TableDocument& doc_;
};

} // namespace

class TestTableDocument : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    FixedMetrics metrics;

    QString path(const char* name) const { return dir.path() + "/" + QLatin1String(name); }

private slots:
    // A conversion to text or a workbook reads no widths: the font is never asked.
    void cellsOnlyLayoutMeasuresNothing()
    {
        QTemporaryDir own;
        const QString table = own.path() + "/w.txt";
        Write(table, "Name\tCity\r\nAli\tTehran\r\nb\t\r\n");
        CountingMetrics counting;
        TableDocument doc;
        FixedLayoutTarget cellsOnly(counting, 100, false);
        QVERIFY(doc.open(NativePath(table), cellsOnly).ok());
        QCOMPARE(counting.asked, 0);
        QCOMPARE(Rows(doc), (QStringList{"Name|City", "Ali|Tehran", "b| "}));
        QCOMPARE(doc.grid().FixedRows(), 1);
        QCOMPARE(doc.currentRow(), 1);
        FixedLayoutTarget full(counting, 100);
        QVERIFY(doc.open(NativePath(table), full).ok());
        QVERIFY(counting.asked > 0);
    }

    void openReadsTableCfgHeaderAndFolder()
    {
        Write(path("b.txt"), "SardoVelam31415926535-1 1\r\nR\r\nC\r\nL\r\nab cd\tx\r\n1234\ty\r\n");
        Write(path("b.cfg"), "CellFormat=2\r\n");
        Write(path("a.TXT"), "other\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("b.txt")), target).ok());
        QCOMPARE(Rows(doc), (QStringList{"ab| cd|x", "12|34|y"})); // a TAB-cut field keeps its spaces
        QCOMPARE(doc.path(), NativePath(path("b.txt")));
        QCOMPARE(doc.cellWidths(), std::string("2"));
        QVERIFY(doc.closeOnKey());
        QCOMPARE(doc.headerPanelCount(), 1);
        QCOMPARE(doc.openedHeader().labels, (std::vector<std::string>{"R", "C", "L"}));
        QCOMPARE(doc.lines().size(), std::size_t(2));
        QCOMPARE(doc.folderFiles().size(), std::size_t(2));
        QCOMPARE(doc.neighbourFile(+1), NativePath(path("a.TXT")));
        // Widths: the widest text, at least 10, at most 0.8 of the grid.
        QCOMPARE(doc.grid().ColWidth(0), 14);
        QCOMPARE(doc.grid().ColWidth(1), 21);
        QCOMPARE(doc.grid().DefaultRowHeight(), 13);
        QCOMPARE(doc.currentCol(), 0);
        QCOMPARE(doc.currentRow(), 1);

        // A table without a header block keeps close-on-key, shows no strip.
        QVERIFY(doc.open(NativePath(path("a.TXT")), target).ok());
        QVERIFY(doc.closeOnKey());
        QCOMPARE(doc.headerPanelCount(), 0);
        QVERIFY(!doc.openedHeader().found);
    }

    void failedOrCancelledOpenChangesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("cancelAt"); // -1: no cancel
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("missing") << "missing.txt" << -1 << false;
        QTest::newRow("folder") << "sub.txt" << -1 << false;
        QTest::newRow("cancel reading") << "new.txt" << int(LoadStage::Reading) << true;
        QTest::newRow("cancel cells") << "new.txt" << int(LoadStage::Cells) << true;
    }
    void failedOrCancelledOpenChangesNothing()
    {
        QFETCH(QString, file);
        QFETCH(int, cancelAt);
        QFETCH(bool, cancelled);
        Write(path("old.txt"), "h1\th2\r\nv1\tv2\r\n");
        Write(path("old.cfg"), "CellFormat=0\r\n");
        // Enough bytes for the reading, and lines for the cells, to report.
        Write(path("new.txt"),
              "SardoVelam31415926535-1 0\r\n" + QByteArray(9 << 20, 'n') + "\r\n"
                  + QByteArray("n\r\n").repeated(70000));
        Write(path("new.cfg"), "CellFormat=5\r\n");
        QDir(dir.path()).mkdir("sub.txt");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("old.txt")), target).ok());
        Recorder recorder(doc);
        doc.setObserver(&recorder);
        const LoadProgressFn progress = [cancelAt](LoadStage stage, std::uint64_t, std::uint64_t) {
            return int(stage) != cancelAt;
        };
        const FileStatus r = doc.open(NativePath(path(file.toLatin1().constData())), target, progress);
        QVERIFY(!r.ok());
        QCOMPARE(r.cancelled(), cancelled);
        QVERIFY(!r.ok());
        QCOMPARE(Rows(doc), (QStringList{"h1|h2", "v1|v2"}));
        QCOMPARE(doc.path(), NativePath(path("old.txt")));
        QCOMPARE(doc.cellWidths(), std::string("0"));
        QVERIFY(!doc.closeOnKey());
        QCOMPARE(doc.lines().size(), std::size_t(2));
        QCOMPARE(recorder.events, QStringList());
        doc.setObserver(nullptr);
    }

    void sizingCannotBeCancelled()
    {
        Write(path("t.txt"), "a\tb\r\n1\t2\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        const LoadProgressFn progress = [](LoadStage stage, std::uint64_t, std::uint64_t) {
            return stage != LoadStage::Widths;
        };
        QVERIFY(doc.open(NativePath(path("t.txt")), target, progress).ok());
        QCOMPARE(doc.grid().ColWidth(0), 10);
    }

    void observerToldAroundEveryChange()
    {
        Write(path("t.txt"), "a\tb\tc\r\n1\t2\t3\r\n4\t5\t6\r\n");
        TableDocument doc;
        Recorder recorder(doc);
        doc.setObserver(&recorder);
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("t.txt")), target).ok());
        recorder.moveCursorTo = &doc;
        doc.setCursor(2, 2);
        QVERIFY(doc.deleteRow());
        QCOMPARE(doc.currentRow(), 1); // the last row went: the cursor to the new last
        QVERIFY(doc.removeColumn());
        QCOMPARE(doc.currentCol(), 1);
        QVERIFY(doc.deleteRow()); // down to the header row alone, which joins the body
        doc.setCell(1, 0, "x");
        doc.setCell(5, 0, "outside");
        doc.setCursor(0, 0);
        doc.blankColumn();
        QCOMPARE(Rows(doc), QStringList{"|x"});
        QCOMPARE(recorder.events,
                 (QStringList{"replacing @5x5", "replaced @3x3", "removing row 2 @3x3", "removed row 2 @2x3",
                              "removing col 2 @2x3", "removed col 2 @2x2", "removing row 1 @2x2", "removed row 1 @1x2",
                              "cell 1,0 @1x2", "cols 0-0 @1x2"}));
        // Row 0 and column 0 stay.
        recorder.events.clear();
        doc.setCursor(0, 0);
        QVERIFY(!doc.deleteRow());
        QVERIFY(!doc.removeColumn());
        QCOMPARE(recorder.events, QStringList());
        doc.setObserver(nullptr);
    }

    void commandsOverTheOpenTable()
    {
        Write(path("s.txt"), "Name\tSum\r\nred box\t1,000.5\r\nblue\t(2)\r\nred box\tx\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("s.txt")), target).ok());
        QCOMPARE(doc.searchRows("RED"), 1);
        QCOMPARE(doc.searchAgain(), 3);
        QCOMPARE(doc.searchAgain(), 1);
        QCOMPARE(doc.searchRows(""), 1); // an empty answer keeps the last search
        QCOMPARE(doc.searchText(), std::string("RED"));
        doc.setCursor(1, 1);
        QCOMPARE(doc.sumCurrentColumn(), 998.5);
        QCOMPARE(doc.currentColumnValues(true), (std::vector<std::string>{"(2)", "1,000.5", "Sum", "x"}));
        doc.setCursor(0, 1);
        QCOMPARE(doc.distinctValuesOfCurrentColumn(), (std::vector<std::string>{"red box", "blue"}));
        QCOMPARE(doc.valuesFileName(), std::string("ColValue1.txt"));
        QVERIFY(doc.saveCurrentColumn(NativePath(path("col.txt")), false).ok());
        QCOMPARE(ReadAll(path("col.txt")), QByteArray("Name\r\nred box\r\nblue\r\nred box\r\n"));

        // Save over the open table keeps a backup; with row numbers elsewhere.
        doc.setCursor(1, 1);
        doc.simpleNumber();
        QVERIFY(doc.save(NativePath(path("s.txt"))).ok());
        QCOMPARE(ReadAll(path("s.Bak")), QByteArray("Name\tSum\r\nred box\t1,000.5\r\nblue\t(2)\r\nred box\tx\r\n"));
        QCOMPARE(ReadAll(path("s.txt")), QByteArray("Name\tSum\r\nred box\t1000.5\r\nblue\t-2\r\nred box\r\n"));
        QVERIFY(doc.save(NativePath(path("n.txt")), 1).ok());
        QCOMPARE(ReadAll(path("n.txt")).left(9), QByteArray("0\tName\tSu"));

        // Fixed widths: kept in the .cfg, the lines cut again, edits gone.
        QVERIFY(doc.fixCellSize("3", target));
        QCOMPARE(ReadAll(path("s.cfg")), QByteArray("CellFormat=3\r\n"));
        QCOMPARE(doc.grid().Cell(0, 1), std::string_view("red"));
    }

    void undoAndRedoEveryChange_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("col"); // where the cursor lands after undo and redo
        QTest::addColumn<int>("row");
        QTest::newRow("cell edit") << "setCell" << QStringList{"N|A|B", "1|1,5|x", "2|new|y", "3|4 kg|z"} << 1 << 2;
        QTest::newRow("delete row") << "deleteRow" << QStringList{"N|A|B", "1|1,5|x", "3|4 kg|z"} << 1 << 2;
        QTest::newRow("delete last row") << "deleteLastRow" << QStringList{"N|A|B", "1|1,5|x", "2| |y"} << 1 << 3;
        QTest::newRow("remove column") << "removeColumn" << QStringList{"N|B", "1|x", "2|y", "3|z"} << 1 << 2;
        QTest::newRow("blank column") << "blankColumn" << QStringList{"N||B", "1||x", "2||y", "3||z"} << 1 << 2;
        QTest::newRow("shift column") << "shiftColumnLeft" << QStringList{"N|B|B", "1|x|x", "2|y|y", "3|z|z"} << 1 << 2;
        QTest::newRow("simple number") << "simpleNumber" << QStringList{"N|A|B", "1|15|x", "2||y", "3|4|z"} << 1 << 2;
        QTest::newRow("move column") << "moveColumn" << QStringList{"A|B|N", "1,5|x|1", " |y|2", "4 kg|z|3"} << 2 << 2;
    }
    void undoAndRedoEveryChange()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, after);
        QFETCH(int, col);
        QFETCH(int, row);
        Write(path("u.txt"), "N\tA\tB\r\n1\t1,5\tx\r\n2\t\ty\r\n3\t4 kg\tz\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("u.txt")), target).ok());
        const QStringList before = Rows(doc);
        const int width0 = doc.grid().ColWidth(0);
        QVERIFY(!doc.isModified());
        QVERIFY(!doc.canUndo());
        doc.setCursor(1, 2);
        if (command == "setCell")
            doc.setCell(1, 2, "new");
        else if (command == "deleteRow")
            QVERIFY(doc.deleteRow());
        else if (command == "deleteLastRow")
            QVERIFY((doc.setCursor(1, 3), doc.deleteRow()));
        else if (command == "removeColumn")
            QVERIFY(doc.removeColumn());
        else if (command == "blankColumn")
            doc.blankColumn();
        else if (command == "shiftColumnLeft")
            doc.shiftColumnLeft();
        else if (command == "simpleNumber")
            doc.simpleNumber();
        else if (command == "moveColumn")
            doc.moveColumn(0, 2);
        QCOMPARE(Rows(doc), after);
        QVERIFY(doc.isModified());
        QVERIFY(doc.canUndo());
        doc.setCursor(0, 1); // the user moved on
        QVERIFY(doc.undo());
        QCOMPARE(Rows(doc), before);
        QCOMPARE(doc.grid().ColWidth(0), width0);
        QVERIFY(!doc.isModified());
        QVERIFY(!doc.canUndo());
        QVERIFY(doc.canRedo());
        QCOMPARE(doc.currentRow(), row);
        QCOMPARE(doc.currentCol(), command == "moveColumn" ? 0 : col);
        doc.setCursor(0, 1);
        QVERIFY(doc.redo());
        QCOMPARE(Rows(doc), after);
        QVERIFY(doc.isModified());
        QCOMPARE(doc.currentCol(), col);
        QCOMPARE(doc.currentRow(), std::min(row, doc.grid().RowCount() - 1));
        QVERIFY(!doc.redo());
        // Undone again, the saved file is the table as loaded (an empty field is " ").
        QVERIFY(doc.undo());
        QVERIFY(doc.save(NativePath(path("u2.txt"))).ok());
        QCOMPARE(ReadAll(path("u2.txt")), QByteArray("N\tA\tB\r\n1\t1,5\tx\r\n2\t \ty\r\n3\t4 kg\tz\r\n"));
    }

    // Under a filter a command changes only the rows that show (and the
    // header row, which always shows), the cursor ends on a row that shows
    // (none when no row shows), and undo shows the rows it changes back,
    // also when another filter hides them by then.
    void commandsUnderAFilter_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("words");     // the filter; none when empty
        QTest::addColumn<int>("row");           // the cursor's, in column 1
        QTest::addColumn<QStringList>("after"); // column 1, row by row
        QTest::addColumn<int>("rowAfter");      // -1: no row shows
        QTest::addColumn<QString>("refilter");  // applied before the undo
        QTest::addColumn<QList<int>>("shownAfterUndo");
        QTest::addColumn<int>("rowAfterUndo");
        QTest::newRow("simple number") << "simpleNumber"
                                       << "red" << 1 << QStringList{"A", "15", "blue 20", "3", "blue 4", "5"} << 1 << ""
                                       << QList<int>{1, 3, 5} << 1;
        QTest::newRow("blank column, undone under another filter")
            << "blankColumn"
            << "red" << 1 << QStringList{"", "", "blue 20", "", "blue 4", ""} << 1 << "blue"
            << QList<int>{1, 2, 3, 4, 5} << 1;
        QTest::newRow("shift column") << "shiftColumnLeft"
                                      << "red" << 3 << QStringList{"B", "x", "blue 20", "z", "blue 4", "v"} << 3 << ""
                                      << QList<int>{1, 3, 5} << 3;
        QTest::newRow("blank column, no row shows")
            << "blankColumn"
            << "green" << 1 << QStringList{"", "red 1,5", "blue 20", "red 3 kg", "blue 4", "red 5"} << -1 << ""
            << QList<int>{} << -1;
        QTest::newRow("simple number, no row shows")
            << "simpleNumber"
            << "green" << 1 << QStringList{"A", "red 1,5", "blue 20", "red 3 kg", "blue 4", "red 5"} << -1 << ""
            << QList<int>{} << -1;
        QTest::newRow("delete row, the next hidden")
            << "deleteRow"
            << "red" << 3 << QStringList{"A", "red 1,5", "blue 20", "blue 4", "red 5"} << 4 << "" << QList<int>{1, 3, 5}
            << 3;
        QTest::newRow("delete the last row that shows")
            << "deleteRow"
            << "red" << 5 << QStringList{"A", "red 1,5", "blue 20", "red 3 kg", "blue 4"} << 3 << ""
            << QList<int>{1, 3, 5} << 5;
        QTest::newRow("delete the only row that shows")
            << "deleteRow"
            << "kg" << 3 << QStringList{"A", "red 1,5", "blue 20", "blue 4", "red 5"} << -1 << "" << QList<int>{3} << 3;
        QTest::newRow("delete row, undone under another filter")
            << "deleteRow"
            << "red" << 3 << QStringList{"A", "red 1,5", "blue 20", "blue 4", "red 5"} << 4 << "blue"
            << QList<int>{2, 3, 4} << 3;
        QTest::newRow("sort keeps the cursor's place among the rows that show")
            << "sortDescending"
            << "red" << 5 << QStringList{"A", "red 5", "red 3 kg", "red 1,5", "blue 4", "blue 20"} << 3 << ""
            << QList<int>{1, 3, 5} << 5;
        QTest::newRow("cell edit, undone under a filter that hides it")
            << "setCell"
            << "" << 2 << QStringList{"A", "red 1,5", "blue 21", "red 3 kg", "blue 4", "red 5"} << 2 << "red"
            << QList<int>{1, 2, 3, 5} << 2;
    }
    void commandsUnderAFilter()
    {
        QFETCH(QString, command);
        QFETCH(QString, words);
        QFETCH(int, row);
        QFETCH(QStringList, after);
        QFETCH(int, rowAfter);
        QFETCH(QString, refilter);
        QFETCH(QList<int>, shownAfterUndo);
        QFETCH(int, rowAfterUndo);
        Write(path("f.txt"),
              "N\tA\tB\r\n1\tred 1,5\tx\r\n2\tblue 20\ty\r\n3\tred 3 kg\tz\r\n4\tblue 4\tw\r\n5\tred 5\tv\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("f.txt")), target).ok());
        const QStringList before = Rows(doc);
        const auto columnA = [&doc] {
            QStringList cells;
            for (int r = 0; r < doc.grid().RowCount(); ++r)
                cells << QString::fromLatin1(doc.grid().Cell(1, r).data(), int(doc.grid().Cell(1, r).size()));
            return cells;
        };
        // The cursor's row, -1 when no row shows; a row the filter hides fails.
        const auto cursorRow = [&doc]() -> int {
            if (!doc.isFiltered())
                return doc.currentRow();
            const std::vector<int>& shown = doc.shownRows();
            if (shown.empty())
                return -1;
            return std::binary_search(shown.begin(), shown.end(), doc.currentRow()) ? doc.currentRow() : -2;
        };
        doc.setCursor(1, row);
        if (!words.isEmpty())
            doc.filterRows(words.toStdString());
        QCOMPARE(doc.currentRow(), row);
        if (command == "simpleNumber")
            doc.simpleNumber();
        else if (command == "blankColumn")
            doc.blankColumn();
        else if (command == "shiftColumnLeft")
            doc.shiftColumnLeft();
        else if (command == "deleteRow")
            QVERIFY(doc.deleteRow());
        else if (command == "sortDescending")
            QVERIFY(doc.sortRows(true));
        else if (command == "setCell")
            doc.setCell(1, row, "blue 21");
        QCOMPARE(columnA(), after);
        QCOMPARE(cursorRow(), rowAfter);
        if (Rows(doc) == before) { // nothing that shows changed: nothing to undo
            QVERIFY(!doc.canUndo());
            return;
        }

        if (!refilter.isEmpty())
            doc.filterRows(refilter.toStdString());
        QVERIFY(doc.undo());
        QCOMPARE(Rows(doc), before);
        QCOMPARE(cursorRow(), rowAfterUndo);
        if (doc.isFiltered())
            QCOMPARE(QList<int>(doc.shownRows().begin(), doc.shownRows().end()), shownAfterUndo);
        QVERIFY(doc.redo());
        QCOMPARE(columnA(), after);
        QVERIFY(cursorRow() >= -1);
    }

    void observerToldOfUndoneShapes()
    {
        Write(path("t.txt"), "a\tb\tc\r\n1\t2\t3\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(NativePath(path("t.txt")), target).ok());
        Recorder recorder(doc);
        doc.setObserver(&recorder);
        recorder.moveCursorTo = &doc; // ignored while the shape changes
        doc.setCursor(1, 1);
        QVERIFY(doc.removeColumn());
        QVERIFY(doc.deleteRow()); // the header row alone: no fixed row
        QCOMPARE(doc.grid().FixedRows(), 0);
        recorder.events.clear();
        QVERIFY(doc.undo());
        QCOMPARE(doc.grid().FixedRows(), 1);
        QCOMPARE(doc.currentRow(), 1);
        QVERIFY(doc.undo());
        QCOMPARE(doc.currentCol(), 1);
        doc.moveColumn(2, 0);
        QVERIFY(doc.undo());
        QCOMPARE(recorder.events,
                 (QStringList{"inserting row 1 @1x2", "inserted row 1 @2x2", "inserting col 1 @2x2",
                              "inserted col 1 @2x3", "moved col 2>0 @2x3", "moved col 0>2 @2x3"}));
        QCOMPARE(Rows(doc), (QStringList{"a|b|c", "1|2|3"}));
        QCOMPARE(doc.currentCol(), 2);
        doc.setObserver(nullptr);
    }

    void modifiedUntilSavedOrUndoneBack()
    {
        Write(path("m.txt"), "a\tb\r\n1\t2\r\n3\t4\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        int told = 0;
        doc.setHistoryListener([&told] { ++told; });
        QVERIFY(doc.open(NativePath(path("m.txt")), target).ok());
        QVERIFY(!doc.isModified());
        doc.setCell(0, 1, "1"); // the same text: no change
        QVERIFY(!doc.isModified());
        QVERIFY(!doc.canUndo());
        told = 0;
        doc.setCell(0, 1, "x");
        QVERIFY(doc.isModified());
        QCOMPARE(told, 1);
        // Saved elsewhere: the open table still differs from its file.
        QVERIFY(doc.save(NativePath(path("other.txt"))).ok());
        QVERIFY(doc.isModified());
        QVERIFY(doc.save(NativePath(path("m.txt"))).ok());
        QVERIFY(!doc.isModified());
        QVERIFY(doc.undo());
        QVERIFY(doc.isModified()); // back to what was loaded, not to what was saved
        QVERIFY(doc.redo());
        QVERIFY(!doc.isModified());
        // A change made after undoing past the save: the saved state is gone.
        QVERIFY(doc.undo());
        doc.setCell(1, 1, "y");
        QVERIFY(!doc.redo());
        QVERIFY(doc.undo());
        QVERIFY(doc.isModified());
        // With row numbers the file is not the grid.
        QVERIFY(doc.save(NativePath(path("m.txt"))).ok());
        QVERIFY(!doc.isModified());
        QVERIFY(doc.save(NativePath(path("m.txt")), 1).ok());
        QVERIFY(doc.isModified());
        // A new layout starts a new history, from the table as last saved.
        QVERIFY(doc.layOut(target));
        QVERIFY(!doc.canUndo());
        QVERIFY(!doc.isModified());
        QCOMPARE(Rows(doc), (QStringList{"0|a|b", "1|1|2", "2|3|4"}));
        QVERIFY(doc.open(NativePath(path("m.txt")), target).ok());
        QVERIFY(!doc.isModified());
        QVERIFY(!doc.canUndo());
    }

    void historyDropsItsOldestStepsPastItsLimit()
    {
        UndoHistory history(100);
        QString log;
        auto step = [&log](char name, std::size_t bytes) {
            return UndoStep{[&log, name] { log += QStringLiteral("-") + QLatin1Char(name); },
                            [&log, name] { log += QStringLiteral("+") + QLatin1Char(name); }, bytes};
        };
        history.push(step('a', 30));
        history.push(step('b', 30));
        QVERIFY(!history.isClean());
        QVERIFY(history.undo());
        QVERIFY(history.undo());
        QVERIFY(history.isClean());
        QVERIFY(history.redo());
        history.markClean();
        history.push(step('c', 80)); // b is dropped: redo gone, over the limit: a goes
        QCOMPARE(history.size(), std::size_t(1));
        QCOMPARE(history.bytes(), std::size_t(80));
        QVERIFY(history.undo());
        QVERIFY(!history.undo());
        QVERIFY(history.isClean());   // a's state was the clean one
        history.push(step('d', 120)); // larger than the limit: kept alone
        QCOMPARE(history.size(), std::size_t(1));
        QVERIFY(!history.isClean());
        QVERIFY(history.undo());
        QVERIFY(history.isClean());
        history.clear(false);
        QVERIFY(!history.isClean());
        QCOMPARE(log, QStringLiteral("-b-a+a-c-d"));
    }

    void pasteFileAndHeaderRow()
    {
        const std::string folder = NativePath(dir.path()) + "/";
        QFile::remove(path("ClipTablePasteHdr.txt"));
        QCOMPARE(TableDocument::writePasteFile("x\ny\n", folder).kind, PasteOutcome::Kind::NothingToPaste);
        const PasteOutcome made = TableDocument::writePasteFile("a\tb\n1\t2\n", folder);
        QCOMPARE(made.kind, PasteOutcome::Kind::Written);
        QCOMPARE(made.path, folder + "ClipTablePaste.txt");
        QCOMPARE(ReadAll(path("ClipTablePaste.txt")), QByteArray("Col 1\tCol 2\t\r\na\tb\t\r\n1\t2\t\r\n"));

        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(made.path, target).ok());
        doc.setCursor(0, 1);
        QVERIFY(doc.saveRowForHeader(folder));
        QCOMPARE(ReadAll(path("ClipTablePasteHdr.txt")), QByteArray("a b"));
        QFile::remove(path("ClipTablePasteHdr.txt"));
    }
};

QTEST_GUILESS_MAIN(TestTableDocument)
#include "test_table_document.moc"
