// Dragged onto the window from another program: a table file opens as Open
// opens it (the unsaved-changes question first), of several files the first,
// and text dropped on a cell is pasted there as Ctrl+V pastes it.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"

#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace rasmik;

namespace {

// Drops data on the window at the middle of the body cell (col, row), as a
// drop from another program arrives.
void Drop(MainWindow& w, QMimeData* data, int col = 0, int row = 1)
{
    GridWidget& grid = *w.grid();
    const QRect cell = grid.visualRect(grid.model()->index(grid.gridModel().modelRow(row), col));
    const QPoint at = grid.viewport()->mapTo(&w, cell.center());
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    QVERIFY(drop.isAccepted());
}

QMimeData* Files(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

} // namespace

class TestDropWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    void droppedFilesOpen_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one file") << 1;
        QTest::newRow("three files: the first") << 3;
    }

    void droppedFilesOpen()
    {
        QFETCH(int, count);
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("a.txt"), "h\r\nold\r\n"));
        QStringList dropped;
        for (int i = 0; i < count; ++i) {
            dropped << dir.filePath(QStringLiteral("b%1.csv").arg(i));
            QVERIFY(Write(dropped.back(), QByteArray("h,k\r\nfile") + QByteArray::number(i) + ",x\r\n"));
        }
        auto w = OpenWindow(dir.filePath("a.txt"));
        std::unique_ptr<QMimeData> data(Files(dropped));
        CHECKED(Drop(*w, data.get()));
        WAIT_COMPARE(Cell(*w, 0, 1), QStringLiteral("file0"));
        QCOMPARE(QString::fromStdString(w->document().path()), dropped.front());
        if (count > 1)
            QVERIFY2(w->statusBar()->currentMessage().contains(QString::number(count)),
                     qPrintable(w->statusBar()->currentMessage()));
    }

    // Unsaved changes are asked about first; cancelled, the table stays.
    void unsavedChangesAskedFirst()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("a.txt"), "h\r\nold\r\n"));
        QVERIFY(Write(dir.filePath("b.txt"), "h\r\nnew\r\n"));
        auto w = OpenWindow(dir.filePath("a.txt"));
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 0), QStringLiteral("edited")));
        int asked = 0;
        w->runUnsavedQuestion = [&asked](QMessageBox&) {
            ++asked;
            return int(QMessageBox::Cancel);
        };
        std::unique_ptr<QMimeData> data(Files({dir.filePath("b.txt")}));
        CHECKED(Drop(*w, data.get()));
        WAIT_COMPARE(asked, 1);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("edited"));
    }

    // Text from another program goes into the cells from the one under the
    // drop, as a paste: one step that Ctrl+Z takes back.
    void droppedTextIsPastedAtTheCell()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("a.txt"), "h1\th2\th3\r\na\tb\tc\r\nd\te\tf\r\n"));
        auto w = OpenWindow(dir.filePath("a.txt"));
        QMimeData data;
        data.setText(QStringLiteral("x\ty\n1\t2\n"));
        CHECKED(Drop(*w, &data, 1, 1));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("x"));
        QCOMPARE(Cell(*w, 2, 1), QStringLiteral("y"));
        QCOMPARE(Cell(*w, 1, 2), QStringLiteral("1"));
        QCOMPARE(Cell(*w, 2, 2), QStringLiteral("2"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("a"));
        QVERIFY(w->document().isModified());
        Press(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("b"));
        QCOMPARE(Cell(*w, 2, 2), QStringLiteral("f"));
    }
};

QTEST_MAIN(TestDropWindow)
#include "test_drop_window.moc"
