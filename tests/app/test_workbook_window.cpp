// Workbooks in the window, written at test time by other programs' writers
// (openpyxl, XlsxWriter, xlwt, an .ods by hand; tests/export/make_workbooks.py):
// each kind opens, a sheet is chosen, the title names it, Pre/Next File walk
// the folder's workbooks, and nothing is ever saved over the workbook.

#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

class TestWorkbookWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;
    QTemporaryDir books;

    QString book(const char* name) const { return books.filePath(QString::fromLatin1(name)); }

    // A window for path whose list of sheets, when it shows one, picks sheet
    // (-1: cancelled), counting the lists.
    std::unique_ptr<MainWindow> openBook(const QString& path, int sheet, int* asked = nullptr)
    {
        ModalCloser closer([sheet, asked](QWidget* m) {
            auto* list = qobject_cast<QInputDialog*>(m);
            if (!list)
                return;
            if (asked)
                ++*asked;
            if (sheet < 0 || sheet >= list->comboBoxItems().size()) {
                list->reject();
                return;
            }
            list->setTextValue(list->comboBoxItems().at(sheet));
            list->accept();
        });
        auto w = MakeWindow(path);
        w->runSheetChoice = [sheet, asked](const std::vector<std::string>& names) {
            if (asked)
                ++*asked;
            return sheet < static_cast<int>(names.size()) ? sheet : -1;
        };
        w->show();
        w->activateWindow();
        WaitActive(w.get());
        return w;
    }

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting((appDir.path() + "/").toStdString());
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral(RASMIK_SOURCE_DIR "/tests/export/make_workbooks.py"), books.path()});
        QVERIFY(python.waitForFinished(120000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    }

    void everyKindOpens_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("sheet");
        QTest::newRow("openpyxl") << "openpyxl.xlsx" << 0;
        QTest::newRow("XlsxWriter, inline strings") << "xlsxwriter-inline.xlsx" << 0;
        QTest::newRow("xlwt") << "xlwt.xls" << 0;
        QTest::newRow("OpenDocument") << "handwritten.ods" << 0;
        QTest::newRow("the second sheet") << "openpyxl.xlsx" << 1;
    }

    void everyKindOpens()
    {
        QFETCH(QString, file);
        QFETCH(int, sheet);
        int asked = 0;
        auto w = openBook(book(file.toLatin1().constData()), sheet, &asked);
        // Each holds the sheets "Cells" and "دوم".
        QCOMPARE(asked, 1);
        QCOMPARE(w->document().sheetName(), sheet == 0 ? std::string("Cells") : std::string("دوم"));
        QVERIFY2(w->windowTitle().contains(QString::fromStdString(" — " + w->document().sheetName())),
                 qPrintable(w->windowTitle()));
        if (sheet == 0) {
            QCOMPARE(Cell(*w, 0, 0), QStringLiteral("سلام دنیا"));
            QCOMPARE(Cell(*w, 1, 0), QStringLiteral("Latin, with comma"));
            QCOMPARE(Cell(*w, 3, 0), QStringLiteral("two\nlines"));
        } else {
            QCOMPARE(Cell(*w, 1, 1), QStringLiteral("second"));
        }
        QVERIFY(!w->document().isModified());
    }

    // No sheet chosen: the table that was open stays.
    void noSheetChosenKeepsTheTable()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), "h\r\nv\r\n"));
        auto w = openBook(dir.filePath("t.txt"), -1);
        QVERIFY(!w->openFile(book("openpyxl.xlsx").toStdString()));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("v"));
        QVERIFY(w->document().sheetName().empty());
    }

    // Save offers the workbook's name as a .csv, refuses the workbook
    // itself, and once saved the table is the file it was saved as.
    void neverSavedOverTheWorkbook()
    {
        QTemporaryDir dir;
        const QString xlsx = dir.filePath("book.xlsx");
        QVERIFY(QFile::copy(book("xlsxwriter.xlsx"), xlsx));
        const QByteArray original = ReadAll(xlsx);
        auto w = openBook(xlsx, 0);
        QString offered;
        {
            ModalCloser closer([&](QWidget* m) {
                if (auto* d = qobject_cast<QFileDialog*>(m)) {
                    offered = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                    d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(xlsx);
                    QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
                } else {
                    SaveAs(xlsx)(m);
                }
            });
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            WAIT_VERIFY(
                closer.texts.join(' ').contains(QStringLiteral("روی کتاب کار نوشته نمی‌شود")));
        }
        QCOMPARE(offered, QStringLiteral("book.csv"));
        QCOMPARE(ReadAll(xlsx), original);

        const QString csv = dir.filePath("book.csv");
        {
            ModalCloser closer(SaveAs(csv));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
            WAIT_VERIFY(w->document().sheetName().empty());
        }
        QVERIFY(ReadAll(csv).startsWith("سلام دنیا,\"Latin, with comma\""));
        QCOMPARE(QString::fromStdString(w->document().path()), csv);
        QCOMPARE(ReadAll(xlsx), original);
    }

    void badWorkbookKeepsTheTable_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("said");
        QTest::newRow("protected") << "encrypted.xlsx" << QStringLiteral("با گذرواژه محافظت شده است");
        QTest::newRow("a zip bomb") << "bomb.xlsx" << QStringLiteral("بزرگ‌تر می‌شود");
        QTest::newRow("entities") << "entities.xlsx" << QStringLiteral("DTD");
        QTest::newRow(".xlsb") << "binary.xlsb"
                               << QStringLiteral("این نوع کتاب کار خوانده نمی‌شود");
        QTest::newRow("broken") << "truncated.xlsx" << QStringLiteral("آسیب دیده است");
    }

    // A workbook that cannot be read is said to be so in Persian; the open
    // table stays as it was.
    void badWorkbookKeepsTheTable()
    {
        QFETCH(QString, file);
        QFETCH(QString, said);
        QTemporaryDir bad;
        QProcess python;
        python.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(RASMIK_SOURCE_DIR "/tests/export/make_workbooks.py"), bad.path(), QStringLiteral("bad")});
        QVERIFY(python.waitForFinished(120000) && python.exitCode() == 0);
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), "h\r\nv\r\n"));
        auto w = openBook(dir.filePath("t.txt"), 0);
        ModalCloser closer;
        QVERIFY(!w->openFile(bad.filePath(file).toStdString()));
        QVERIFY2(closer.texts.join(' ').contains(said), qPrintable(closer.texts.join('\n')));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("v"));
        QVERIFY(w->document().sheetName().empty());
    }

    // Pre File and Next File walk the folder's workbooks of the kind.
    void nextFileWalksWorkbooks()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(book("openpyxl.xlsx"), dir.filePath("a.xlsx")));
        QVERIFY(QFile::copy(book("xlsxwriter.xlsx"), dir.filePath("b.xlsx")));
        QVERIFY(Write(dir.filePath("c.txt"), "h\r\nv\r\n"));
        auto w = openBook(dir.filePath("a.xlsx"), 1);
        QCOMPARE(w->document().sheetName(), std::string("دوم"));
        w->command("openNextFile")->trigger();
        WAIT_COMPARE(QString::fromStdString(w->document().path()), dir.filePath("b.xlsx"));
        w->command("openNextFile")->trigger();
        WAIT_COMPARE(QString::fromStdString(w->document().path()), dir.filePath("a.xlsx"));
    }
};

QTEST_MAIN(TestWorkbookWindow)
#include "test_workbook_window.moc"
