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

    // The session ends with a cell editor open: the edit is in the table
    // when the question comes (as at the close button, see test_window_keys);
    // without leave to ask, it is kept in the cell and the window stays.
    void sessionEndKeepsTheOpenEdit_data()
    {
        QTest::addColumn<bool>("mayAsk");
        QTest::addColumn<int>("answer");
        QTest::newRow("save") << true << int(QMessageBox::Save);
        QTest::newRow("discard") << true << int(QMessageBox::Discard);
        QTest::newRow("cancel") << true << int(QMessageBox::Cancel);
        QTest::newRow("nothing may be asked") << false << 0;
    }
    void sessionEndKeepsTheOpenEdit()
    {
        QFETCH(bool, mayAsk);
        QFETCH(int, answer);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\r\nAli\r\n");
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        QTest::keyClick(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, QStringLiteral("Reza"));
        QStringList asked;
        w->runUnsavedQuestion = [&](QMessageBox&) {
            asked << Cell(*w, 0, 1);
            return answer;
        };
        ModalCloser closer(SaveAs(path));
        const bool mayEnd = w->closeForSessionEnd(mayAsk);
        QCOMPARE(asked, mayAsk ? QStringList{QStringLiteral("AliReza")} : QStringList());
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("AliReza"));
        QCOMPARE(mayEnd, answer != int(QMessageBox::Cancel));
        QCOMPARE(w->isVisible(), !mayAsk || answer == int(QMessageBox::Cancel));
        QCOMPARE(ReadAll(path).contains("AliReza"), answer == int(QMessageBox::Save));
        // Ended without a word, the edit waits in its recovery record for the next start.
        w.reset();
        const std::string folder = appDir.path().toStdString() + "/";
        const std::vector<FoundRecord> left = LeftRecords(folder);
        QCOMPARE(left.size(), mayAsk ? std::size_t{0} : std::size_t{1});
        if (!mayAsk) {
            RecordContent record;
            QVERIFY(ReadRecoveryRecord(folder, left[0].stem, record).ok());
            QVERIFY(record.edits.find("AliReza") != std::string::npos);
            RemoveRecoveryRecord(folder, left[0].stem);
        }
    }

    // A second Paste Table over an edited paste: the question comes before
    // the paste file is touched; saved over the paste file, the edited table
    // stays in its backup; cancelled, nothing is written.
    void secondPasteAsksBeforeItWrites_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("save") << int(QMessageBox::Save);
        QTest::newRow("discard") << int(QMessageBox::Discard);
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
    }
    void secondPasteAsksBeforeItWrites()
    {
        QFETCH(int, answer);
        const QString paste = appDir.path() + "/ClipTablePaste.txt";
        const QString backup = appDir.path() + "/ClipTablePaste.Bak";
        QFile::remove(paste);
        QFile::remove(backup);
        QFile::remove(appDir.path() + "/ClipTablePasteHdr.txt");
        auto w = OpenWindow(QString());
        QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\n1\t2\n"));
        Press(w.get(), Qt::Key_T, Ctrl | Qt::ShiftModifier);
        const QByteArray first = "Col 1\tCol 2\t\r\na\tb\t\r\n1\t2\t\r\n";
        QCOMPARE(ReadAll(paste), first);
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 0), QStringLiteral("edited")));

        QGuiApplication::clipboard()->setText(QStringLiteral("x\ty\n3\t4\n"));
        QByteArray onDiskWhenAsked;
        w->runUnsavedQuestion = [&](QMessageBox&) {
            onDiskWhenAsked = ReadAll(paste);
            return answer;
        };
        {
            ModalCloser closer(SaveAs(paste)); // the save dialog offers the paste file
            Press(w.get(), Qt::Key_T, Ctrl | Qt::ShiftModifier);
        }
        QCOMPARE(onDiskWhenAsked, first);
        const QByteArray second = "Col 1\tCol 2\t\r\nx\ty\t\r\n3\t4\t\r\n";
        if (answer == int(QMessageBox::Cancel)) {
            QCOMPARE(ReadAll(paste), first);
            QCOMPARE(Cell(*w, 0, 1), QStringLiteral("edited"));
            QVERIFY(w->isWindowModified());
            return;
        }
        QCOMPARE(ReadAll(paste), second);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("x"));
        QVERIFY(!w->isWindowModified());
        // The file replaced was the edited table, when it had been saved there.
        QCOMPARE(ReadAll(backup).contains("edited"), answer == int(QMessageBox::Save));
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
