// The main window: start-up, the command table, the grid and its fixed row,
// opening tables and walking their folder, close-on-key.

#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "text/TextFiles.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenuBar>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

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
        else if (u == 0x0633)
            out += char(0xD3);
        else if (u == 0x0644)
            out += char(0xE1);
        else if (u == 0x0627)
            out += char(0xC7);
        else if (u == 0x0645)
            out += char(0xE3);
        else
            out += '?';
    }
    return out;
}

QString CellText(MainWindow& w, int col, int row)
{
    const std::string_view v = w.document().grid().Cell(col, row);
    return QString::fromLatin1(v.data(), static_cast<int>(v.size()));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting(appDir.path().toStdString() + "/"); }

    void commandTable_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("keys");
        QTest::newRow("open") << "openTable"
                              << "Open"
                              << "F3";
        QTest::newRow("previous") << "openPreviousFile"
                                  << "Pre File"
                                  << "Ctrl+Left";
        QTest::newRow("next") << "openNextFile"
                              << "Next File"
                              << "Ctrl+Right";
        QTest::newRow("font") << "chooseFont"
                              << "Font"
                              << "Ctrl+Shift+F1";
        QTest::newRow("print") << "printTable"
                               << "Print"
                               << "Ctrl+P";
        QTest::newRow("close") << "closeWindow"
                               << "Close"
                               << "Esc";
        QTest::newRow("tabs") << "repaintGrid"
                              << "Tabs"
                              << "Ctrl+Alt+Shift+T";
        QTest::newRow("save") << "saveTable"
                              << "Save"
                              << "Ctrl+Shift+S";
        QTest::newRow("save rows") << "saveWithRowNumbers"
                                   << "Save With Rows"
                                   << "Ctrl+Alt+Shift+S";
        QTest::newRow("simple number") << "simpleNumber"
                                       << "Simple Number"
                                       << "Ctrl+Shift+N";
        QTest::newRow("blank column") << "blankColumn"
                                      << "Delete Col"
                                      << "Ctrl+Shift+Del";
        QTest::newRow("shift column") << "shiftColumnLeft"
                                      << "Shift Col N+1 to N"
                                      << "Ctrl+Shift+Space";
        QTest::newRow("fix cell size") << "fixCellSize"
                                       << "Fix Cell Size"
                                       << "Ctrl+Alt+S";
        QTest::newRow("save order") << "saveColumnOrder"
                                    << "Save Col Order"
                                    << "";
        QTest::newRow("delete order") << "deleteColumnOrder"
                                      << "Delete Col Order"
                                      << "";
        QTest::newRow("shaping") << "toggleShaping"
                                 << "Iran System Shaping"
                                 << "Ctrl+Shift+D";
        QTest::newRow("column") << "saveCurrentColumn"
                                << "Save Current Column"
                                << "";
        QTest::newRow("column once") << "saveCurrentColumnWithoutRepeat"
                                     << "Save Current Column without Repeat"
                                     << "";
        QTest::newRow("search") << "searchRows"
                                << "Search"
                                << "Ctrl+F";
        QTest::newRow("search again") << "searchAgain"
                                      << "Search Again"
                                      << "F4";
        QTest::newRow("delete row") << "deleteRow"
                                    << "Delete Row"
                                    << "Ctrl+Del";
        QTest::newRow("remove column") << "removeColumn"
                                       << "Delete Col"
                                       << "Alt+Del";
        QTest::newRow("paste") << "pasteTable"
                               << "Paste Table"
                               << "Ctrl+Shift+T";
        QTest::newRow("header row") << "saveRowForHeader"
                                    << "Save Current Row For Header"
                                    << "Alt+Shift+T";
        QTest::newRow("values") << "showColumnValues"
                                << "Values"
                                << "Ctrl+Shift+Q";
        QTest::newRow("sum") << "sumCurrentColumn"
                             << "Sum Of Current Column"
                             << "";
        QTest::newRow("maximize") << "toggleMaximize"
                                  << "Maximize Window"
                                  << "";
        QTest::newRow("editor") << "openInTextEditor"
                                << "Note Pad"
                                << "";
        QTest::newRow("excel") << "exportToExcel"
                               << "Excel"
                               << "";
        QTest::newRow("undo") << "undo"
                              << "Undo"
                              << "Ctrl+Z";
        QTest::newRow("redo") << "redo"
                              << "Redo"
                              << "Ctrl+Y; Ctrl+Shift+Z";
    }
    void commandTable()
    {
        QFETCH(QString, command);
        QFETCH(QString, caption);
        QFETCH(QString, keys);
        MainWindow w;
        QAction* a = w.command(command.toLatin1().constData());
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        // The menu shows the first.
        QCOMPARE(a->shortcut(), QKeySequence(keys.section(';', 0, 0)));
        // A shortcut works anywhere in the window.
        if (!keys.isEmpty()) {
            QCOMPARE(a->shortcuts(), QKeySequence::listFromString(keys));
            QVERIFY(w.actions().contains(a));
        }
    }

    void menuTree()
    {
        MainWindow w;
        auto texts = [](const QList<QAction*>& actions) {
            QStringList out;
            for (QAction* a : actions)
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        const QList<QAction*> top = w.menuBar()->actions();
        QCOMPARE(texts(top), (QStringList{"File", "Edit", "Note Pad", "Excel"}));
        QCOMPARE(texts(top.at(1)->menu()->actions()),
                 (QStringList{"Undo",
                              "Redo",
                              "-",
                              "Copy",
                              "Select All",
                              "-",
                              "Sort Ascending",
                              "Sort Descending",
                              "-",
                              "Filter",
                              "Show All Rows",
                              "-",
                              "درج ردیف",
                              "درج ردیف در زیر",
                              "درج ستون",
                              "چسباندن در خانه‌ها",
                              "پاک کردن خانه‌ها",
                              "یافتن و جایگزینی",
                              "تغییر نام ستون",
                              "-",
                              "رفتن به ردیف"}));
        QMenu* file = top.at(0)->menu();
        QCOMPARE(texts(file->actions()),
                 (QStringList{"Open",
                              "Recent",
                              "Pre File",
                              "Next File",
                              "Reopen As",
                              "Font",
                              "Print",
                              "Extra",
                              "-",
                              "Save",
                              "Save With Rows",
                              "Simple Number",
                              "Delete Col",
                              "Shift Col N+1 to N",
                              "Save Col Order",
                              "Delete Col Order",
                              "-",
                              "Maximize Window",
                              "Iran System Shaping",
                              "English Interface",
                              "Close"}));
        QCOMPARE(
            texts(file->actions().at(4)->menu()->actions()),
            (QStringList{"Windows-1256", "UTF-8", "UTF-16 LE", "UTF-16 BE", "-", "Comma", "Semicolon", "TAB", "Pipe"}));
        QMenu* extra = file->actions().at(7)->menu();
        QCOMPARE(texts(extra->actions()),
                 (QStringList{"Save Current Column", "Save Current Column without Repeat", "-", "Paste Table",
                              "Save Current Row For Header", "-", "Sum Of Current Column"}));
        QVERIFY(w.command("toggleMaximize")->isCheckable());
        QVERIFY(w.command("toggleShaping")->isCheckable());
        // The two "Delete Col" items: the menu's blanks the column.
        QCOMPARE(file->actions().at(12)->shortcut(), QKeySequence("Ctrl+Shift+Del"));
    }

    void startWithoutArguments()
    {
        MainWindow w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Rasmik - Version 1400.10.01"));
        QCOMPARE(w.size(), QSize(696, 480));
        QCOMPARE(w.document().grid().RowCount(), 5);
        QCOMPARE(w.document().grid().ColCount(), 5);
        QCOMPARE(w.document().grid().FixedRows(), 1);
        QCOMPARE(w.grid()->model()->rowCount(), 4);
        QVERIFY(!w.grid()->horizontalHeader()->isHidden());
        QVERIFY(w.headerStrip()->isHidden());
        QVERIFY(w.document().lines().empty());
        QCOMPARE(w.grid()->layoutDirection(), Qt::RightToLeft);
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
        MainWindow w({s.substr(0, cut), s.substr(cut + 1)});
        QCOMPARE(w.windowTitle(), path);
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("Name"));
        QCOMPARE(CellText(w, 1, 1), QStringLiteral("Tehran"));
        QCOMPARE(w.document().folderFiles().size(), std::size_t(1));
    }

    void relativeNameResolvedInWorkingFolder()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/a.txt", "x\r\n");
        Write(dir.path() + "/b.txt", "y\r\n");
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        MainWindow w({"b.txt"});
        QDir::setCurrent(old);
        QCOMPARE(w.windowTitle(), dir.path() + "/b.txt");
        QCOMPARE(w.document().folderFiles().size(), std::size_t(2));
        w.openNextFile();
        QCOMPARE(w.windowTitle(), dir.path() + "/a.txt");
    }

    void missingCommandLineFileOpensNothing()
    {
        MainWindow w({"/no/such/table.txt"});
        QCOMPARE(w.windowTitle(), QStringLiteral("Rasmik - Version 1400.10.01"));
        // The next Open tries that name without its dialog and reports it.
        {
            ModalCloser closer;
            w.openTable();
            COMPARE_MODALS(closer, 1);
            QVERIFY(closer.texts.value(0).contains("/no/such/table.txt"));
        }
        QCOMPARE(w.windowTitle(), QStringLiteral("Rasmik - Version 1400.10.01"));
        // Tried once: the Open after it asks with its dialog.
        bool dialogShown = false;
        ModalCloser closer([&](QWidget* m) {
            dialogShown = qobject_cast<QFileDialog*>(m) != nullptr;
            static_cast<QDialog*>(m)->reject();
        });
        w.openTable();
        QVERIFY(dialogShown);
    }

    void walkFolderWithWrap()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        Write(d + "b.txt", "bee\r\n");
        Write(d + "A.TXT", "ay\r\n");
        Write(d + "c.txt", "see\r\n");
        QVERIFY(QDir(d).mkdir("notes.txt"));
        MainWindow w({QFile::encodeName(d + "c.txt").toStdString()});
        QCOMPARE(w.document().folderFiles().size(), std::size_t(3));
        w.openNextFile();
        QCOMPARE(w.windowTitle(), d + "A.TXT");
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("ay"));
        w.openPreviousFile();
        QCOMPARE(w.windowTitle(), d + "c.txt");
        w.openPreviousFile();
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
        MainWindow w({QFile::encodeName(d + "b.txt").toStdString()});
        QCOMPARE(w.document().cellWidths(), std::string("2"));
        QFile::remove(d + "a.txt");
        ModalCloser closer;
        w.openNextFile(); // wraps to a.txt, which is gone
        COMPARE_MODALS(closer, 1);
        QCOMPARE(w.windowTitle(), d + "b.txt");
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("tw"));
        // The failed file's widths are not taken over.
        QCOMPARE(w.document().cellWidths(), std::string("2"));
        QCOMPARE(w.document().path(), (d + "b.txt").toStdString());
    }

    void headerStripAndCloseOnKey()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/h.txt";
        Write(path, "SardoVelam31415926535-1 2\r\nA\r\nB\r\nC\r\nD\r\nE\r\nF\r\nx\ty\r\n");
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        QVERIFY(w.document().closeOnKey());
        QCOMPARE(w.headerStrip()->panelsMade(), 2);
        QVERIFY(w.headerStrip()->isVisible());
        QCOMPARE(w.headerStrip()->label(1, 1)->text(), QStringLiteral("A"));
        QCOMPARE(w.headerStrip()->label(2, 3)->text(), QStringLiteral("F"));
        QCOMPARE(w.headerStrip()->label(1, 1)->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QCOMPARE(w.headerStrip()->label(1, 2)->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(w.headerStrip()->label(1, 3)->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QCOMPARE(w.headerStrip()->label(2, 1)->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        QCOMPARE(w.headerStrip()->label(2, 2)->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        QCOMPARE(w.document().grid().RowCount(), 1);
        QCOMPARE(w.document().grid().ColCount(), 2);
        QCOMPARE(w.document().grid().FixedRows(), 0);
        // The label at the right edge of the right-to-left strip.
        QVERIFY(w.headerStrip()->label(1, 1)->geometry().center().x()
                > w.headerStrip()->label(1, 3)->geometry().center().x());

        w.grid()->setFocus();
        QTest::keyClick(w.grid(), Qt::Key_Left);
        QTest::keyClick(w.grid(), Qt::Key_Down);
        QTest::keyClick(w.grid(), Qt::Key_F5);
        QVERIFY(w.isVisible());
        QTest::keyClick(w.grid(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(w.isVisible());
        QTest::keyClick(w.grid(), Qt::Key_A);
        QVERIFY(!w.isVisible());
    }

    void closeOnKeyInsideTheCellEditor()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/h.txt";
        Write(path, "SardoVelam31415926535-1 0\r\nh1\th2\r\nx\ty\r\n");
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        w.grid()->edit(w.grid()->currentIndex());
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != w.grid());
        QTest::keyClick(editor, Qt::Key_7);
        QVERIFY(!w.isVisible());
    }

    void noHeaderBlockKeepsCloseOnKey()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/h.txt", "SardoVelam31415926535-1 0\r\nx\r\n");
        Write(dir.path() + "/p.txt", "plain\r\n");
        MainWindow w({QFile::encodeName(dir.path() + "/h.txt").toStdString()});
        QVERIFY(w.document().closeOnKey());
        w.openNextFile();
        QCOMPARE(w.windowTitle(), dir.path() + "/p.txt");
        QVERIFY(w.document().closeOnKey());
    }

    // Every column of a very wide table gets its width, and the sections
    // lie side by side as the widths say.
    void wideOneLineTableSized()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/wide.txt";
        const int fields = qEnvironmentVariableIntValue("RASMIK_WIDE_FIELDS") > 0
            ? qEnvironmentVariableIntValue("RASMIK_WIDE_FIELDS")
            : 20000;
        QByteArray line;
        for (int i = 0; i < fields; ++i) {
            if (i)
                line += '\t';
            line += QByteArray(1 + i % 7, 'a' + char(i % 26));
        }
        Write(path, line + "\r\n");
        QElapsedTimer timer;
        timer.start();
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        qInfo("%d fields shown in %lld ms", fields, timer.elapsed());
        const CoreGrid& grid = w.document().grid();
        QCOMPARE(grid.ColCount(), fields);
        QHeaderView* header = w.grid()->horizontalHeader();
        QCOMPARE(header->count(), fields);
        int position = 0;
        for (int c = 0; c < fields; ++c) {
            QCOMPARE(header->sectionSize(c), SectionWidthForText(grid.ColWidth(c)));
            QCOMPARE(header->sectionPosition(c), position);
            position += SectionWidthForText(grid.ColWidth(c));
        }
        QCOMPARE(header->length(), position);
        QVERIFY(header->updatesEnabled());
        QVERIFY(grid.ColWidth(0) < grid.ColWidth(6));

        // A section resized while the header updates looks up its place,
        // which walks every section: done per column that is quadratic. The
        // sizes of a new table are all set with updates held back.
        int resized = 0;
        int resizedWithUpdates = 0;
        connect(header, &QHeaderView::sectionResized, this, [&] {
            ++resized;
            if (header->updatesEnabled())
                ++resizedWithUpdates;
        });
        Write(path, "x\t" + line + "\r\n");
        QVERIFY(w.openFile(path.toStdString()));
        QCOMPARE(w.document().grid().ColCount(), fields + 1);
        QVERIFY(resized > fields / 2);
        QCOMPARE(resizedWithUpdates, 0);
        QCOMPARE(header->sectionSize(fields), SectionWidthForText(w.document().grid().ColWidth(fields)));
        QVERIFY(header->updatesEnabled());
    }

    void columnDragMovesCoreColumns()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\tc\r\n1\t2\t3\r\n");
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        QHeaderView* h = w.grid()->horizontalHeader();
        QVERIFY(h->sectionsMovable());
        h->moveSection(0, 2); // as a drag does
        QCOMPARE(CellText(w, 0, 0), QStringLiteral("b"));
        QCOMPARE(CellText(w, 2, 0), QStringLiteral("a"));
        QCOMPARE(CellText(w, 2, 1), QStringLiteral("1"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(h->visualIndex(i), i);
        QCOMPARE(w.grid()->model()->index(0, 2).data().toString(), QStringLiteral("1"));
        QCOMPARE(SectionWidthForText(w.document().grid().ColWidth(2)), h->sectionSize(2));
    }

    void fixedRowStaysInView()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QByteArray bytes = "Head\tTitle\r\n";
        for (int i = 1; i <= 300; ++i)
            bytes += QByteArray::number(i) + "\tv" + QByteArray::number(i) + "\r\n";
        Write(path, bytes);
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        QCOMPARE(w.document().grid().RowCount(), 301);
        QCOMPARE(w.grid()->model()->rowCount(), 300);
        QCOMPARE(w.document().grid().Row, 1);
        w.grid()->verticalScrollBar()->setValue(w.grid()->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        QHeaderView* h = w.grid()->horizontalHeader();
        QVERIFY(h->isVisible());
        QVERIFY(h->geometry().bottom() <= w.grid()->viewport()->geometry().top());
        QVERIFY(w.grid()->indexAt(QPoint(w.grid()->viewport()->width() - 5, 2)).row() > 200);
        // Editing a cell stores Windows-1256 bytes in the core grid.
        QVERIFY(w.grid()->model()->setData(w.grid()->model()->index(0, 1), QStringLiteral("سلام")));
        QCOMPARE(std::string(w.document().grid().Cell(1, 1)), Cp(QStringLiteral("سلام")).toStdString());
    }

    void columnsFitTheirTexts()
    {
        // Every column is as wide as its widest text, the header row included,
        // so no header text of a sample table needs squeezing.
        const QString sample = QStringLiteral(RASMIK_SOURCE_DIR "/samples/persian-header.txt");
        MainWindow w({QFile::encodeName(sample).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        QFont plain = w.grid()->font();
        const QFontMetrics fm(plain, w.grid()->horizontalHeader()->viewport());
        for (int c = 0; c < w.document().grid().ColCount(); ++c) {
            int widest = 10;
            for (int r = 0; r < w.document().grid().RowCount(); ++r) {
                const std::string_view t = w.document().grid().Cell(c, r);
                widest = std::max(widest, DisplayTextWidth(fm, ToQString(t)));
            }
            QCOMPARE(w.document().grid().ColWidth(c), widest);
        }
    }

    void currentRowRepaintedWhenTheCursorMoves()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "a\tb\tc\r\n1\t2\t3\r\n4\t5\t6\r\n7\t8\t9\r\n");
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        QWidget* viewport = w.grid()->viewport();
        struct PaintSpy : QObject {
            QRegion painted;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::Paint)
                    painted += static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } spy;
        viewport->installEventFilter(&spy);
        QCoreApplication::processEvents();
        spy.painted = QRegion();
        w.grid()->setFocus();
        QTest::keyClick(w.grid(), Qt::Key_Down);
        QTest::keyClick(w.grid(), Qt::Key_Down);
        QCOMPARE(w.document().currentRow(), 3);
        WAIT_VERIFY(!spy.painted.isEmpty());
        // The row left and the row entered change colour across the view,
        // not only in the cursor's cell.
        for (int modelRow : {0, 2}) {
            const QRect row(0, w.grid()->rowViewportPosition(modelRow), viewport->width(),
                            w.grid()->rowHeight(modelRow));
            QVERIFY(spy.painted.contains(row));
        }
        const QImage shot = viewport->grab().toImage();
        const QRect other = w.grid()->visualRect(w.grid()->model()->index(2, 1));
        QCOMPARE(shot.pixelColor(other.left() + 2, other.center().y()), QColor(241, 216, 240));
        const QRect left = w.grid()->visualRect(w.grid()->model()->index(0, 1));
        QVERIFY(shot.pixelColor(left.left() + 2, left.center().y()) != QColor(241, 216, 240));
        viewport->removeEventFilter(&spy);
    }

    void tabsAndShapingSwitch()
    {
        MainWindow w;
        QAction* shaping = w.command("toggleShaping");
        QVERIFY(!shaping->isChecked());
        shaping->trigger();
        QVERIFY(shaping->isChecked());
        QVERIFY(w.grid()->shapingOn());
        shaping->trigger();
        QVERIFY(!w.grid()->shapingOn());
        w.command("repaintGrid")->trigger();
        QCOMPARE(w.document().grid().RowCount(), 5);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
