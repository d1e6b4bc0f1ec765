// The commands of the main window driven as a user drives them: shortcuts,
// menu items, the input dialog and the file dialogs; checked on the files
// written and the grid shown.

#include "app/FontStore.h"
#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/SteppedTime.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "dialogs/TextPrompt.h"
#include "export/ShellOpen.h"
#include "export/Workbook.h"
#include "export/XlsxReader.h"
#include "print/PrintCommand.h"
#include "render/QtText.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rasmik;

namespace {

void Answer(const QString& text)
{
    answerNextTextPrompt([text](TextPrompt& f) {
        f.edit()->setText(text);
        f.okButton()->click();
    });
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;
    QString app;

private slots:
    void initTestCase()
    {
        app = appDir.path() + "/";
        SetExeFolderForTesting(app.toStdString());
        // Settings are read once, at the first window: start maximized.
        Write(QString::fromStdString(SettingsFileName(ExecutablePath(), ExeFolder())), "Maximize=1\r\n");
    }

    void startsMaximizedFromSettings()
    {
        MainWindow w;
        QVERIFY(w.command("toggleMaximize")->isChecked());
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        const QString settings = QString::fromStdString(Settings().FileName);
        w.command("toggleMaximize")->trigger();
        QVERIFY(!(w.windowState() & Qt::WindowMaximized));
        QCOMPARE(ReadAll(settings), QByteArray());
        w.command("toggleMaximize")->trigger();
        QCOMPARE(ReadAll(settings), QByteArray("Maximize=1\r\n"));
        QVERIFY(w.windowState() & Qt::WindowMaximized);
    }

    void failedAutomaticOpenSkipsTheWindowState()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/locked.txt";
        Write(path, "a\r\n");
        const HeldLock lock(QFile::encodeName(path).toStdString());
        QVERIFY(lock.held());
        ModalCloser closer;
        MainWindow w({QFile::encodeName(path).toStdString()});
        COMPARE_MODALS(closer, 1);
        QVERIFY(closer.texts.value(0).contains(path));
        QVERIFY(w.startupOpenFailed());
        QVERIFY(!w.command("toggleMaximize")->isChecked());
        QVERIFY(!(w.windowState() & Qt::WindowMaximized));
    }

    void saveShortcutWritesTheGridWithABackup()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "SardoVelam31415926535-0 0\r\nName\tCity\r\nAli\t\r\n b \tx\r\n");
        auto w = OpenWindow(path);
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral(" "));
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        // The header block goes back in front of the rows.
        QCOMPARE(ReadAll(path), QByteArray("SardoVelam31415926535-0 0\r\nName\tCity\r\nAli\t \r\nb \tx\r\n"));
        QCOMPARE(ReadAll(dir.path() + "/t.Bak"),
                 QByteArray("SardoVelam31415926535-0 0\r\nName\tCity\r\nAli\t\r\n b \tx\r\n"));

        // Save With Rows under another name: numbered from the start code, no backup.
        const QString other = dir.path() + "/numbered.txt";
        Answer("1");
        {
            ModalCloser closer(SaveAs(other));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        }
        QCOMPARE(ReadAll(other), QByteArray("1\tName\tCity\r\n2\tAli\t \r\n3\t b \tx\r\n"));
        QVERIFY(!QFile::exists(dir.path() + "/numbered.Bak"));
        QCOMPARE(w->document().path(), path.toStdString());
        // The numbering was for that save only.
        const QString again = dir.path() + "/again.txt";
        {
            ModalCloser closer(SaveAs(again));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(again), QByteArray("Name\tCity\r\nAli\t \r\nb \tx\r\n"));
    }

    void failedSaveIsReportedAndKeepsFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\r\n");
        auto w = OpenWindow(path);
        const QString locked = dir.path() + "/readonly.txt";
        Write(locked, "old\r\n");
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
        ModalCloser closer(SaveAs(locked));
        w->saveTable();
        WAIT_VERIFY(closer.texts.join(' ').contains("readonly.txt"));
        QCOMPARE(ReadAll(locked), QByteArray("old\r\n"));
        QCOMPARE(ReadAll(path), QByteArray("a\tb\r\n"));
    }

    void editingShortcuts()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "No\tAmount\tNote\r\n1\t1,234.50\tx\r\n2\t-7\ty\r\n3\t12 kg\tz\r\n");
        auto w = OpenWindow(path);
        Click(*w, 1, 1);
        Press(w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier); // Simple Number
        QCOMPARE(Cell(*w, 1, 0), QStringLiteral("Amount"));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("1234.50"));
        QCOMPARE(Cell(*w, 1, 2), QStringLiteral("-7")); // the sign stays
        QCOMPARE(Cell(*w, 1, 3), QStringLiteral("12"));
        Press(w.get(), Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier); // Shift Col N+1 to N
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("x"));
        QCOMPARE(Cell(*w, 2, 1), QStringLiteral("x"));
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier); // Delete Col (blank)
        QCOMPARE(Cell(*w, 1, 0), QString());
        QCOMPARE(w->document().grid().ColCount(), 3);
        Press(w.get(), Qt::Key_Delete, Qt::AltModifier); // Delete Col (remove)
        QCOMPARE(w->document().grid().ColCount(), 2);
        QCOMPARE(Cell(*w, 1, 0), QStringLiteral("Note"));
        Click(*w, 1, 3);
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier); // Delete Row, the last one
        QCOMPARE(w->document().grid().RowCount(), 3);
        QCOMPARE(w->grid()->model()->rowCount(), 2);
        QCOMPARE(w->document().currentRow(), 2);
        QCOMPARE(w->grid()->currentIndex().row(), 1);

        // Fix Cell Size: the widths in the .cfg, the table cut again as loaded.
        int asked = 0;
        w->runUnsavedQuestion = [&asked](QMessageBox&) { return ++asked, int(QMessageBox::Discard); };
        answerNextTextPrompt([](TextPrompt& f) {
            QCOMPARE(f.edit()->layoutDirection(), Qt::LeftToRight);
            QCOMPARE(f.edit()->text(), QString());
            f.edit()->setText("2 1");
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(ReadAll(dir.path() + "/t.cfg"), QByteArray("CellFormat=2 1\r\n"));
        QCOMPARE(asked, 1);
        QCOMPARE(w->document().grid().RowCount(), 4);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("No"));
        QCOMPARE(Cell(*w, 1, 0), QStringLiteral("\t")); // a TAB inside a fixed field stays
        QCOMPARE(Cell(*w, 2, 0), QStringLiteral("Amount"));
        // The dialog shows the widths left to right the next time.
        answerNextTextPrompt([](TextPrompt& f) {
            QCOMPARE(f.edit()->text(), QStringLiteral("2 1"));
            f.cancelButton()->click();
        });
        w->fixCellSize();
        QCOMPARE(ReadAll(dir.path() + "/t.cfg"), QByteArray("CellFormat=2 1\r\n"));
    }

    // Inside an open cell editor the editing keys edit the text; the commands
    // that delete or blank rows and columns wait; Esc drops the edit only.
    void keysInsideTheCellEditor()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "H1\tH2\r\nabc def\tx\r\nghi\ty\r\nlast\tz\r\n");
        Write(dir.path() + "/u.txt", "other\r\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        Press(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, "gh");
        QCOMPARE(editor->text(), QStringLiteral("abc defgh"));
        QTest::keyClick(editor, Qt::Key_Backspace, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("abc "));
        QTest::keyClick(editor, Qt::Key_Home);
        QCOMPARE(editor->cursorPosition(), 0);
        QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral(""));
        QTest::keyClicks(editor, "one two");
        // Words move the cursor as they are shown (Latin text runs left to right).
        QTest::keyClick(editor, Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(editor->cursorPosition(), 4);
        QTest::keyClick(editor, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(editor->cursorPosition(), 7);
        QCOMPARE(w->document().path(), path.toStdString()); // no Pre/Next File
        QCOMPARE(editor->text(), QStringLiteral("one two"));

        // The commands that delete, blank or shift do not run.
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        Press(w.get(), Qt::Key_Delete, Qt::AltModifier);
        Press(w.get(), Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        Press(w.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w->document().grid().RowCount(), 4);
        QCOMPARE(w->document().grid().ColCount(), 2);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("H1"));
        QCOMPARE(Cell(*w, 1, 2), QStringLiteral("y"));
        QCOMPARE(Cell(*w, 0, 2), QStringLiteral("ghi"));
        QCOMPARE(QApplication::focusWidget(), editor);

        // Esc drops the edit and leaves the window open.
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(w->isVisible());
        QVERIFY(!w->grid()->isEditing());
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("abc def"));

        // Any other command commits the edit first: Save writes it.
        Press(w->grid(), Qt::Key_F2);
        editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClicks(editor, "new");
        {
            ModalCloser closer(SaveAs(path));
            QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QByteArray("H1\tH2\r\nnew\tx\r\nghi\ty\r\nlast\tz\r\n"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("new"));
        QVERIFY(!w->grid()->isEditing());
        // Delete Row runs again once the editor is closed.
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->document().grid().RowCount(), 3);
    }

    void searchAndSearchAgain()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "red box\tx\r\n1\tnothing\r\n12\tBox\tRedwood Co\r\nr\tRED\tbox\r\n");
        auto w = OpenWindow(path);
        Press(w.get(), Qt::Key_F4); // before any search: nothing
        QCOMPARE(w->document().currentRow(), 1);
        Answer("red box");
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().currentRow(), 2);
        QCOMPARE(w->grid()->currentIndex().row(), 1);
        Press(w.get(), Qt::Key_F4);
        QCOMPARE(w->document().currentRow(), 3);
        Press(w.get(), Qt::Key_F4); // no more: back to row 1
        QCOMPARE(w->document().currentRow(), 1);
        // The dialog offers the last search again; cancelling keeps it.
        answerNextTextPrompt([](TextPrompt& f) {
            QCOMPARE(f.edit()->text(), QStringLiteral("red box"));
            f.cancelButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().searchText(), std::string("red box"));
        QCOMPARE(w->document().currentRow(), 1);
    }

    void fontCommandRebuildsTheGrid()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QByteArray rows = "Head\tLonger heading\r\nabc\tx\r\n";
        for (int r = 0; r < 300; ++r)
            rows += QByteArray::number(r) + "\ty\r\n";
        Write(path, rows);
        auto w = OpenWindow(path);
        const int before = w->document().grid().ColWidth(1);
        // Every row shown at the grid's row height (and its line), whichever
        // table or font came before.
        const auto rowsOfGridHeight = [&w] {
            const QHeaderView* rowHeader = w->grid()->verticalHeader();
            const int h = w->document().grid().DefaultRowHeight() + 1;
            if (rowHeader->count() != w->grid()->model()->rowCount())
                return false;
            for (int r = 0; r < rowHeader->count(); ++r)
                if (rowHeader->sectionSize(r) != h)
                    return false;
            return rowHeader->length() == h * rowHeader->count();
        };
        QVERIFY(rowsOfGridHeight());
        const int heightBefore = w->document().grid().DefaultRowHeight();
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 0), QStringLiteral("edited")));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("edited"));
        w->runUnsavedQuestion = [](QMessageBox&) { return int(QMessageBox::Discard); };
        w->runFontDialog = [](FontChooser& chooser) {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPointSize(20);
            f.setBold(true);
            chooser.setSelectedFont(f);
            chooser.setColourValue(255);
            return int(QDialog::Accepted);
        };
        Press(w.get(), Qt::Key_F1, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(ReadAll(app + "Font.fnt"), QByteArray("20 255 1 0 0 0 DejaVu Sans"));
        QCOMPARE(w->grid()->font().pointSize(), 20);
        QCOMPARE(w->headerStrip()->font().pointSize(), 20);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("abc")); // edits discarded by the rebuild
        QVERIFY(w->document().grid().ColWidth(1) > before);
        QVERIFY(w->document().grid().DefaultRowHeight() > heightBefore);
        QVERIFY(rowsOfGridHeight());

        // The next start reads the font back.
        MainWindow next;
        QCOMPARE(next.grid()->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(next.grid()->font().pointSize(), 20);
        QCOMPARE(next.gridFontColour(), 255);

        // Cancelling changes nothing.
        w->runFontDialog = [](FontChooser&) { return int(QDialog::Rejected); };
        w->chooseFont();
        QCOMPARE(ReadAll(app + "Font.fnt"), QByteArray("20 255 1 0 0 0 DejaVu Sans"));
        QFile::remove(app + "Font.fnt");
    }

    void columnOrderMemory()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/a.txt", "Name\tId\r\nAli\t1\r\n");
        Write(dir.path() + "/b.txt", "id\tna me\r\n2\tReza\r\n");
        auto w = OpenWindow(dir.path() + "/a.txt");
        w->runUnsavedQuestion = [](QMessageBox&) { return int(QMessageBox::Discard); };
        w->grid()->horizontalHeader()->moveSection(1, 0); // dragged: Id, Name
        w->command("saveColumnOrder")->trigger();
        QCOMPARE(ReadAll(app + "Option.cfg"), QByteArray("4944_4E414D45_=ID\tNAME\t\r\n"));
        w->openNextFile(); // b.txt: same names, already in that order
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("id"));
        w->openPreviousFile(); // a.txt again: reordered on load
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Id"));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("Ali"));
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 1), QStringLiteral("edited")));
        w->command("deleteColumnOrder")->trigger();
        QCOMPARE(ReadAll(app + "Option.cfg"), QByteArray());
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Name"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("Ali"));
    }

    void columnOrdersWaitedForWhileAnotherCopySaves()
    {
        Write(app + "Option.cfg", "4944_4E414D45_=ID\tNAME\t\r\n");
        HeldLock copy(QFile::encodeName(app + "Option.cfg").toStdString()); // another copy in the middle of its save
        QVERIFY(copy.held());
        // It is done after a few of the pauses that fit in one retry window.
        const SteppedTime time([&](int pause) {
            if (pause == 3)
                copy.release();
        });
        MainWindow w;
        QCOMPARE(w.document().columnOrders().size(), std::size_t(1));
        QVERIFY(time.pauses >= 3);
        QFile::remove(app + "Option.cfg");
    }

    void printCommand()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\tCity\r\nAli\tTehran\r\n");
        auto w = OpenWindow(path);
        QFile::remove(app + "HPrint.txt");
        answerNextTextPrompt([](TextPrompt& f) {
            QCOMPARE(f.edit()->text(), QString()); // first print: empty default
            f.edit()->setText(QStringLiteral("Monthly"));
            f.okButton()->click();
        });
        int previews = 0;
        {
            ModalCloser closer([&](QWidget* m) {
                if (auto* p = qobject_cast<QPrintPreviewDialog*>(m)) {
                    ++previews;
                    QCOMPARE(p->windowTitle(), QStringLiteral("Velam"));
                    p->reject();
                }
            });
            Press(w.get(), Qt::Key_P, Qt::ControlModifier);
        }
        QCOMPARE(previews, 1);
        QCOMPARE(ReadAll(app + "HPrint.txt"), QByteArray("Monthly"));
        QCOMPARE(w->printReport().lines().size(), std::size_t(3));
        QVERIFY(w->printReport().lines().front().find("Monthly") != std::string::npos);

        // Cancelling the title still prints, and leaves the file empty.
        Write(app + "HPrint.txt", "Old\r\n");
        answerNextTextPrompt([](TextPrompt& f) {
            QCOMPARE(f.edit()->text(), QStringLiteral("Old"));
            f.cancelButton()->click();
        });
        {
            ModalCloser closer([&](QWidget* m) {
                if (auto* p = qobject_cast<QPrintPreviewDialog*>(m)) {
                    ++previews;
                    p->reject();
                }
            });
            w->printTable();
        }
        QCOMPARE(previews, 2);
        QCOMPARE(ReadAll(app + "HPrint.txt"), QByteArray());
    }

    void pasteTableThroughTheClipboard()
    {
        QTemporaryDir dir;
        auto w = OpenWindow(QString());
        QFile::remove(app + "ClipTablePasteHdr.txt");
        QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\tc\n۱۲۳\tى\tک\n"));
        Press(w.get(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
        // Letters Windows-1256 holds stay themselves (ى 0xEC, ک 0x98); the
        // Persian digits it lacks come as ASCII ones.
        QCOMPARE(ReadAll(app + "ClipTablePaste.txt"),
                 QByteArray("Col 1\tCol 2\tCol 3\t\r\na\tb\tc\t\r\n123\t\xEC\t\x98\t\r\n"));
        QCOMPARE(w->windowTitle(), app + "ClipTablePaste.txt");
        QCOMPARE(Cell(*w, 0, 2), QStringLiteral("123"));

        // A remembered header row is found in the next paste.
        Click(*w, 0, 1);
        w->saveRowForHeader();
        QCOMPARE(ReadAll(app + "ClipTablePasteHdr.txt"), QByteArray("a b c"));
        QGuiApplication::clipboard()->setText(QStringLiteral("title\r\n\r\nA\tB\tC\r\n1\t2\t3\r\n"));
        w->pasteTable();
        QCOMPARE(ReadAll(app + "ClipTablePaste.txt"), QByteArray("A\tB\tC\t\r\n1\t2\t3\t\r\n"));

        // One column: nothing happens.
        Write(app + "ClipTablePaste.txt", "kept");
        QGuiApplication::clipboard()->setText(QStringLiteral("x\ny\n"));
        w->pasteTable();
        QCOMPARE(ReadAll(app + "ClipTablePaste.txt"), QByteArray("kept"));
        QFile::remove(app + "ClipTablePasteHdr.txt");
    }

    // A table named on the command line by a relative path is saved over
    // with its backup; a backup that cannot be made is told and the save
    // goes on; row numbers go past 32 bits.
    void savingFromTheWindow()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("tables/sub"));
        const QString path = QDir::cleanPath(dir.path() + "/tables/t.txt");
        Write(path, "a\tb\r\nc\td\r\n");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path() + "/tables/sub"));
        MainWindow w({"..//./../tables/t.txt"});
        QVERIFY(QDir::setCurrent(cwd));
        w.show();
        w.grid()->setFocus();
        QCOMPARE(QString::fromStdString(w.caption()), path);
        QCOMPARE(w.windowTitle(), path);
        {
            ModalCloser closer(SaveAs(path));
            Press(&w, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            COMPARE_MODALS(closer, 2); // the dialog and the overwrite question, nothing else
        }
        QCOMPARE(ReadAll(dir.path() + "/tables/t.Bak"), QByteArray("a\tb\r\nc\td\r\n"));

        // t.Bak is a folder: saved all the same, and the user is told.
        QVERIFY(QFile::remove(dir.path() + "/tables/t.Bak"));
        QVERIFY(QDir(dir.path()).mkdir("tables/t.Bak"));
        Click(w, 0, 1);
        QVERIFY(w.grid()->model()->setData(w.grid()->model()->index(0, 0), QStringLiteral("e")));
        {
            ModalCloser closer(SaveAs(path));
            Press(&w, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            COMPARE_MESSAGES(closer, 2); // the overwrite question, then the warning
            const QString warning = closer.texts[1];
            QVERIFY(warning.contains(dir.path() + "/tables/t.Bak"));
            QVERIFY(warning.contains(QString::fromStdString(std::strerror(EISDIR))));
            QVERIFY(!warning.contains(path + QStringLiteral("\u00BB"))); // the table is not blamed
        }
        QCOMPARE(ReadAll(path), QByteArray("a\tb\r\ne\td\r\n"));

        // Save With Rows from the largest 32-bit start code counts on.
        const QString numbered = dir.path() + "/numbered.txt";
        Answer("2147483647");
        {
            ModalCloser closer(SaveAs(numbered));
            Press(&w, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        }
        QCOMPARE(ReadAll(numbered), QByteArray("2147483647\ta\tb\r\n2147483648\te\td\r\n"));
    }

    // "Note Pad" and "Values" hand the editor the path's bytes, also where
    // they are not UTF-8 (a Windows-1256 name from an archive).
    void textEditorGetsThePathBytes()
    {
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + "/\xD8\xCF\xE6\xE1"; // "table" in Windows-1256
        QVERIFY(::mkdir(folder.constData(), 0755) == 0);
        const QByteArray table = folder + "/\xD8\xCF\xE6\xE1 1.txt";
        {
            const int fd = ::open(table.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0);
            const char bytes[] = "H\tV\r\nx\t1\r\ny\t2\r\n";
            QCOMPARE(::write(fd, bytes, sizeof bytes - 1), ssize_t(sizeof bytes - 1));
            ::close(fd);
        }
        // The recording editor writes its arguments, one a line, byte for byte.
        const QByteArray log = QFile::encodeName(dir.path()) + "/editor.log";
        const QString editor = dir.path() + "/editor.sh";
        Write(editor, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + log + "'\n");
        QFile::setPermissions(editor, QFile::permissions(editor) | QFile::ExeOwner);
        // The program's folder has such a name too, for the "Values" list.
        SetExeFolderForTesting(folder.toStdString());
        {
            const int fd = ::open((folder + "/AppOptions.txt").constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const QByteArray line = "TextEditor=" + QFile::encodeName(editor) + "\r\n";
            QCOMPARE(::write(fd, line.constData(), size_t(line.size())), ssize_t(line.size()));
            ::close(fd);
        }
        AppOptions(true);
        {
            MainWindow w({table.toStdString()});
            QCOMPARE(w.document().path(), table.toStdString());
            w.command("openInTextEditor")->trigger();
            WAIT_COMPARE(ReadAll(QFile::decodeName(log)).toHex(), QByteArray(table + "\n").toHex());
            QFile::remove(QFile::decodeName(log));
            Click(w, 1, 1);
            w.command("showColumnValues")->trigger();
            WAIT_COMPARE(ReadAll(QFile::decodeName(log)).toHex(), QByteArray(folder + "/ColValue2.txt\n").toHex());
        }
        SetExeFolderForTesting(app.toStdString());
        AppOptions(true);
    }

    void columnExtractionSumAndTheTextEditor()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\tSum\tC\r\nb\t1,234.50\tApple\r\na\t(100)\tapple\r\nb\tabc\t\r\n\t12\tx\r\n");
        // A recording editor: appends its arguments to a file.
        const QString log = dir.path() + "/editor.log";
        const QString editor = dir.path() + "/editor.sh";
        Write(editor, QString("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(log).toUtf8());
        QFile::setPermissions(editor, QFile::permissions(editor) | QFile::ExeOwner);
        Write(app + "AppOptions.txt", ("TextEditor=" + editor + "\r\n").toUtf8());
        AppOptions(true);

        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        {
            ModalCloser closer(SaveAs(dir.path() + "/col.txt"));
            w->command("saveCurrentColumn")->trigger();
        }
        QCOMPARE(ReadAll(dir.path() + "/col.txt"), QByteArray("Name\r\nb\r\na\r\nb\r\n \r\n"));
        {
            ModalCloser closer(SaveAs(dir.path() + "/distinct.txt"));
            w->command("saveCurrentColumnWithoutRepeat")->trigger();
        }
        QCOMPARE(ReadAll(dir.path() + "/distinct.txt"), QByteArray(" \r\na\r\nb\r\nName\r\n"));

        Click(*w, 2, 1);
        Press(w.get(), Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier); // Values
        QCOMPARE(ReadAll(app + "ColValue3.txt"), QByteArray("Apple\r\nx\r\n"));
        WAIT_COMPARE(ReadAll(log), (app + "ColValue3.txt\n").toUtf8());

        QFile::remove(log);
        w->command("openInTextEditor")->trigger();
        WAIT_COMPARE(ReadAll(log), (path + "\n").toUtf8());

        Click(*w, 1, 1);
        ModalCloser closer;
        w->command("sumCurrentColumn")->trigger();
        QCOMPARE(closer.texts, QStringList{"1,146.5"});
        QFile::remove(app + "AppOptions.txt");
        AppOptions(true);
    }

    void excelCommand()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\r\n007\t=SUM(A1)\r\n");
        auto w = OpenWindow(path);
        QStringList opened;
        SetUrlOpenerForTesting([&](const QUrl& url) {
            opened << url.toLocalFile();
            return true;
        });
        const QString book = dir.path() + "/t.xlsx";
        {
            ModalCloser closer(SaveAs(book));
            w->command("exportToExcel")->trigger();
        }
        QVERIFY(QFile::exists(book));
        QCOMPARE(opened, QStringList{book});

        // Switched off: nothing written, nothing opened.
        Write(app + "AppOptions.txt", "NoSheet=1\r\n");
        AppOptions(true);
        const QString off = dir.path() + "/off.xlsx";
        {
            ModalCloser closer(SaveAs(off));
            w->command("exportToExcel")->trigger();
            QCOMPARE(closer.texts, QStringList());
        }
        QVERIFY(!QFile::exists(off));
        QFile::remove(app + "AppOptions.txt");
        AppOptions(true);

        // Cancel: nothing.
        {
            ModalCloser closer;
            w->command("exportToExcel")->trigger();
        }
        QCOMPARE(opened.size(), 1);
        SetUrlOpenerForTesting({});
    }

    // The workbook holds what the grid shows: the edits, the sorted order,
    // a moved column, a deleted row, the rows a filter lets show.
    void excelExportsWhatTheGridShows_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<QStringList>>("sheet");
        QTest::newRow("edited and sorted")
            << QString()
            << QList<QStringList>{
                   {"No", "Name", "City"}, {"1", "Reza", ""}, {"2", "Sara", "Qom"}, {"4", "Nima", "Yazd"}};
        QTest::newRow("filtered") << QStringLiteral("qom")
                                  << QList<QStringList>{{"No", "Name", "City"}, {"2", "Sara", "Qom"}};
    }
    void excelExportsWhatTheGridShows()
    {
        QFETCH(QString, filter);
        QFETCH(QList<QStringList>, sheet);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\tCity\tNo\r\nAli\tKaraj\t3\r\nReza\t\t1\r\nSara\tShiraz\t2\r\nNima\tYazd\t4\r\n");
        auto w = OpenWindow(path);
        SetUrlOpenerForTesting([](const QUrl&) { return true; });
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(2, 1), QStringLiteral("Qom")));
        Click(*w, 2, 1);
        Press(w.get(), Qt::Key_F6);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("Reza"));
        w->grid()->horizontalHeader()->moveSection(2, 0); // dragged
        Click(*w, 0, 3);
        QCOMPARE(Cell(*w, 1, 3), QStringLiteral("Ali"));
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier);
        if (!filter.isEmpty()) {
            Answer(filter);
            Press(w.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
            QVERIFY(w->document().isFiltered());
        }
        Press(w.get(), Qt::Key_A, Qt::ControlModifier); // a selection changes nothing
        const QString book = dir.path() + "/t.xlsx";
        {
            ModalCloser closer(SaveAs(book));
            w->command("exportToExcel")->trigger();
        }
        SetUrlOpenerForTesting({});
        const XlsxSheet read = ReadXlsxSheet(book);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.dimension, QStringLiteral("A1:C%1").arg(sheet.size()));
        QList<QStringList> cells;
        for (int r = 0; r < sheet.size(); ++r) {
            QStringList row;
            for (int c = 0; c < 3; ++c)
                row << read.cells.value(QString::fromStdString(CellAddress(c + 1, std::size_t(r) + 1))).text;
            cells << row;
        }
        QCOMPARE(cells, sheet);
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
