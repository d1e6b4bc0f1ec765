// Undo, redo and unsaved changes in the main window, driven by the real
// keys: the grid's cells, the title's modified mark, the files on disk and
// the question asked before a table with changes is closed or replaced.

#include "app/FontStore.h"
#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "dialogs/TextPrompt.h"
#include "render/QtText.h"
#include "text/TextFiles.h"

#include <QClipboard>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

using namespace rasmik;

namespace {

const Qt::KeyboardModifiers Ctrl = Qt::ControlModifier;

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting(appDir.path().toStdString() + "/");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void deletedRowComesBackInPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QByteArray bytes = "Name\tNo\r\n";
        for (int r = 1; r <= 200; ++r)
            bytes += "r" + QByteArray::number(r) + "\t" + QByteArray::number(r) + "\r\n";
        Write(path, bytes);
        auto w = OpenWindow(path);
        QAction* undo = w->command("undo");
        QAction* redo = w->command("redo");
        QVERIFY(!undo->isEnabled());
        QVERIFY(!redo->isEnabled());
        Click(*w, 1, 100);
        w->grid()->scrollTo(w->grid()->currentIndex(), QAbstractItemView::PositionAtCenter);
        const int scroll = w->grid()->verticalScrollBar()->value();

        Press(w.get(), Qt::Key_Delete, Ctrl);
        QCOMPARE(Cell(*w, 1, 100), QStringLiteral("101"));
        QVERIFY(undo->isEnabled());
        QVERIFY(w->isWindowModified());
        QCOMPARE(w->windowHandle()->title(), path + "*");

        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Cell(*w, 0, 100), QStringLiteral("r100"));
        QCOMPARE(Cell(*w, 1, 101), QStringLiteral("101"));
        QCOMPARE(w->grid()->model()->rowCount(), 200);
        QCOMPARE(w->grid()->currentIndex(), w->grid()->model()->index(99, 1));
        QCOMPARE(w->grid()->verticalScrollBar()->value(), scroll);
        QVERIFY(!w->isWindowModified());
        QCOMPARE(w->windowTitle(), path);
        QVERIFY(!undo->isEnabled());
        QVERIFY(redo->isEnabled());

        Press(w.get(), Qt::Key_Y, Ctrl);
        QCOMPARE(Cell(*w, 0, 100), QStringLiteral("r101"));
        Press(w.get(), Qt::Key_Z, Ctrl);
        Press(w.get(), Qt::Key_Z, Ctrl | Qt::ShiftModifier);
        QCOMPARE(Cell(*w, 0, 100), QStringLiteral("r101"));
        QCOMPARE(w->document().grid().RowCount(), 200);

        // Saved, the mark goes; undone past the save, it comes back.
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Ctrl | Qt::ShiftModifier);
        }
        QVERIFY(!ReadAll(path).contains("r100\t"));
        QCOMPARE(w->windowTitle(), path);
        Press(w.get(), Qt::Key_Z, Ctrl);
        QVERIFY(w->isWindowModified());
        Press(w.get(), Qt::Key_Y, Ctrl);
        QVERIFY(!w->isWindowModified());
    }

    void cellEditAndColumnDragUndone()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\tLonger header\r\nAli\t2\r\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        QTest::keyClick(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->setText(QStringLiteral("Reza"));
        QTest::keyClick(editor, Qt::Key_Return);
        WAIT_COMPARE(Cell(*w, 0, 1), QStringLiteral("Reza")); // committed from a queued call
        QVERIFY(w->isWindowModified());
        Click(*w, 1, 1);
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("Ali"));
        QCOMPARE(w->document().currentCol(), 0);
        QVERIFY(!w->isWindowModified());
        Press(w.get(), Qt::Key_Y, Ctrl);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("Reza"));

        QHeaderView* header = w->grid()->horizontalHeader();
        const int nameWidth = header->sectionSize(0);
        header->moveSection(1, 0); // dragged
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Longer header"));
        Press(w.get(), Qt::Key_Z, Ctrl);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Name"));
        QCOMPARE(header->sectionSize(0), nameWidth);
        QCOMPARE(w->document().currentCol(), 1);
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Ctrl | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QByteArray("Name\tLonger header\r\nReza\t2\r\n"));
    }

    void askedBeforeTheTableGoes_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("answer"); // 0: nothing changed, no question
        const char* ways[] = {"Esc",       "close button", "close on key", "Open",          "Pre File",
                              "Next File", "Paste Table",  "Font",         "Fix Cell Size", "Delete Col Order"};
        for (const char* way : ways) {
            QTest::addRow("%s, save", way) << way << int(QMessageBox::Save);
            QTest::addRow("%s, discard", way) << way << int(QMessageBox::Discard);
            QTest::addRow("%s, cancel", way) << way << int(QMessageBox::Cancel);
        }
        QTest::addRow("Esc, unchanged") << "Esc" << 0;
        QTest::addRow("Next File, unchanged") << "Next File" << 0;
    }
    void askedBeforeTheTableGoes()
    {
        QFETCH(QString, way);
        QFETCH(int, answer);
        QTemporaryDir dir;
        const QString path = dir.path() + "/m.txt";
        const QByteArray original =
            way == "close on key" ? "SardoVelam31415926535-1 0\r\nName\r\nAli\r\n" : "Name\r\nAli\r\n";
        Write(path, original);
        Write(dir.path() + "/a.txt", "A\r\n");
        Write(dir.path() + "/z.txt", "Z\r\n");
        auto w = OpenWindow(path);
        if (answer != 0)
            QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 0), QStringLiteral("edited")));
        QStringList asked;
        w->runUnsavedQuestion = [&](QMessageBox& box) {
            asked << QStringList{box.text(), box.button(QMessageBox::Save)->text(),
                                 box.button(QMessageBox::Discard)->text(), box.button(QMessageBox::Cancel)->text()}
                         .join('|');
            return answer;
        };
        w->runFontDialog = [](FontChooser&) { return int(QDialog::Accepted); };
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("10"));
            f.okButton()->click();
        });
        QGuiApplication::clipboard()->setText(QStringLiteral("x\ty\n1\t2\n"));
        // The save dialog saves over the table; Open's dialog picks z.txt.
        const ModalCloser::Handler save = SaveAs(path);
        const ModalCloser::Handler pick = SaveAs(dir.path() + "/z.txt");
        ModalCloser closer([&](QWidget* m) {
            auto* d = qobject_cast<QFileDialog*>(m);
            (d && d->acceptMode() == QFileDialog::AcceptOpen ? pick : save)(m);
        });

        if (way == "Esc")
            Press(w.get(), Qt::Key_Escape);
        else if (way == "close button")
            w->close();
        else if (way == "close on key")
            Press(w.get(), Qt::Key_A);
        else if (way == "Open")
            Press(w.get(), Qt::Key_F3);
        else if (way == "Pre File")
            Press(w.get(), Qt::Key_Left, Ctrl);
        else if (way == "Next File")
            Press(w.get(), Qt::Key_Right, Ctrl);
        else if (way == "Paste Table")
            Press(w.get(), Qt::Key_T, Ctrl | Qt::ShiftModifier);
        else if (way == "Font")
            Press(w.get(), Qt::Key_F1, Ctrl | Qt::ShiftModifier);
        else if (way == "Fix Cell Size")
            Press(w.get(), Qt::Key_S, Ctrl | Qt::AltModifier);
        else if (way == "Delete Col Order")
            w->command("deleteColumnOrder")->trigger();
        QFile::remove(appDir.path() + "/Font.fnt");

        if (answer != 0)
            QCOMPARE(asked, QStringList{QStringLiteral("تغییرات جدول ذخیره شود؟|ذخیره|ذخیره نشود|انصراف")});
        else
            QCOMPARE(asked, QStringList());
        const bool closing = way == "Esc" || way == "close button" || way == "close on key";
        const QString caption = QString::fromStdString(w->caption());
        bool gone = false;
        if (closing)
            gone = !w->isVisible();
        else if (way == "Open" || way == "Next File")
            gone = caption == dir.path() + "/z.txt";
        else if (way == "Pre File")
            gone = caption == dir.path() + "/a.txt";
        else if (way == "Paste Table")
            gone = caption.endsWith("ClipTablePaste.txt");
        else // laid out again: the changes are no longer in the history
            gone = caption == path && !w->document().canUndo();
        QCOMPARE(gone, answer != int(QMessageBox::Cancel));
        const QByteArray saved = ReadAll(path);
        QCOMPARE(saved.contains("edited"), answer == int(QMessageBox::Save));
        if (answer != int(QMessageBox::Save))
            QCOMPARE(saved, original);
        if (answer == int(QMessageBox::Cancel)) {
            QCOMPARE(Cell(*w, 0, 1), QStringLiteral("edited"));
            QVERIFY(w->isWindowModified());
        }
    }

    void cancelledSaveCancelsTheClose()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/m.txt";
        Write(path, "Name\r\nAli\r\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        Press(w.get(), Qt::Key_Delete, Ctrl);
        w->runUnsavedQuestion = [](QMessageBox&) { return int(QMessageBox::Save); };
        {
            ModalCloser closer; // the save dialog is cancelled
            Press(w.get(), Qt::Key_Escape);
            COMPARE_MODALS(closer, 1);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(ReadAll(path), QByteArray("Name\r\nAli\r\n"));
        QVERIFY(w->isWindowModified());
    }
};

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
