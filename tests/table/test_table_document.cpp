// The open table as a document, without any window: opening (all or
// nothing), laying out, the commands, and what an observer is told.

#include "table/TableDocument.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

// Every byte 7 pixels wide, lines 13 pixels high.
class FixedMetrics : public TextMetrics {
public:
    int textWidth(std::string_view text) const override { return 7 * static_cast<int>(text.size()); }
    int textHeight(std::string_view) const override { return 13; }
    int byteAdvanceBound(unsigned char) const override { return 7; }
    int maxByteAdvanceBound() const override { return 7; }
};

void Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

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
    explicit Recorder(const TableDocument& doc) : doc_(doc) {}
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
    void openReadsTableCfgHeaderAndFolder()
    {
        Write(path("b.txt"), "SardoVelam31415926535-1 1\r\nR\r\nC\r\nL\r\nab cd\tx\r\n1234\ty\r\n");
        Write(path("b.cfg"), "CellFormat=2\r\n");
        Write(path("a.TXT"), "other\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(Native(path("b.txt")), target).ok());
        QCOMPARE(Rows(doc), (QStringList{"ab| cd|x", "12|34|y"})); // a TAB-cut field keeps its spaces
        QCOMPARE(doc.path(), Native(path("b.txt")));
        QCOMPARE(doc.cellWidths(), std::string("2"));
        QVERIFY(doc.closeOnKey());
        QCOMPARE(doc.headerPanelCount(), 1);
        QCOMPARE(doc.openedHeader().labels, (std::vector<std::string>{"R", "C", "L"}));
        QCOMPARE(doc.lines().size(), std::size_t(2));
        QCOMPARE(doc.folderFiles().size(), std::size_t(2));
        QCOMPARE(doc.neighbourFile(+1), Native(path("a.TXT")));
        // Widths: the widest text, at least 10, at most 0.8 of the grid.
        QCOMPARE(doc.grid().ColWidth(0), 14);
        QCOMPARE(doc.grid().ColWidth(1), 21);
        QCOMPARE(doc.grid().DefaultRowHeight(), 13);
        QCOMPARE(doc.currentCol(), 0);
        QCOMPARE(doc.currentRow(), 1);

        // A table without a header block keeps close-on-key, shows no strip.
        QVERIFY(doc.open(Native(path("a.TXT")), target).ok());
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
        Write(path("new.txt"), "SardoVelam31415926535-1 0\r\n" + QByteArray(9 << 20, 'n') + "\r\n" +
                                   QByteArray("n\r\n").repeated(70000));
        Write(path("new.cfg"), "CellFormat=5\r\n");
        QDir(dir.path()).mkdir("sub.txt");
        TableDocument doc;
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(Native(path("old.txt")), target).ok());
        Recorder recorder(doc);
        doc.setObserver(&recorder);
        const LoadProgressFn progress = [cancelAt](LoadStage stage, std::uint64_t, std::uint64_t) {
            return int(stage) != cancelAt;
        };
        const FileStatus r = doc.open(Native(path(file.toLatin1().constData())), target, progress);
        QVERIFY(!r.ok());
        QCOMPARE(r.cancelled(), cancelled);
        QVERIFY(!r.ok());
        QCOMPARE(Rows(doc), (QStringList{"h1|h2", "v1|v2"}));
        QCOMPARE(doc.path(), Native(path("old.txt")));
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
        QVERIFY(doc.open(Native(path("t.txt")), target, progress).ok());
        QCOMPARE(doc.grid().ColWidth(0), 10);
    }

    void observerToldAroundEveryChange()
    {
        Write(path("t.txt"), "a\tb\tc\r\n1\t2\t3\r\n4\t5\t6\r\n");
        TableDocument doc;
        Recorder recorder(doc);
        doc.setObserver(&recorder);
        FixedLayoutTarget target(metrics, 100);
        QVERIFY(doc.open(Native(path("t.txt")), target).ok());
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
        QCOMPARE(recorder.events, (QStringList{"replacing @5x5", "replaced @3x3", "removing row 2 @3x3",
                                               "removed row 2 @2x3", "removing col 2 @2x3", "removed col 2 @2x2",
                                               "removing row 1 @2x2", "removed row 1 @1x2", "cell 1,0 @1x2",
                                               "cols 0-0 @1x2"}));
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
        QVERIFY(doc.open(Native(path("s.txt")), target).ok());
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
        QVERIFY(doc.saveCurrentColumn(Native(path("col.txt")), false).ok());
        QCOMPARE(ReadAll(path("col.txt")), QByteArray("Name\r\nred box\r\nblue\r\nred box\r\n"));

        // Save over the open table keeps a backup; with row numbers elsewhere.
        doc.setCursor(1, 1);
        doc.simpleNumber();
        QVERIFY(doc.save(Native(path("s.txt"))).ok());
        QCOMPARE(ReadAll(path("s.Bak")), QByteArray("Name\tSum\r\nred box\t1,000.5\r\nblue\t(2)\r\nred box\tx\r\n"));
        QCOMPARE(ReadAll(path("s.txt")), QByteArray("Name\tSum\r\nred box\t1000.5\r\nblue\t-2\r\nred box\r\n"));
        QVERIFY(doc.save(Native(path("n.txt")), 1).ok());
        QCOMPARE(ReadAll(path("n.txt")).left(9), QByteArray("0\tName\tSu"));

        // Fixed widths: kept in the .cfg, the lines cut again, edits gone.
        QVERIFY(doc.fixCellSize("3", target));
        QCOMPARE(ReadAll(path("s.cfg")), QByteArray("CellFormat=3\r\n"));
        QCOMPARE(doc.grid().Cell(0, 1), std::string_view("red"));
    }

    void pasteFileAndHeaderRow()
    {
        const std::string folder = Native(dir.path()) + "/";
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
