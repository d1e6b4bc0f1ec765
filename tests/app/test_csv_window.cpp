// Comma-separated tables in the window: the three files a spreadsheet program
// writes shown, named in the status bar and saved back as they came; Reopen
// As; cells with line breaks shown on one line, whole in the tooltip and
// edited without losing them.

#include "app/MainWindow.h"
#include "app/PromptSave.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"
#include "render/QtText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

QByteArray Utf16LE(const QString& text)
{
    QByteArray out("\xFF\xFE");
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

void Trigger(MainWindow& w, const char* name)
{
    QAction* a = w.findChild<QAction*>(QString::fromLatin1(name));
    QVERIFY2(a, name);
    a->trigger();
}

} // namespace

class TestCsvWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    // A spreadsheet program's "CSV (comma delimited)" on a Persian Windows,
    // its "CSV UTF-8" and its "Unicode text": each shows its cells, names its
    // separator, offers its own file type and saves back to its own bytes.
    void spreadsheetFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("type");
        QTest::newRow("csv windows-1256")
            << "t.csv" << QByteArray("\xE4\xC7\xE3,\xE3\xC8\xE1\xDB\r\n\"\xCD\xD3\xE4, \xD1\xD6\xC7\",\"1,200\"\r\n")
            << QStringLiteral("ویرگول") << QtFilter(CsvFilterWindows1256);
        QTest::newRow("csv utf-8") << "t.csv"
                                   << "\xEF\xBB\xBF" + QStringLiteral("نام,مبلغ\r\n\"حسن, رضا\",\"1,200\"\r\n").toUtf8()
                                   << QStringLiteral("ویرگول") << QtFilter(CsvFilterUtf8);
        QTest::newRow("semicolons") << "t.csv" << QStringLiteral("نام;مبلغ\n\"حسن, رضا\";1,200\n").toUtf8()
                                    << QStringLiteral("نقطه‌ویرگول") << QtFilter(CsvFilterUtf8);
        QTest::newRow("unicode text") << "t.txt" << Utf16LE(QStringLiteral("نام\tمبلغ\r\nحسن, رضا\t1,200\r\n"))
                                      << QStringLiteral("TAB") << QtFilter(TableFilterUtf16);
    }
    void spreadsheetFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, file);
        QFETCH(QString, separator);
        QFETCH(QString, type);
        QTemporaryDir dir;
        const QString path = dir.path() + "/" + name;
        Write(path, file);
        auto w = OpenWindow(path);
        QCOMPARE(w->document().grid().ColCount(), 2);
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("نام"));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("حسن, رضا"));
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("1,200"));
        QVERIFY2(w->statusLine()->formLabel()->text().contains(separator),
                 qPrintable(w->statusLine()->formLabel()->text()));
        QString offered;
        {
            // The Save dialog, then the question whether to replace the file.
            ModalCloser closer(SaveAs(path, {}, &offered));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            COMPARE_MODALS(closer, 2);
        }
        QCOMPARE(offered, type);
        QCOMPARE(ReadAll(path), file);
    }

    // The file type chosen in the Save dialog decides the form: a .txt table
    // saved as CSV is comma-separated with quotes where needed, and a table
    // whose cell holds a line break is refused as a text file, naming it.
    void saveDialogChoosesTheForm()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "Name\tNote\r\nAli\ta, b\r\n");
        auto w = OpenWindow(path);
        const QString csv = dir.path() + "/t.csv";
        {
            ModalCloser closer(SaveAs(csv, QtFilter(CsvFilterUtf8)));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            COMPARE_MODALS(closer, 1);
        }
        QCOMPARE(ReadAll(csv), QByteArray("Name,Note\r\nAli,\"a, b\"\r\n"));

        GridModel& model = w->grid()->gridModel();
        QVERIFY(model.setData(model.index(0, 1), QStringLiteral("two\nlines"), Qt::EditRole));
        const QString text = dir.path() + "/u.txt";
        ModalCloser closer(SaveAs(text, QtFilter(TableFilterWindows1256)));
        Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        COMPARE_MESSAGES(closer, 1);
        QVERIFY2(closer.texts.front().contains("CSV"), qPrintable(closer.texts.front()));
        QVERIFY2(closer.texts.front().contains(QStringLiteral("ردیف 1")), qPrintable(closer.texts.front()));
        QCOMPARE(ReadAll(text), MissingFile);
        QVERIFY(w->isWindowModified());
    }

    // Reopen As reads the file again as told, keeps what is not told, asks
    // before unsaved changes are lost, and checks how the table was read.
    void reopenAs()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        // Comma and semicolon both give two fields; the guess is comma.
        Write(path, QStringLiteral("a,b;c\nعلی,x;y\n").toUtf8());
        auto w = OpenWindow(path);
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("x;y"));
        Trigger(*w, "reopenSemicolon");
        QCOMPARE(w->document().grid().ColCount(), 2);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("علی,x"));
        QVERIFY(w->statusLine()->formLabel()->text().contains(QStringLiteral("نقطه‌ویرگول")));

        Trigger(*w, "reopenWindows1256");
        QVERIFY(w->statusLine()->encodingLabel()->text().contains("Windows-1256"));
        QCOMPARE(w->document().form().separator, ';');
        QCOMPARE(Cell(*w, 0, 1), ToQString(QStringLiteral("علی,x").toUtf8().toStdString(), TextEncoding::Windows1256));

        // Unsaved changes: asked, and Cancel keeps them.
        GridModel& model = w->grid()->gridModel();
        QVERIFY(model.setData(model.index(0, 0), QStringLiteral("z"), Qt::EditRole));
        int asked = 0;
        int answer = QMessageBox::Cancel;
        w->runUnsavedQuestion = [&](QMessageBox&) {
            ++asked;
            return answer;
        };
        Trigger(*w, "reopenUtf8");
        QCOMPARE(asked, 1);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("z"));
        answer = QMessageBox::Discard;
        Trigger(*w, "reopenUtf8");
        QCOMPARE(asked, 2);
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("علی,x"));
        QVERIFY(!w->isWindowModified());

        auto* menu = w->findChild<QMenu*>(QStringLiteral("reopenMenu"));
        QVERIFY(menu);
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QStringList checked;
        for (QAction* a : menu->actions())
            if (a->isChecked())
                checked << a->objectName();
        QCOMPARE(checked, (QStringList{"reopenUtf8", "reopenSemicolon"}));
    }

    // A quote never closed: its field runs to the end of the file, and the
    // status bar says so.
    void unclosedQuoteIsNamed()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, "a,b\n1,\"open\n2,3\n");
        auto w = OpenWindow(path);
        QCOMPARE(Cell(*w, 1, 1), QStringLiteral("open\n2,3\n"));
        QLabel* notice = w->statusLine()->textEndLabel();
        QVERIFY(!notice->isHidden());
        QVERIFY2(notice->text().contains(QStringLiteral("بسته نشده")), qPrintable(notice->text()));
        Write(path, "a,b\n1,\"closed\"\n");
        Trigger(*w, "reopenComma");
        QVERIFY(notice->isHidden());
    }

    // Copy keeps a cell's lines: in quotes in the text, as spreadsheet
    // programs copy such a cell, and as lines of the HTML cell.
    void copyKeepsLines()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        Write(path, "h1,h2\n\"x\r\ny\",\"p\tq\"\n\"say \"\"hi\"\"\",z\n");
        auto w = OpenWindow(path);
        Press(w.get(), Qt::Key_A, Qt::ControlModifier);
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("h1\th2\n\"x\r\ny\"\t\"p\tq\"\nsay \"hi\"\tz\n"));
        QVERIFY(QGuiApplication::clipboard()->mimeData()->html().contains("<td>x<br>y</td>"));
    }

    // A cell's line breaks and TABs show on one line, one mark a break; the
    // editor keeps them.
    void lineBreaksInCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString mark = QString(QChar(LineBreakMark));
        QTest::newRow("none") << "one line"
                              << "one line";
        QTest::newRow("lf") << "a\nb" << QString("a" + mark + "b");
        QTest::newRow("cr lf is one break") << "a\r\nb" << QString("a" + mark + "b");
        QTest::newRow("lone cr, two lfs") << "a\rb\n\n" << QString("a" + mark + "b") + mark + mark;
        QTest::newRow("tab") << "a\tb"
                             << "a b";
    }
    void lineBreaksInCells()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QString s = text;
        QCOMPARE(ShowOnOneLine(s), text != shown);
        QCOMPARE(s, shown);

        QTemporaryDir dir;
        const QString path = dir.path() + "/t.csv";
        QByteArray quoted = text.toUtf8();
        quoted.replace("\"", "\"\"");
        Write(path, "h\n\"" + quoted + "\"\n");
        auto w = OpenWindow(path);
        QCOMPARE(Cell(*w, 0, 1), text);
        Click(*w, 0, 1);
        QTest::keyClick(w->grid(), Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, QStringLiteral("Reza"));
        QTest::keyClick(editor, Qt::Key_Return);
        WAIT_COMPARE(Cell(*w, 0, 1), text + "Reza"); // committed from a queued call
    }
};

QTEST_MAIN(TestCsvWindow)
#include "test_csv_window.moc"
