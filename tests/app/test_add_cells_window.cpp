// Insert Row, Insert Row Below, Insert Column, Clear, Rename Column and Go
// to Row from their keys in the window: what the grid and the saved file hold
// after each, and Ctrl+Z giving the table back exactly.

#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"
#include "dialogs/FindReplaceDialog.h"
#include "dialogs/TextPrompt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto CtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

void Answer(const QString& text)
{
    answerNextTextPrompt([text](TextPrompt& f) {
        f.edit()->setText(text);
        f.okButton()->click();
    });
}

// The file Save writes of the window's table, over the table itself (the
// Save dialog, then the question whether to replace it).
QByteArray Saved(MainWindow& w, const QString& path)
{
    ModalCloser closer(SaveAs(path));
    Press(&w, Qt::Key_S, CtrlShift);
    if (!QTest::qWaitFor([&] { return closer.seen == 2; }, WaitMs))
        return "<not saved: " + closer.windows().toUtf8() + ">";
    return ReadAll(path);
}

} // namespace

class TestAddCellsWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    void fromTheirKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mods");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("cursorCol");
        QTest::addColumn<int>("cursorRow");
        QTest::addColumn<QString>("step");
        const QString insertRow = QStringLiteral("درج ردیف");
        // The cursor starts on column 1 of row 2, "4".
        QTest::newRow("insert row") << int(Qt::Key_Insert) << int(Ctrl) << "" << QByteArray("h,v\n1,2\n,\n3,4\n5,6\n")
                                    << 1 << 2 << insertRow;
        QTest::newRow("insert row below") << int(Qt::Key_Insert) << int(CtrlShift) << ""
                                          << QByteArray("h,v\n1,2\n3,4\n,\n5,6\n") << 1 << 3 << insertRow;
        QTest::newRow("insert column") << int(Qt::Key_Insert) << int(Qt::AltModifier) << ""
                                       << QByteArray("h,,v\n1,,2\n3,,4\n5,,6\n") << 1 << 2
                                       << QStringLiteral("درج ستون");
        QTest::newRow("clear") << int(Qt::Key_Delete) << 0 << "" << QByteArray("h,v\n1,2\n3,\n5,6\n") << 1 << 2
                               << QStringLiteral("پاک کردن خانه‌ها");
        QTest::newRow("go to row") << int(Qt::Key_G) << int(Ctrl) << "۳" << QByteArray() << 1 << 3 << QString();
        // An ASCII file is a Windows-1256 table: the name is saved in it.
        QTest::newRow("rename column") << 0 << 0 << "مبلغ" << QByteArray("h,\xE3\xC8\xE1\xDB\n1,2\n3,4\n5,6\n") << 1
                                       << 2 << QStringLiteral("تغییر نام ستون");
    }
    void fromTheirKeys()
    {
        QFETCH(int, key);
        QFETCH(int, mods);
        QFETCH(QString, answer);
        QFETCH(QByteArray, after);
        QFETCH(int, cursorCol);
        QFETCH(int, cursorRow);
        QFETCH(QString, step);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        const QByteArray file("h,v\n1,2\n3,4\n5,6\n");
        Write(path, file);
        auto w = OpenWindow(path);
        Click(*w, 1, 2);
        if (!answer.isEmpty())
            Answer(answer);
        if (key)
            Press(w->grid(), Qt::Key(key), Qt::KeyboardModifiers(mods));
        else
            w->command("renameColumn")->trigger();
        QCOMPARE(w->document().currentCol(), cursorCol);
        QCOMPARE(w->document().currentRow(), cursorRow);
        // The view's cursor is the document's.
        QCOMPARE(w->grid()->currentIndex().column(), cursorCol);
        QCOMPARE(w->grid()->gridModel().gridRow(w->grid()->currentIndex().row()), cursorRow);
        if (after.isEmpty()) {
            QVERIFY(!w->isWindowModified());
            return;
        }
        QVERIFY(w->isWindowModified());
        // The Edit menu names the step.
        QCOMPARE(w->command("undo")->text(), QStringLiteral("واگرد ") + step);
        QCOMPARE(Saved(*w, path), after);
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(w->command("redo")->text(), QStringLiteral("ازنو ") + step);
        QCOMPARE(w->command("undo")->text(), QStringLiteral("Undo"));
        QCOMPARE(Saved(*w, path), file);
        Press(w.get(), Qt::Key_Y, Ctrl);
        QCOMPARE(Saved(*w, path), after);
    }

    // Ctrl+V writes the clipboard's cells from the cursor on, the block left
    // selected; an HTML table when there is no text; a character the table
    // cannot hold refuses the paste by name.
    void pasteIntoCells()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, "h,v\n1,2\n");
        auto w = OpenWindow(path);
        Click(*w, 1, 1);
        QGuiApplication::clipboard()->setText(QStringLiteral("\"x\ny\"\tعلی\n3\t4\n"));
        Press(w->grid(), Qt::Key_V, Ctrl);
        // The header row stays as short as it was.
        QCOMPARE(Saved(*w, path), QByteArray("h,v\n1,\"x\ny\",\xDA\xE1\xED\n,3,4\n"));
        QVERIFY(w->grid()->hasBlockSelection());
        const GridWidget::Block block = w->grid()->selectedBlock();
        QCOMPARE(block.rows, (std::vector<int>{1, 2}));
        QCOMPARE(block.firstCol, 1);
        QCOMPARE(block.lastCol, 2);
        QCOMPARE(w->document().currentRow(), 1);
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Saved(*w, path), QByteArray("h,v\n1,2\n"));

        auto* html = new QMimeData;
        html->setHtml(QStringLiteral("<table><tr><td>p</td><td>q<br>r</td></tr></table>"));
        QGuiApplication::clipboard()->setMimeData(html);
        Click(*w, 0, 1);
        Press(w->grid(), Qt::Key_V, Ctrl);
        QCOMPARE(Saved(*w, path), QByteArray("h,v\np,\"q\nr\"\n"));

        QGuiApplication::clipboard()->setText(QStringLiteral("₪"));
        ModalCloser closer;
        Press(w->grid(), Qt::Key_V, Ctrl);
        COMPARE_MESSAGES(closer, 1);
        QVERIFY2(closer.texts.front().contains(QStringLiteral("₪")), qPrintable(closer.texts.front()));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("p"));
    }

    // Ctrl+H: find, Tab, replace with, Enter; the status bar says how many
    // cells changed, and Ctrl+Z takes them all back.
    void findAndReplace()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, QStringLiteral("نام,شهر\nعلي,كرج\nعلي رضا,تهران\n").toUtf8());
        auto w = OpenWindow(path);
        ModalCloser closer([](QWidget* shown) {
            auto* d = qobject_cast<FindReplaceDialog*>(shown);
            if (!d) {
                if (auto* other = qobject_cast<QDialog*>(shown))
                    other->reject();
                return;
            }
            d->findEdit()->setText(QStringLiteral("علي"));
            QTest::keyClick(d->findEdit(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), d->replaceEdit());
            d->replaceEdit()->setText(QStringLiteral("علی"));
            QTest::keyClick(d->replaceEdit(), Qt::Key_Return);
        });
        Press(w.get(), Qt::Key_H, Ctrl);
        COMPARE_MODALS(closer, 1);
        QCOMPARE(w->statusLine()->currentMessage(), QStringLiteral("2 خانه تغییر کرد"));
        QCOMPARE(Cell(*w, 0, 2), QStringLiteral("علی رضا"));
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("علي"));
        QCOMPARE(Cell(*w, 0, 2), QStringLiteral("علي رضا"));
    }

    // A block selected is cleared whole, in one undo step; while a cell is
    // edited, Delete goes to the editor and the insert keys do nothing.
    void clearBlock()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, "h,v\n1,2\n3,4\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        Press(w->grid(), Qt::Key_Left, Qt::ShiftModifier); // right to left: Left goes to column 1
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w->grid(), Qt::Key_Delete);
        QCOMPARE(Saved(*w, path), QByteArray("h,v\n,\n,\n"));
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Saved(*w, path), QByteArray("h,v\n1,2\n3,4\n"));
    }

    void whileEditing()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, "h,v\n1,2\n3,4\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        QTest::keyClick(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Home);
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClick(editor, Qt::Key_Insert, Ctrl);
        QTest::keyClick(editor, Qt::Key_Insert, Qt::AltModifier);
        QCOMPARE(w->document().grid().RowCount(), 3);
        QCOMPARE(w->document().grid().ColCount(), 2);
        QTest::keyClick(editor, Qt::Key_Return);
        WAIT_COMPARE(Cell(*w, 0, 1), QString()); // the editor's Delete took the "1"
    }
};

QTEST_MAIN(TestAddCellsWindow)
#include "test_add_cells_window.moc"
