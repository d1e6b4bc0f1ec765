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

#include <QLabel>
#include <QLineEdit>
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
        QCOMPARE(ReadAll(path), Utf16(QStringLiteral("نام\tمبلغ\r\nکیان\t۱۲\r\n"), false));
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
        QTRY_COMPARE(closer.texts.size(), 2); // the overwrite question, then the message
        const QString message = closer.texts.last();
        QVERIFY2(message.contains(QStringLiteral("ردیف 3")) && message.contains(QStringLiteral("ستون 2"))
                     && message.contains(QStringLiteral("₪")) && message.contains("U+20AA"),
                 qPrintable(message));
        QCOMPARE(ReadAll(target), QByteArray("old\r\n"));
        QCOMPARE(ReadAll(path), table);
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("UTF-8"));
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
        QTRY_VERIFY(QFile::exists(log));
        QFile::remove(appDir.path() + "/AppOptions.txt");
        AppOptions(true);
    }
};

QTEST_MAIN(TestEncodingsWindow)
#include "test_encodings_window.moc"
