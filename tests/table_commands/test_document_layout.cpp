// The open table's path, and the commands that lay the table out again:
// "Fix Cell Size" and "Delete Col Order" are all or nothing.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "table/ColumnOrder.h"
#include "table/TableDocument.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

namespace {

// Lines enough for the cells to report their progress.
const int BodyRows = 70000;

// The first two rows of the grid.
QByteArray Top(const CoreGrid& grid)
{
    return gridText(grid).split('\n').mid(0, 2).join('\n');
}

// Cancels the layout where the cells are made.
bool CancelAtCells(LoadStage stage, std::uint64_t, std::uint64_t)
{
    return stage != LoadStage::Cells;
}

} // namespace

class TestDocumentLayout : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

private slots:
    void cancelledFixCellSizeChangesNothing()
    {
        QTemporaryDir dir;
        Write(dir.filePath("t.txt"), "Name\tCity\r\n" + QByteArray("Ali\tTehran\r\n").repeated(BodyRows));
        Write(dir.filePath("t.cfg"), "CellFormat=2\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        doc.setCell(1, 1, "edited");
        const QByteArray before = gridText(doc.grid());
        const std::vector<int> widths{doc.grid().ColWidth(0), doc.grid().ColWidth(1)};

        QVERIFY(!doc.fixCellSize("1 1", target, CancelAtCells));
        QCOMPARE(doc.cellWidths(), std::string("2"));
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), QByteArray("CellFormat=2\r\n"));
        QCOMPARE(gridText(doc.grid()), before);
        QCOMPARE(doc.grid().ColWidth(0), widths[0]);

        QVERIFY(doc.fixCellSize("1 1", target));
        QCOMPARE(doc.cellWidths(), std::string("1 1"));
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), QByteArray("CellFormat=1 1\r\n"));
        QCOMPARE(Top(doc.grid()), QByteArray("N|a|me|City\nA|l|i|Tehran"));
    }

    void cancelledDeleteColumnOrderKeepsTheOrder()
    {
        QTemporaryDir dir;
        const QString option = dir.filePath("Option.cfg");
        const CoreGrid wanted = makeGrid("Id|Name");
        const QByteArray line = q(ColumnOrderKey(wanted) + "=" + ColumnOrderValue(wanted)) + "\r\n";
        Write(option, line);
        Write(dir.filePath("t.txt"), "Name\tId\r\n" + QByteArray("Ali\t1\r\n").repeated(BodyRows));
        TableDocument doc;
        doc.loadColumnOrders(option.toStdString());
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(Top(doc.grid()), QByteArray("Id|Name\n1|Ali"));

        QVERIFY(!doc.deleteColumnOrder(target, CancelAtCells));
        QCOMPARE(ReadAll(option), line);
        QCOMPARE(doc.columnOrders().size(), std::size_t(1));
        QCOMPARE(Top(doc.grid()), QByteArray("Id|Name\n1|Ali"));

        QVERIFY(doc.deleteColumnOrder(target));
        QCOMPARE(ReadAll(option), QByteArray());
        QVERIFY(doc.columnOrders().empty());
        QCOMPARE(Top(doc.grid()), QByteArray("Name|Id\nAli|1"));
    }

    // A large table's widths are found as its cells are laid out, before the
    // stored order moves the columns: each width goes with its column.
    void storedOrderKeepsEachColumnsWidth()
    {
        QTemporaryDir dir;
        const QString option = dir.filePath("Option.cfg");
        const CoreGrid wanted = makeGrid("Id|Name");
        Write(option, q(ColumnOrderKey(wanted) + "=" + ColumnOrderValue(wanted)) + "\r\n");
        Write(dir.filePath("t.txt"),
              "Name\tId\r\n" + QByteArray("Ali\t1\r\n").repeated(BodyRows) + "Alexander the Great\t12\r\n");
        TableDocument doc;
        doc.loadColumnOrders(option.toStdString());
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(Top(doc.grid()), QByteArray("Id|Name\n1|Ali"));
        QCOMPARE(doc.grid().ColWidth(0), 7 * 2);
        QCOMPARE(doc.grid().ColWidth(1), 7 * 19);
    }

    // A path is made clean once, when the table opens; saving over it under
    // the dialog's spelling then makes the backup.
    void openedPathIsCleanAndSavedWithBackup()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("tables/sub"));
        Write(dir.filePath("tables/t.txt"), "a\tb\r\n");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.filePath("tables/sub")));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        const FileStatus opened = doc.open("..//./../tables/t.txt", target);
        QVERIFY(QDir::setCurrent(cwd));
        QVERIFY(opened.ok());
        QCOMPARE(QString::fromStdString(doc.path()), QDir::cleanPath(dir.filePath("tables/t.txt")));
        doc.setCell(0, 0, "x");
        QVERIFY(doc.save(path(dir, "tables/t.txt")).ok());
        QCOMPARE(ReadAll(dir.filePath("tables/t.Bak")), QByteArray("a\tb\r\n"));
        QCOMPARE(ReadAll(dir.filePath("tables/t.txt")), QByteArray("x\tb\r\n"));
    }
};

QObject* makeDocumentLayoutTests()
{
    return new TestDocumentLayout;
}

#include "test_document_layout.moc"
