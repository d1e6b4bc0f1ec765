// Saving over the open table from the window: a table a NUL cut off asks
// first, a half character is named and kept, the grid follows the encoding
// it was saved in, a cell is named as the status bar names it; and what the
// command line names that is not a file.

#include "app/MainWindow.h"
#include "app/PromptSave.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "text/TextFiles.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace rasmik;

namespace {

QByteArray Utf16LE(const QString& text)
{
    QByteArray out("\xFF\xFE");
    for (const QChar c : text)
        out.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    return out;
}

// Types text into the cell under the cursor, as a user does.
void Type(rasmik::MainWindow& w, const QString& text)
{
    Press(w.grid(), Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    // Key events carrying the letters, as a Persian keyboard sends them.
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &release);
    }
    QTest::keyClick(editor, Qt::Key_Return);
}

} // namespace

class TestSavingOverWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    // The status bar says where a NUL cut the table off; saving over it asks
    // first (Cancel the default, Enter keeps the file), naming what is lost.
    void cutTableAsksBeforeSavingOver()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray file = QByteArray("Name\tCity\r\nAli\tKaraj") + '\0' + "the rest of the file\r\nReza\tQom\r\n";
        const QString lost = QStringLiteral("%1 بایت").arg(file.size() - 20);
        Write(path, file);
        auto w = OpenWindow(path);
        QCOMPARE(w->document().grid().RowCount(), 2);
        const QLabel* notice = w->statusLine()->textEndLabel();
        QVERIFY(!notice->isHidden());
        QVERIFY2(notice->text().contains(QStringLiteral("بایت 21 ")) && notice->text().contains(lost),
                 qPrintable(notice->text()));

        QString question;
        bool cancelIsDefault = false;
        bool answerSave = false;
        const ModalCloser::Handler saveAs = SaveAs(path);
        const auto handler = [&](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            if (box && box->button(QMessageBox::Save) && box->button(QMessageBox::Cancel)) {
                question = box->text() + '\n' + box->informativeText();
                cancelIsDefault = box->defaultButton() == box->button(QMessageBox::Cancel);
                if (answerSave)
                    box->button(QMessageBox::Save)->click();
                else
                    QTest::keyClick(box, Qt::Key_Return);
                return;
            }
            saveAs(m);
        };
        {
            ModalCloser closer(handler);
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QVERIFY(cancelIsDefault);
        QVERIFY2(question.contains(QStringLiteral("بایت 21 ")) && question.contains(lost), qPrintable(question));
        QCOMPARE(ReadAll(path), file);
        QVERIFY(!QFile::exists(dir.path() + "/t.Bak"));

        // Saved elsewhere, nothing is asked: the file dialog is all.
        {
            ModalCloser closer(SaveAs(dir.path() + "/u.txt"));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(closer.seen, 1);
        }
        QCOMPARE(ReadAll(dir.path() + "/u.txt"), QByteArray("Name\tCity\r\nAli\tKaraj\r\n"));

        answerSave = true;
        {
            ModalCloser closer(handler);
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QVERIFY(!question.isEmpty());
        QCOMPARE(ReadAll(path), QByteArray("Name\tCity\r\nAli\tKaraj\r\n"));
        QCOMPARE(ReadAll(dir.path() + "/t.Bak"), file);
        QVERIFY(notice->isHidden());
    }

    // The half character at the end of a UTF-16 file is named, makes no row,
    // and a save over the table writes it back.
    void halfCharacterNamedAndKept()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray file = Utf16LE(QStringLiteral("نام\tشهر\r\nعلی\tکرج\r\n")) + "A";
        Write(path, file);
        auto w = OpenWindow(path);
        QCOMPARE(w->document().grid().RowCount(), 2);
        const QLabel* notice = w->statusLine()->textEndLabel();
        QVERIFY(!notice->isHidden());
        QVERIFY2(notice->text().contains(QStringLiteral("نیمی از یک نویسه")) && notice->text().contains("0x41"),
                 qPrintable(notice->text()));
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), file);
        QVERIFY(!notice->isHidden());
    }

    // Saved over itself as UTF-8, a Windows-1256 table takes what is typed
    // next as UTF-8 does: U+06CC stays U+06CC.
    void typedAfterSavingInAnotherEncoding()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QByteArray("\xE4\xC7\xE3\t\xD4\xE5\xD1\r\n\xD1\xD6\xC7\t\xDE\xE3\r\n")); // نام شهر / رضا قم
        auto w = OpenWindow(path);
        {
            ModalCloser closer(SaveAs(path, QtFilter(TableFilterUtf8)));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("UTF-8"));
        QCOMPARE(ReadAll(path), QStringLiteral("نام\tشهر\r\nرضا\tقم\r\n").toUtf8());
        Click(*w, 0, 1);
        Type(*w, QStringLiteral("علی"));
        QTRY_COMPARE(Cell(*w, 0, 1), QStringLiteral("علی")); // committed from a queued call
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QStringLiteral("نام\tشهر\r\nعلی\tقم\r\n").toUtf8());
        QVERIFY(!ReadAll(path).contains("\xD9\x8A"));
    }

    // The message about a character that does not fit names the cell as
    // the status bar names it when the cursor is on it.
    void refusalNamesTheCellAsTheStatusBar()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path,
              QStringLiteral("کد\tنام\tسن\tشهر\r\n1\tعلی\t20\tکرج\r\n2\tرضا\t30\tقم\r\n"
                             "3\tمینا\t40\tیزد\r\n4\tسارا\t50\t₪\r\n")
                  .toUtf8());
        auto w = OpenWindow(path);
        Click(*w, 3, 4);
        const QString place = w->statusLine()->cellLabel()->text();
        QCOMPARE(place, QStringLiteral("ردیف 4، ستون \u2068شهر\u2069"));
        ModalCloser closer(SaveAs(dir.path() + "/out.txt", QtFilter(TableFilterWindows1256)));
        Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_VERIFY(!closer.texts.isEmpty() && closer.texts.last().contains("U+20AA"));
        QVERIFY2(closer.texts.last().contains(place), qPrintable(closer.texts.last()));
    }

    // A path on the command line that is not a regular file is refused with
    // its reason, as --convert refuses it; a pipe is never read.
    void commandLineNamesWhatIsNotAFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("device") << "device";
        QTest::newRow("pipe") << "pipe";
        QTest::newRow("folder") << "folder";
    }
    void commandLineNamesWhatIsNotAFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = "/dev/zero";
        QString reason = QStringLiteral("این نام یک فایل معمولی نیست.");
        if (kind == "pipe") {
            path = dir.path() + "/pipe.txt";
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        } else if (kind == "folder") {
            path = dir.path();
            reason = QStringLiteral("این نام یک پوشه است، نه فایل.");
        }
        ModalCloser closer;
        MainWindow w({QFile::encodeName(path).toStdString()});
        QCOMPARE(closer.seen, 1);
        QVERIFY2(closer.texts.value(0).contains(path) && closer.texts.value(0).contains(reason),
                 qPrintable(closer.texts.value(0)));
        QVERIFY(w.startupOpenFailed());
        QCOMPARE(w.caption(), std::string(StartCaption));
    }
};

QTEST_MAIN(TestSavingOverWindow)
#include "test_saving_over_window.moc"
