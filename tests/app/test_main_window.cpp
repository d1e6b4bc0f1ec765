// The main window: start-up, the command table, the grid and its fixed row,
// opening tables and walking their folder, CloseOnKey.

#include "app/Shortcuts.h"
#include "app/TForm1.h"
#include "common/ModalCloser.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "text/TextFiles.h"

#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include "common/TestFiles.h"

using namespace rasmik;

namespace {

QByteArray Cp(const QString& s)
{
    // The tests' own Persian texts stay within Windows-1256.
    QByteArray out;
    for (QChar c : s) {
        const ushort u = c.unicode();
        if (u < 0x80)
            out += char(u);
        else if (u == 0x0633) out += char(0xD3);
        else if (u == 0x0644) out += char(0xE1);
        else if (u == 0x0627) out += char(0xC7);
        else if (u == 0x0645) out += char(0xE3);
        else out += '?';
    }
    return out;
}


QString CellText(TForm1& w, int col, int row)
{
    const std::string_view v = w.core().Cell(col, row);
    return QString::fromLatin1(v.data(), static_cast<int>(v.size()));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting(appDir.path().toStdString() + "/");
    }

    void storedShortcuts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("keys");
        QTest::newRow("1") << "Action1" << "Open" << 114 << "F3";
        QTest::newRow("2") << "Action2" << "Pre File" << 16421 << "Ctrl+Left";
        QTest::newRow("3") << "Action3" << "Next File" << 16423 << "Ctrl+Right";
        QTest::newRow("4") << "Action4" << "Font" << 24688 << "Ctrl+Shift+F1";
        QTest::newRow("5") << "Action5" << "Print" << 16464 << "Ctrl+P";
        QTest::newRow("6") << "Action6" << "Close" << 27 << "Esc";
        QTest::newRow("7") << "Action7" << "Tabs" << 57428 << "Ctrl+Alt+Shift+T";
        QTest::newRow("8") << "Action8" << "Save" << 24659 << "Ctrl+Shift+S";
        QTest::newRow("9") << "Action9" << "Save With Rows" << 57427 << "Ctrl+Alt+Shift+S";
        QTest::newRow("10") << "Action10" << "Simple Number" << 24654 << "Ctrl+Shift+N";
        QTest::newRow("11") << "Action11" << "Delete Col" << 24622 << "Ctrl+Shift+Del";
        QTest::newRow("12") << "Action12" << "Shift Col N+1 to N" << 24608 << "Ctrl+Shift+Space";
        QTest::newRow("13") << "Action13" << "Fix Cell Size" << 49235 << "Ctrl+Alt+S";
        QTest::newRow("14") << "Action14" << "Save Col Order" << 0 << "";
        QTest::newRow("15") << "Action15" << "Delete Col Order" << 0 << "";
        QTest::newRow("16") << "Action16" << "Action16" << 24644 << "Ctrl+Shift+D";
        QTest::newRow("17") << "Action17" << "Save Current Column" << 0 << "";
        QTest::newRow("18") << "Action18" << "Save Current Column without Repeat" << 0 << "";
        QTest::newRow("19") << "Action19" << "Search" << 16454 << "Ctrl+F";
        QTest::newRow("20") << "Action20" << "Action20" << 115 << "F4";
        QTest::newRow("21") << "Action21" << "Delete Row" << 16430 << "Ctrl+Del";
        QTest::newRow("22") << "Action22" << "Delete Col" << 32814 << "Alt+Del";
        QTest::newRow("23") << "Action23" << "Paste Table" << 24660 << "Ctrl+Shift+T";
        QTest::newRow("24") << "Action24" << "Save Current Row For Header" << 41044 << "Alt+Shift+T";
        QTest::newRow("25") << "Action25" << "Values" << 24657 << "Ctrl+Shift+Q";
    }
    void storedShortcuts()
    {
        QFETCH(QString, action);
        QFETCH(QString, caption);
        QFETCH(int, stored);
        QFETCH(QString, keys);
        QCOMPARE(ShortcutFromStored(static_cast<std::uint16_t>(stored)), QKeySequence(keys));
        TForm1 w;
        auto* a = w.findChild<QAction*>(action);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), QKeySequence(keys));
    }

    void menuTree()
    {
        TForm1 w;
        auto texts = [](const QList<QAction*>& actions) {
            QStringList out;
            for (QAction* a : actions)
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        const QList<QAction*> top = w.menuBar()->actions();
        QCOMPARE(texts(top), (QStringList{"File", "Note Pad", "Excel"}));
        QMenu* file = top.at(0)->menu();
        QCOMPARE(texts(file->actions()),
                 (QStringList{"Open", "Pre File", "Next File", "Font", "Print", "Extra", "-", "Save", "Save With Rows",
                              "Simple Number", "Delete Col", "Shift Col N+1 to N", "Save Col Order",
                              "Delete Col Order", "-", "Maximize Window", "Close"}));
        QMenu* extra = file->actions().at(5)->menu();
        QCOMPARE(texts(extra->actions()),
                 (QStringList{"Save Current Column", "Save Current Column without Repeat", "-", "Paste Table",
                              "Save Current Row For Header", "-", "Sum Of Current Column"}));
        QVERIFY(w.Maximize1->isCheckable());
        QCOMPARE(w.Action[11]->shortcut(), QKeySequence("Ctrl+Shift+Del"));
        QCOMPARE(w.Action[22]->shortcut(), QKeySequence("Alt+Del"));
    }

    void startWithoutArguments()
    {
        TForm1 w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Rasmik - Version 1400.10.01"));
        QCOMPARE(w.size(), QSize(696, 480));
        QCOMPARE(w.core().RowCount(), 5);
        QCOMPARE(w.core().ColCount(), 5);
        QCOMPARE(w.core().FixedRows(), 1);
        QCOMPARE(w.Grid->model()->rowCount(), 4);
        QVERIFY(!w.Grid->horizontalHeader()->isHidden());
        QVERIFY(w.Panel1->isHidden());
        QVERIFY(w.TableLines.empty());
        QCOMPARE(w.Grid->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(w.font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(w.font().pixelSize(), 13);
    }

    void startWithPathSplitInTwoArguments()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("my tables"));
        const QString path = dir.path() + "/my tables/first list.txt";
        Write(path, "Name\tCity\r\nAli\tTehran\r\n");
        const QByteArray native = QFile::encodeName(path);
        const std::string s = native.toStdString();
        const std::size_t cut = s.rfind(' ');
        TForm1 w({s.substr(0, cut), s.substr(cut + 1)});
        QCOMPARE(w.windowTitle(), path);
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("Name"));
        QCOMPARE(CellText(w, 1, 1), QStringLiteral("Tehran"));
        QCOMPARE(w.FolderFiles.size(), std::size_t(1));
    }

    void relativeNameResolvedInWorkingFolder()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/a.txt", "x\r\n");
        Write(dir.path() + "/b.txt", "y\r\n");
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        TForm1 w({"b.txt"});
        QDir::setCurrent(old);
        QCOMPARE(w.windowTitle(), dir.path() + "/b.txt");
        QCOMPARE(w.FolderFiles.size(), std::size_t(2));
        w.Action3Execute();
        QCOMPARE(w.windowTitle(), dir.path() + "/a.txt");
    }

    void missingCommandLineFileOpensNothing()
    {
        TForm1 w({"/no/such/table.txt"});
        QCOMPARE(w.windowTitle(), QStringLiteral("Rasmik - Version 1400.10.01"));
        QCOMPARE(w.PendingFileName, std::string("/no/such/table.txt"));
        // The next Open tries that name without its dialog and reports it.
        ModalCloser closer;
        QVERIFY(!w.Action1Execute());
        QCOMPARE(closer.seen, 1);
        QVERIFY(closer.texts.value(0).contains("/no/such/table.txt"));
        QVERIFY(w.PendingFileName.empty());
    }

    void walkFolderWithWrap()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        Write(d + "b.txt", "bee\r\n");
        Write(d + "A.TXT", "ay\r\n");
        Write(d + "c.txt", "see\r\n");
        QVERIFY(QDir(d).mkdir("notes.txt"));
        TForm1 w({QFile::encodeName(d + "c.txt").toStdString()});
        QCOMPARE(w.FolderFiles.size(), std::size_t(3));
        w.Action3Execute();
        QCOMPARE(w.windowTitle(), d + "A.TXT");
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("ay"));
        w.Action2Execute();
        QCOMPARE(w.windowTitle(), d + "c.txt");
        w.Action2Execute();
        QCOMPARE(w.windowTitle(), d + "b.txt");
    }

    void vanishedFileKeepsTheTable()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        Write(d + "a.txt", "one\r\n");
        Write(d + "a.cfg", "CellFormat=1\r\n");
        Write(d + "b.txt", "two\r\n");
        Write(d + "b.cfg", "CellFormat=2\r\n");
        TForm1 w({QFile::encodeName(d + "b.txt").toStdString()});
        QCOMPARE(w.CellWidths, std::string("2"));
        QFile::remove(d + "a.txt");
        ModalCloser closer;
        w.Action3Execute(); // wraps to a.txt, which is gone
        QCOMPARE(closer.seen, 1);
        QCOMPARE(w.windowTitle(), d + "b.txt");
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("tw"));
        // The failed file's widths are not taken over.
        QCOMPARE(w.CellWidths, std::string("2"));
        QCOMPARE(w.OpenDialogFileName, (d + "b.txt").toStdString());
    }

    void headerStripAndCloseOnKey()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/h.txt";
        Write(path, "SardoVelam31415926535-1 2\r\nA\r\nB\r\nC\r\nD\r\nE\r\nF\r\nx\ty\r\n");
        TForm1 w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.CloseOnKey);
        QCOMPARE(w.HeaderPanelCount, 2);
        QVERIFY(w.Panel1->isVisible());
        QCOMPARE(w.Panel1->HeaderLabels[1][1]->text(), QStringLiteral("A"));
        QCOMPARE(w.Panel1->HeaderLabels[2][3]->text(), QStringLiteral("F"));
        QCOMPARE(w.Panel1->HeaderLabels[1][1]->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QCOMPARE(w.Panel1->HeaderLabels[1][2]->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(w.Panel1->HeaderLabels[1][3]->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QCOMPARE(w.Panel1->HeaderLabels[2][1]->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        QCOMPARE(w.Panel1->HeaderLabels[2][2]->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QCOMPARE(w.core().RowCount(), 1);
        QCOMPARE(w.core().ColCount(), 2);
        QCOMPARE(w.core().FixedRows(), 0);
        // The label at the right edge of the right-to-left strip.
        QVERIFY(w.Panel1->HeaderLabels[1][1]->geometry().center().x() >
                w.Panel1->HeaderLabels[1][3]->geometry().center().x());

        w.Grid->setFocus();
        QTest::keyClick(w.Grid, Qt::Key_Left);
        QTest::keyClick(w.Grid, Qt::Key_Down);
        QTest::keyClick(w.Grid, Qt::Key_F5);
        QVERIFY(w.isVisible());
        QTest::keyClick(w.Grid, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(w.isVisible());
        QTest::keyClick(w.Grid, Qt::Key_A);
        QVERIFY(!w.isVisible());
    }

    void closeOnKeyInsideTheCellEditor()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/h.txt";
        Write(path, "SardoVelam31415926535-1 0\r\nh1\th2\r\nx\ty\r\n");
        TForm1 w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.Grid->edit(w.Grid->currentIndex());
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != w.Grid);
        QTest::keyClick(editor, Qt::Key_7);
        QVERIFY(!w.isVisible());
    }

    void noHeaderBlockKeepsCloseOnKey()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/h.txt", "SardoVelam31415926535-1 0\r\nx\r\n");
        Write(dir.path() + "/p.txt", "plain\r\n");
        TForm1 w({QFile::encodeName(dir.path() + "/h.txt").toStdString()});
        QVERIFY(w.CloseOnKey);
        w.Action3Execute();
        QCOMPARE(w.windowTitle(), dir.path() + "/p.txt");
        QVERIFY(w.CloseOnKey);
    }

    void columnDragMovesCoreColumns()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\tc\r\n1\t2\t3\r\n");
        TForm1 w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QHeaderView* h = w.Grid->horizontalHeader();
        QVERIFY(h->sectionsMovable());
        h->moveSection(0, 2); // as a drag does
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("b"));
        QCOMPARE(CellText(w, 2, 0), QStringLiteral("a"));
        QCOMPARE(CellText(w, 2, 1), QStringLiteral("1"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(h->visualIndex(i), i);
        QCOMPARE(w.Grid->model()->index(0, 2).data().toString(), QStringLiteral("1"));
        QCOMPARE(w.core().ColWidth(2) + 1, h->sectionSize(2));
    }

    void fixedRowStaysInView()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QByteArray bytes = "Head\tTitle\r\n";
        for (int i = 1; i <= 300; ++i)
            bytes += QByteArray::number(i) + "\tv" + QByteArray::number(i) + "\r\n";
        Write(path, bytes);
        TForm1 w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.core().RowCount(), 301);
        QCOMPARE(w.Grid->model()->rowCount(), 300);
        QCOMPARE(w.core().Row, 1);
        w.Grid->verticalScrollBar()->setValue(w.Grid->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        QHeaderView* h = w.Grid->horizontalHeader();
        QVERIFY(h->isVisible());
        QVERIFY(h->geometry().bottom() <= w.Grid->viewport()->geometry().top());
        QVERIFY(w.Grid->indexAt(QPoint(w.Grid->viewport()->width() - 5, 2)).row() > 200);
        // Editing a cell stores Windows-1256 bytes in the core grid.
        QVERIFY(w.Grid->model()->setData(w.Grid->model()->index(0, 1), QStringLiteral("سلام")));
        QCOMPARE(std::string(w.core().Cell(1, 1)), Cp(QStringLiteral("سلام")).toStdString());
    }

    void columnsFitTheirTexts()
    {
        // Every column is as wide as its widest text, the header row included,
        // so no header text of a sample table needs squeezing.
        const QString sample = QStringLiteral(RASMIK_SOURCE_DIR "/samples/persian-header.txt");
        TForm1 w({QFile::encodeName(sample).toStdString()});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QFont plain = w.Grid->font();
        const QFontMetrics fm(plain, w.Grid->horizontalHeader()->viewport());
        for (int c = 0; c < w.core().ColCount(); ++c) {
            int widest = 10;
            for (int r = 0; r < w.core().RowCount(); ++r) {
                const std::string_view t = w.core().Cell(c, r);
                widest = std::max(widest, DisplayTextWidth(fm, ToQString(t)));
            }
            QCOMPARE(w.core().ColWidth(c), widest);
        }
    }

    void tabsAndShapingSwitch()
    {
        TForm1 w;
        QVERIFY(!w.Action[16]->isChecked());
        w.Action[16]->trigger();
        QVERIFY(w.Action[16]->isChecked());
        QVERIFY(w.Grid->shapingOn());
        w.Action[16]->trigger();
        QVERIFY(!w.Grid->shapingOn());
        w.Action[7]->trigger();
        QCOMPARE(w.core().RowCount(), 5);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
