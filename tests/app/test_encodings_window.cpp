// UTF-8 and UTF-16 tables in the window: shown as their text, edited as
// typed, saved back in their own encoding or the one the Save dialog chooses,
// and named in the status bar.

#include "app/MainWindow.h"
#include "app/PromptSave.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "dialogs/TextPrompt.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

QByteArray Utf16(const QString& text, bool bigEndian)
{
    QByteArray out(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    for (const QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xFF);
        out.append(bigEndian ? hi : lo);
        out.append(bigEndian ? lo : hi);
    }
    return out;
}

// The dialog's name for a file type given as "name|pattern".
QString Type(const char* filter)
{
    return QtFilter(filter);
}

} // namespace

class TestEncodingsWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    // Each encoding is shown as its text, named in the status bar, and saved
    // back unchanged to the byte.
    void shownAndSavedBack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("type");
        const QString table = QStringLiteral("نام\tشهر\r\nعلی\tکرج\r\nمریم\tتهران\r\n");
        QTest::newRow("utf-8") << table.toUtf8() << "UTF-8" << Type(TableFilterUtf8);
        QTest::newRow("utf-8 with mark") << "\xEF\xBB\xBF" + table.toUtf8() << "UTF-8 with BOM"
                                         << Type(TableFilterUtf8);
        QTest::newRow("utf-16 le") << Utf16(table, false) << "UTF-16 LE" << Type(TableFilterUtf16);
        QTest::newRow("utf-16 be") << Utf16(table, true) << "UTF-16 BE" << Type(TableFilterUtf16);
        QTest::newRow("windows-1256") << QByteArray("\xE4\xC7\xE3\t\xD4\xE5\xD1\r\n\xDA\xE1\xED\t\x98\xD1\xCC\r\n")
                                      << "Windows-1256" << Type(TableFilterWindows1256);
    }
    void shownAndSavedBack()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, encoding);
        QFETCH(QString, type);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, file);
        auto w = OpenWindow(path);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("نام"));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("کرج"));
        QVERIFY(w->statusLine()->encodingLabel()->text().contains(encoding));
        QVERIFY(w->statusLine()->sizeLabel()->text().contains(QStringLiteral("ردیف")));
        QString offered;
        {
            ModalCloser closer(SaveAs(path, {}, &offered));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(offered, type);
        QCOMPARE(ReadAll(path), file);
        QCOMPARE(ReadAll(dir.path() + "/t.Bak"), file);
    }

    // Typed text stays as typed in a Unicode table: U+06CC and Persian digits
    // are kept; saved as Windows-1256 they take their nearest letters, and the
    // table is then Windows-1256.
    void typedTextAndConversion()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QStringLiteral("نام\tمبلغ\r\nعلی\t۱۲\r\n").toUtf8());
        auto w = OpenWindow(path);
        GridModel& model = w->grid()->gridModel();
        QVERIFY(model.setData(model.index(0, 0), QStringLiteral("کیان"), Qt::EditRole));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("کیان"));
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QStringLiteral("نام\tمبلغ\r\nکیان\t۱۲\r\n").toUtf8());
        {
            ModalCloser closer(SaveAs(path, Type(TableFilterWindows1256)));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QByteArray("\xE4\xC7\xE3\t\xE3\xC8\xE1\xDB\r\n\x98\xED\xC7\xE4\t12\r\n"));
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("Windows-1256"));
        QVERIFY(!w->isWindowModified());
        {
            ModalCloser closer(SaveAs(path, Type(TableFilterUtf16)));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        // The table holds what the Windows-1256 file held: yeh and ASCII digits.
        QCOMPARE(ReadAll(path), Utf16(QStringLiteral("نام\tمبلغ\r\nکيان\t12\r\n"), false));
    }

    // A character Windows-1256 cannot hold: nothing is written and the
    // message names the cell and the character.
    void refusedConversionNamesTheCell()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray table = QStringLiteral("کالا\tارز\r\nسکه\tدلار\r\nشکل\t₪\r\n").toUtf8();
        Write(path, table);
        auto w = OpenWindow(path);
        const QString target = dir.path() + "/out.txt";
        Write(target, "old\r\n");
        ModalCloser closer(SaveAs(target, Type(TableFilterWindows1256)));
        Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        COMPARE_MESSAGES(closer, 2); // the overwrite question, then the message
        const QString message = closer.texts.last();
        QVERIFY2(message.contains(QStringLiteral("ردیف 2، ستون \u2068ارز\u2069"))
                     && message.contains(QStringLiteral("₪")) && message.contains("U+20AA"),
                 qPrintable(message));
        QCOMPARE(ReadAll(target), QByteArray("old\r\n"));
        QCOMPARE(ReadAll(path), table);
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("UTF-8"));
    }

    // A character Windows-1256 lacks, typed into a cell of a Windows-1256
    // table, is refused with its U+ code whichever way the edit ends: the
    // cell keeps its text, the editor stays open and nothing is saved or
    // closed. A nearest letter is taken; a UTF-8 table takes everything.
    void characterTheEncodingLacksIsRefused_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("endedBy"); // Enter, Save, Close
        QTest::addColumn<QString>("refused"); // the U+ code named; empty: taken
        QTest::addColumn<QString>("cell");    // the cell afterwards
        QTest::newRow("sheqel, Enter") << false << QStringLiteral("۱۰ ₪") << "Enter"
                                       << "U+20AA"
                                       << "old";
        QTest::newRow("emoji, Save") << false << QStringLiteral("a😀") << "Save"
                                     << "U+1F600"
                                     << "old";
        QTest::newRow("CJK, window closed") << false << QStringLiteral("中") << "Close"
                                            << "U+4E2D"
                                            << "old";
        QTest::newRow("Persian separators take their nearest signs") << false << QStringLiteral("۱۲٬۵۰۰٫۵ ٪") << "Enter"
                                                                     << ""
                                                                     << "12,500.5 %";
        QTest::newRow("UTF-8 table takes the sheqel") << true << QStringLiteral("۱۰ ₪") << "Enter"
                                                      << ""
                                                      << "۱۰ ₪";
    }
    void characterTheEncodingLacksIsRefused()
    {
        QFETCH(bool, utf8);
        QFETCH(QString, typed);
        QFETCH(QString, endedBy);
        QFETCH(QString, refused);
        QFETCH(QString, cell);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray table =
            utf8 ? QStringLiteral("نام\tمبلغ\r\nold\tعلی\r\n").toUtf8() : QByteArray("\xE4\xC7\xE3\tx\r\nold\ty\r\n");
        Write(path, table);
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        Press(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->setText(typed);
        ModalCloser closer;
        if (endedBy == "Enter")
            QTest::keyClick(editor, Qt::Key_Return);
        else if (endedBy == "Save")
            QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        else
            w->close();
        if (refused.isEmpty()) {
            WAIT_VERIFY(!w->grid()->isEditing());
            QCOMPARE(Cell(*w, 0, 1), cell);
            QCOMPARE(closer.seen, 0);
            return;
        }
        COMPARE_MESSAGES(closer, 1);
        QVERIFY2(closer.texts.front().contains(refused), qPrintable(closer.texts.front()));
        // Told once: the message's own focus change does not tell it again.
        QCoreApplication::processEvents();
        QCOMPARE(closer.texts.size(), 1);
        QVERIFY(w->isVisible());
        QVERIFY(w->grid()->isEditing());
        QCOMPARE(editor->text(), typed);
        QCOMPARE(Cell(*w, 0, 1), cell);
        QCOMPARE(ReadAll(path), table);
        QVERIFY(!w->isWindowModified());
        // Mended, the edit is taken.
        editor->setText(QStringLiteral("new"));
        QTest::keyClick(editor, Qt::Key_Return);
        WAIT_VERIFY(!w->grid()->isEditing());
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("new"));
    }

    // A prompt's text is refused the same way: a search for '?' in place of
    // the sheqel would find what the user did not type.
    void promptRefusesACharacterTheEncodingLacks()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\r\n?\tx\r\nc\ty\r\n");
        auto w = OpenWindow(path);
        // The prompt is answered below; the message inside it is closed.
        ModalCloser closer([](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                box->reject();
        });
        bool stayedOpen = false;
        answerNextTextPrompt([&](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("₪"));
            f.okButton()->click();
            stayedOpen = f.isVisible();
            f.edit()->setText(QStringLiteral("c"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(stayedOpen);
        COMPARE_MESSAGES(closer, 1);
        QVERIFY2(closer.texts.front().contains("U+20AA"), qPrintable(closer.texts.front()));
        QCOMPARE(w->document().currentRow(), 2);
    }

    // Search takes the query in the table's form; Paste Table keeps a copied
    // table in Windows-1256 when it fits there, else in UTF-8.
    void searchAndPaste()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QStringLiteral("نام\tشهر\r\nعلی\tکرج\r\nمریم\tتهران\r\nNOTE\tشیراز\r\n").toUtf8());
        auto w = OpenWindow(path);
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("تهران مریم"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().currentRow(), 2);
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("note"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().currentRow(), 3);

        const QString pasted = appDir.path() + "/ClipTablePaste.txt";
        QFile::remove(appDir.path() + "/ClipTablePasteHdr.txt");
        QGuiApplication::clipboard()->setText(QStringLiteral("کالا\tقیمت\n۱۲\tمیز\n"));
        w->pasteTable();
        // ک is pasted as itself (0x98), so that a search typed on a Persian
        // keyboard finds it; ی, which the code page lacks, as its nearest yeh.
        QCOMPARE(ReadAll(pasted),
                 QByteArray("Col 1\tCol 2\t\r\n\x98\xC7\xE1\xC7\t\xDE\xED\xE3\xCA\t\r\n12\t\xE3\xED\xD2\t\r\n"));
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("Windows-1256"));
        QGuiApplication::clipboard()->setText(QStringLiteral("کالا\tارز\n۱۲\t₪\n"));
        w->pasteTable();
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("UTF-8"));
        QCOMPARE(Cell(*w, 1, 2), QStringLiteral("₪"));
        QVERIFY(ReadAll(pasted).contains(QStringLiteral("₪").toUtf8()));
    }

    // Copy: the selected block as tab-separated UTF-8 and as an HTML table,
    // column 0 first; whole columns bring their header row.
    void copyCells()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QStringLiteral("نام\tشهر\tسن\r\nعلی\tکرج\t30\r\nمریم\t\t<b>\r\n").toUtf8());
        auto w = OpenWindow(path);
        Click(*w, 0, 1);
        Press(w->grid(), Qt::Key_Left, Qt::ShiftModifier); // right to left: Left goes to column 1
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(data->text(), QStringLiteral("علی\tکرج\nمریم\t\n"));
        QVERIFY(data->html().contains(QStringLiteral("<td>مریم</td><td></td>")));

        // A click on a column's header selects the column with its header row.
        QHeaderView* header = w->grid()->horizontalHeader();
        const int x = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        QVERIFY(w->grid()->isWholeColumnSelected(2));
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("سن\n30\n<b>\n"));
        QVERIFY(QGuiApplication::clipboard()->mimeData()->html().contains("&lt;b&gt;"));

        Press(w.get(), Qt::Key_A, Qt::ControlModifier);
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("نام\tشهر\tسن\nعلی\tکرج\t30\nمریم\t\t<b>\n"));
    }

    // A UTF-8 table's header block and fixed widths count characters; the
    // last search goes on in the next table's encoding.
    void headerBlockWidthsAndSearchAcrossTables()
    {
        QTemporaryDir dir;
        const QString first = dir.path() + "/a.txt";
        Write(first, QByteArray("\xE4\xC7\xE3\r\n\xDA\xE1\xED\r\n\xE3\xD1\xED\xE3\r\n")); // نام علي مريم
        const QString second = dir.path() + "/b.txt";
        Write(
            second,
            QStringLiteral("SardoVelam31415926535-0 1\r\nراست\r\nمیان\r\nچپ\r\nکدنام\r\n۱۲علی\r\n۳۴مريم\r\n").toUtf8());
        Write(dir.path() + "/b.cfg", "CellFormat=2\r\n");
        auto w = OpenWindow(first);
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("مريم"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().currentRow(), 2);
        Press(w.get(), Qt::Key_Right, Qt::ControlModifier); // Next File
        QCOMPARE(w->caption(), second.toStdString());
        QCOMPARE(w->headerStrip()->label(1, 2)->text(), QStringLiteral("میان"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("۱۲"));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("علی"));
        Click(*w, 0, 1);
        Press(w.get(), Qt::Key_F4);
        QCOMPARE(w->document().currentRow(), 2);
    }

    // The "Values" list is UTF-8 for a text editor, whatever the table is in.
    void valuesListIsUtf8()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QByteArray("\xE4\xC7\xE3\r\n\xDA\xE1\xED\r\n\xE3\xD1\xED\xE3\r\n"));
        const QString log = dir.path() + "/editor.log";
        const QString editor = dir.path() + "/editor.sh";
        Write(editor, QString("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '%1'\n").arg(log).toUtf8());
        QFile::setPermissions(editor, QFile::permissions(editor) | QFile::ExeOwner);
        Write(appDir.path() + "/AppOptions.txt", ("TextEditor=" + editor + "\r\n").toUtf8());
        AppOptions(true);
        auto w = OpenWindow(path);
        w->command("showColumnValues")->trigger();
        QCOMPARE(ReadAll(appDir.path() + "/ColValue1.txt"),
                 QString::fromUtf8("\xD8\xB9\xD9\x84\xD9\x8A\r\n\xD9\x85\xD8\xB1\xD9\x8A\xD9\x85\r\n")
                     .toUtf8()); // yeh is U+064A there
        WAIT_VERIFY(QFile::exists(log));
        QFile::remove(appDir.path() + "/AppOptions.txt");
        AppOptions(true);
    }
};

QTEST_MAIN(TestEncodingsWindow)
#include "test_encodings_window.moc"
