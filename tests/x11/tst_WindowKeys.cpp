// The main window in a real X window, driven by keys and clicks through the
// X server: every way of closing it with a cell editor open keeps the edit
// and asks; under a filter the commands act on the rows that show and the
// cursor stays on one.

#include "DeleteWindow.h"

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "common/GridColours.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "dialogs/TextPrompt.h"
#include "render/QtText.h"

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

} // namespace

// A helper's failed check ends the test there.
#define CHECKED(call)                                                                                                  \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

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
};

QTEST_MAIN(TestWindowKeys)
#include "tst_WindowKeys.moc"
