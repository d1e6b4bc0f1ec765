// The main window in a real X window, driven by keys and clicks through the
// X server: every way of closing it with a cell editor open keeps the edit
// and asks; under a filter the commands act on the rows that show and the
// cursor stays on one; after a change of shape the selection tinted on the
// screen, counted in the status bar and copied is one and the same block.

#include "DeleteWindow.h"

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "common/GridColours.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "dialogs/TextPrompt.h"
#include "render/QtText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

using namespace rasmik;

namespace {

bool Xdo(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

void Keys(const QStringList& keys)
{
    QVERIFY(Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + keys));
}

void Type(const QString& text)
{
    QVERIFY(Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), text}));
}

void ClickAt(const QPoint& global)
{
    QVERIFY(Xdo({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y()), "click", "1"}));
}

// The window gets the keyboard as after a click on it: no window manager here.
void Focus(MainWindow& w)
{
    QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(w.winId())}));
    QTRY_VERIFY(w.grid()->hasKeyboardFocus());
}

QImage GrabScreen()
{
    QCoreApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

QString Cell(const MainWindow& w, int col, int row)
{
    return ToQString(w.document().grid().Cell(col, row), w.document().grid().Encoding());
}

// A body cell's rectangle on the screen.
QRect CellOnScreen(GridWidget& grid, int col, int gridRow)
{
    const QModelIndex idx = grid.model()->index(grid.gridModel().modelRow(gridRow), col);
    const QRect r = grid.visualRect(idx);
    return QRect(grid.viewport()->mapToGlobal(r.topLeft()), r.size());
}

QColor MiddleOf(const QImage& img, const QRect& r)
{
    return img.pixelColor(r.left() + 2, r.top() + 1 + (r.height() - 2) / 2);
}

// The colour of a body cell that is not tinted, by its place.
QColor UntintedColour(MainWindow& w, int col, int row)
{
    if (row == w.document().currentRow() && col == w.document().currentCol())
        return w.grid()->hasKeyboardFocus() ? Yellow : Orange;
    return row == w.document().currentRow() ? Lilac : row % 2 ? OddBlue : White;
}

// The cursor is on a row that shows: the view's current cell is the
// document's, the status bar names its row, and it is yellow on the screen.
void ExpectCursorShown(MainWindow& w)
{
    const TableDocument& doc = w.document();
    const int row = doc.currentRow();
    const std::vector<int>& shown = doc.shownRows();
    QVERIFY2(!doc.isFiltered() || std::binary_search(shown.begin(), shown.end(), row),
             qPrintable(QStringLiteral("the cursor is on row %1, which the filter hides").arg(row)));
    const QModelIndex current = w.grid()->currentIndex();
    QVERIFY(current.isValid());
    QCOMPARE(w.grid()->gridModel().gridRow(current.row()), row);
    QCOMPARE(current.column(), doc.currentCol());
    QVERIFY2(w.statusLine()->cellLabel()->text().startsWith(QStringLiteral("ردیف %1،").arg(row)),
             qPrintable(w.statusLine()->cellLabel()->text()));
    QTRY_COMPARE(MiddleOf(GrabScreen(), CellOnScreen(*w.grid(), doc.currentCol(), row)), Yellow);
}

// The first visible body cell, but the cursor's, whose tint on the screen
// does not say whether it is in the block; empty when every one does.
QString TintNotAsBlock(MainWindow& w, const GridWidget::Block& block, bool blockShown)
{
    GridWidget& grid = *w.grid();
    const std::set<int> rows(block.rows.begin(), block.rows.end());
    const QImage img = GrabScreen();
    const QRect view(grid.viewport()->mapToGlobal(QPoint(0, 0)), grid.viewport()->size());
    int checked = 0;
    for (int row = 1; row < w.document().grid().RowCount(); ++row)
        for (int col = 0; col < w.document().grid().ColCount(); ++col) {
            const QRect r = CellOnScreen(grid, col, row);
            // The cursor's cell shows the cursor, tinted or not.
            if (!view.contains(r) || (row == w.document().currentRow() && col == w.document().currentCol()))
                continue;
            const bool inBlock = blockShown && rows.count(row) && col >= block.firstCol && col <= block.lastCol;
            const bool isTinted = MiddleOf(img, r) != UntintedColour(w, col, row);
            if (isTinted != inBlock)
                return QStringLiteral("cell %1, %2: tinted %3, in the block %4")
                    .arg(col)
                    .arg(row)
                    .arg(isTinted)
                    .arg(inBlock);
            ++checked;
        }
    return checked >= 12 ? QString() : QStringLiteral("only %1 cells show").arg(checked);
}

// The cells tinted on the screen (the header row's by whole columns), the
// status bar's count and the lines Copy puts on the clipboard are one block
// of cells (expectedCells of them, unless that is -1). A single cell is the
// cursor's alone: nothing is tinted or counted.
void ExpectOneSelection(MainWindow& w, int expectedCells)
{
    GridWidget& grid = *w.grid();
    if (expectedCells >= 0)
        QTRY_COMPARE(int(grid.selectedBlock().cellCount()), expectedCells);
    else
        QTest::qWait(300);
    const GridWidget::Block block = grid.selectedBlock();
    const bool blockShown = block.cellCount() > 1;
    QCOMPARE(grid.hasBlockSelection(), blockShown);
    if (!blockShown) { // the cursor's cell, and no other
        QCOMPARE(block.rows, std::vector<int>{w.document().currentRow()});
        QCOMPARE(block.firstCol, w.document().currentCol());
    }
    const std::set<int> rows(block.rows.begin(), block.rows.end());
    QTRY_COMPARE(TintNotAsBlock(w, block, blockShown), QString());
    for (int col = 0; col < w.document().grid().ColCount(); ++col)
        QCOMPARE(grid.isWholeColumnSelected(col), rows.count(0) && col >= block.firstCol && col <= block.lastCol);
    if (blockShown)
        QTRY_VERIFY2(w.statusLine()->selectionLabel()->text().startsWith(QString::number(block.cellCount()) + " "),
                     qPrintable(w.statusLine()->selectionLabel()->text()));
    else
        QTRY_VERIFY(w.statusLine()->selectionLabel()->text().isEmpty());
    QGuiApplication::clipboard()->setText(QStringLiteral("-"));
    Keys({"ctrl+c"});
    QTRY_VERIFY(QGuiApplication::clipboard()->text() != QStringLiteral("-"));
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), int(block.rows.size()));
    for (const QString& line : lines)
        QCOMPARE(line.count('\t') + 1, block.lastCol - block.firstCol + 1);
}

} // namespace

class TestWindowKeys : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting(appDir.path().toStdString() + "/");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X server");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is missing: scripts/setup installs it");
    }

    void closingKeepsTheOpenEdit_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("answer");
        // Esc in the editor drops the edit, as the command list says: it is no way out there.
        for (const char* way : {"close button", "File menu", "close on key"}) {
            QTest::addRow("%s, save", way) << way << int(QMessageBox::Save);
            QTest::addRow("%s, discard", way) << way << int(QMessageBox::Discard);
            QTest::addRow("%s, cancel", way) << way << int(QMessageBox::Cancel);
        }
    }
    // F2, typing, then a way out: the typed text is in its cell when the
    // question comes, and stays there unless the user lets it go.
    void closingKeepsTheOpenEdit()
    {
        QFETCH(QString, way);
        QFETCH(int, answer);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray original = way == "close on key" ? "SardoVelam31415926535-1 0\r\nName\tCity\r\nAli\tKaraj\r\n"
                                                          : "Name\tCity\r\nAli\tKaraj\r\n";
        QVERIFY(Write(path, original));
        MainWindow w({NativePath(path)});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CHECKED(Focus(w));
        QCOMPARE(w.document().currentRow(), 1);
        CHECKED(Keys({"F2"}));
        QTRY_VERIFY(w.grid()->isEditing());
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        if (way == "close on key") {
            // Every typed letter closes this table: the text comes as from an input method.
            editor->setText(QStringLiteral("AliReza"));
        } else {
            CHECKED(Keys({"End"}));
            CHECKED(Type(QStringLiteral("Reza")));
            QTRY_COMPARE(editor->text(), QStringLiteral("AliReza"));
        }
        int asked = 0;
        QString cellWhenAsked;
        w.runUnsavedQuestion = [&](QMessageBox&) {
            ++asked;
            cellWhenAsked = Cell(w, 0, 1);
            return answer;
        };
        ModalCloser closer(SaveAs(path));

        if (way == "close button") {
            QVERIFY(SendDeleteWindow(w));
        } else if (way == "close on key") {
            CHECKED(Keys({"x"}));
        } else {
            QAction* file = w.menuBar()->actions().front();
            CHECKED(ClickAt(w.menuBar()->mapToGlobal(w.menuBar()->actionGeometry(file).center())));
            QTRY_VERIFY(file->menu()->isVisible());
            CHECKED(
                ClickAt(file->menu()->mapToGlobal(file->menu()->actionGeometry(w.command("closeWindow")).center())));
        }
        QTRY_COMPARE(asked, 1);
        QCOMPARE(cellWhenAsked, QStringLiteral("AliReza"));
        if (answer == int(QMessageBox::Cancel)) {
            QTest::qWait(200);
            QVERIFY(w.isVisible());
            QCOMPARE(Cell(w, 0, 1), QStringLiteral("AliReza"));
            QVERIFY(w.isWindowModified());
            QCOMPARE(ReadAll(path), original);
        } else {
            QTRY_VERIFY(!w.isVisible());
            QCOMPARE(ReadAll(path).contains("AliReza"), answer == int(QMessageBox::Save));
        }
        QCOMPARE(asked, 1);
    }

    // A filter shows the rows of "red": Delete Row, typing and Delete Col
    // (blank) by their keys change only what shows, the cursor always on a
    // row that shows; an undone change under another filter shows its rows
    // again.
    void commandsUnderAFilterActWhereTheUserSees()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/f.txt";
        QVERIFY(Write(path,
                      "N\tA\tB\r\n1\tred 1,5\tx\r\n2\tblue 20\ty\r\n3\tred 3 kg\tz\r\n4\tblue 4\tw\r\n"
                      "5\tred 5\tv\r\n6\tblue 6\tu\r\n"));
        MainWindow w({NativePath(path)});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CHECKED(Focus(w));
        const auto filter = [&w](const QString& words) {
            answerNextTextPrompt([words](TextPrompt& f) {
                f.edit()->setText(words);
                f.okButton()->click();
            });
            Keys({"ctrl+shift+f"});
            QTRY_COMPARE(QString::fromStdString(w.document().filterText()), words);
            Focus(w);
        };
        CHECKED(filter(QStringLiteral("red")));
        QCOMPARE(w.grid()->model()->rowCount(), 3);
        CHECKED(Keys({"Left", "Down"}));
        QTRY_COMPARE(w.document().currentRow(), 3);
        QCOMPARE(w.document().currentCol(), 1);

        // The row below the deleted one is hidden: the cursor goes to the next that shows.
        CHECKED(Keys({"ctrl+Delete"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 6);
        CHECKED(ExpectCursorShown(w));
        QCOMPARE(w.document().currentRow(), 4);
        QCOMPARE(Cell(w, 1, 4), QStringLiteral("red 5"));
        CHECKED(Keys({"F2", "End"}));
        CHECKED(Type(QStringLiteral("0")));
        CHECKED(Keys({"Return"}));
        QTRY_COMPARE(Cell(w, 1, 4), QStringLiteral("red 50"));

        const QStringList hidden{Cell(w, 1, 2), Cell(w, 1, 3), Cell(w, 1, 5)};
        const auto hiddenKept = [&] { return QStringList{Cell(w, 1, 2), Cell(w, 1, 3), Cell(w, 1, 5)} == hidden; };
        CHECKED(Keys({"ctrl+shift+Delete"}));
        QTRY_COMPARE(Cell(w, 1, 4), QString());
        QCOMPARE(Cell(w, 1, 1), QString());
        QCOMPARE(Cell(w, 1, 0), QString());
        QVERIFY(hiddenKept());
        CHECKED(ExpectCursorShown(w));

        // Under a filter that hides them, an undone change shows its rows.
        CHECKED(filter(QStringLiteral("blue")));
        QCOMPARE(w.grid()->model()->rowCount(), 3);
        CHECKED(ExpectCursorShown(w));
        CHECKED(Keys({"ctrl+z"}));
        QTRY_COMPARE(Cell(w, 1, 4), QStringLiteral("red 50"));
        QCOMPARE(w.grid()->model()->rowCount(), 5);
        QCOMPARE(w.grid()->gridModel().modelRow(4), 3);
        CHECKED(ExpectCursorShown(w));

        // No row shows: the status bar says so; Delete Col blanks the header alone.
        CHECKED(filter(QStringLiteral("nowhere")));
        QCOMPARE(w.grid()->model()->rowCount(), 0);
        QTRY_COMPARE(w.statusLine()->cellLabel()->text(), QStringLiteral("هیچ ردیفی دیده نمی‌شود"));
        CHECKED(Keys({"ctrl+shift+Delete"}));
        QTRY_COMPARE(Cell(w, 1, 0), QString());
        QVERIFY(hiddenKept());
        QCOMPARE(Cell(w, 1, 4), QStringLiteral("red 50"));
    }

    // Select All, Delete Row, Undo, Redo, Alt+Del and Undo by their keys,
    // and a block chosen with Shift and the arrows.
    void selectionAfterAChangeOfShapeIsOneBlock()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/s.txt";
        QByteArray table = "Name\tNo\tNote\r\n";
        for (int r = 1; r <= 12; ++r)
            table +=
                "r" + QByteArray::number(r) + "\t" + QByteArray::number(r) + "\tn" + QByteArray::number(r) + "\r\n";
        QVERIFY(Write(path, table));
        MainWindow w({NativePath(path)});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CHECKED(Focus(w));
        w.runUnsavedQuestion = [](QMessageBox&) { return int(QMessageBox::Discard); };
        CHECKED(Keys({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down"}));
        QTRY_COMPARE(w.document().currentRow(), 10);
        CHECKED(Keys({"ctrl+a"}));
        CHECKED(ExpectOneSelection(w, 13 * 3));
        CHECKED(Keys({"ctrl+Delete"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 12);
        CHECKED(ExpectOneSelection(w, 12 * 3));
        CHECKED(Keys({"ctrl+z"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 13);
        CHECKED(ExpectOneSelection(w, 13 * 3));
        CHECKED(Keys({"ctrl+y"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 12);
        CHECKED(ExpectOneSelection(w, 12 * 3));
        CHECKED(Keys({"ctrl+z"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 13);
        CHECKED(Keys({"Left", "alt+Delete"}));
        QTRY_COMPARE(w.document().grid().ColCount(), 2);
        CHECKED(ExpectOneSelection(w, -1));
        CHECKED(Keys({"ctrl+z"}));
        QTRY_COMPARE(w.document().grid().ColCount(), 3);
        CHECKED(ExpectOneSelection(w, -1));

        // A block of four rows in two columns; its last row deleted and put back.
        CHECKED(Keys({"Up", "Up", "Up"}));
        QTRY_COMPARE(w.document().currentRow(), 7);
        CHECKED(ExpectOneSelection(w, 1));
        CHECKED(Keys({"shift+Down", "shift+Down", "shift+Down", "shift+Right"}));
        QTRY_COMPARE(w.document().currentRow(), 10);
        CHECKED(ExpectOneSelection(w, 4 * 2));
        CHECKED(Keys({"ctrl+Delete"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 12);
        CHECKED(ExpectOneSelection(w, 3 * 2));
        CHECKED(Keys({"ctrl+z"}));
        QTRY_COMPARE(w.document().grid().RowCount(), 13);
        CHECKED(ExpectOneSelection(w, -1));
    }
};

QTEST_MAIN(TestWindowKeys)
#include "tst_WindowKeys.moc"
