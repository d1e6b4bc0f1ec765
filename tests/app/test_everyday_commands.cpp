// The commands a user of a spreadsheet expects, driven by their keys and the
// mouse: the status bar's current cell and selection sum, filtering, sorting.

#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "dialogs/TextPrompt.h"
#include "table/ColumnSum.h"
#include "text/TextFiles.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

class TestEverydayCommands : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    // The current cell by row number and column name; a block by its count
    // and the sum of its numbers, formatted as Sum does.
    void statusShowsCellAndSelection()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QStringLiteral("نام\tمبلغ\tتعداد\r\nعلی\t1,200.5\t۳\r\nمریم\t(200)\tx\r\nرضا\t\t7\r\n").toUtf8());
        auto w = OpenWindow(path);
        QLabel* cell = w->statusLine()->cellLabel();
        QLabel* selection = w->statusLine()->selectionLabel();
        Click(*w, 1, 2);
        QVERIFY2(cell->text().contains(QStringLiteral("ردیف 2")) && cell->text().contains(QStringLiteral("مبلغ")),
                 qPrintable(cell->text()));
        WAIT_VERIFY(selection->text().isEmpty());
        Click(*w, 1, 1);
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w->grid(), Qt::Key_Left, Qt::ShiftModifier);
        WAIT_COMPARE(selection->text(), QStringLiteral("6 خانه، جمع: 1,010.5"));
        QVERIFY(cell->text().contains(QStringLiteral("تعداد")));
        Click(*w, 0, 1);
        WAIT_VERIFY(selection->text().isEmpty());
    }

    // Filter shows the rows holding every word; the commands that read the
    // table read those rows, Save writes them all, Show All Rows ends it.
    void filterByWords()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray table =
            "City\tAmount\tNote\r\nTehran\t10\tred apple\r\nShiraz\t20\tgreen\r\nTehran\t5\tApple pie\r\n"
            "Yazd\t7\tapple\r\n";
        Write(path, table);
        auto w = OpenWindow(path);
        // Show All Rows is offered only while a filter is on.
        QAction* showAll = w->findChild<QAction*>(QStringLiteral("showAllRows"));
        QVERIFY(showAll && !showAll->isEnabled());
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("apple tehran"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(showAll->isEnabled());
        QCOMPARE(w->grid()->model()->rowCount(), 2);
        QCOMPARE(w->grid()->model()->index(1, 1).data().toString(), QStringLiteral("5"));
        QVERIFY(w->statusLine()->filterLabel()->isVisible());
        QVERIFY(w->statusLine()->filterLabel()->text().contains(QStringLiteral("2 ردیف")));

        Click(*w, 1, 3);
        QCOMPARE(FormatGroupedNumber(w->document().sumCurrentColumn()), std::string("15"));
        Press(w.get(), Qt::Key_A, Qt::ControlModifier);
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("City\tAmount\tNote\nTehran\t10\tred apple\nTehran\t5\tApple pie\n"));
        // Search goes only through the rows that show.
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("yazd"));
            f.okButton()->click();
        });
        Click(*w, 0, 1);
        Press(w.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(w->document().currentRow(), 1);

        // A row deleted under the filter, and put back.
        Click(*w, 0, 3);
        Press(w.get(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->grid()->model()->rowCount(), 1);
        QCOMPARE(w->document().grid().RowCount(), 4);
        Press(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->grid()->model()->rowCount(), 2);
        QCOMPARE(w->grid()->model()->index(1, 2).data().toString(), QStringLiteral("Apple pie"));

        // Sorted under the filter: the rows that show stay the ones that match.
        Click(*w, 1, 1);
        Press(w.get(), Qt::Key_F6);
        QCOMPARE(w->grid()->model()->index(0, 1).data().toString(), QStringLiteral("5"));
        QCOMPARE(w->grid()->model()->index(1, 1).data().toString(), QStringLiteral("10"));
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path),
                 QByteArray("City\tAmount\tNote\r\nTehran\t5\tApple pie\r\nYazd\t7\tapple\r\n"
                            "Tehran\t10\tred apple\r\nShiraz\t20\tgreen\r\n"));
        Press(w.get(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(w->grid()->model()->rowCount(), 4);
        QVERIFY(!w->statusLine()->filterLabel()->isVisible());
        QVERIFY(!showAll->isEnabled());
    }

    // A long column name and a filter beside a selection are cut to the
    // window's width instead of holding it wider; the sum is shown whole.
    void statusFitsANarrowWindow()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QString longName = QStringLiteral("مبلغ پرداخت شده به حساب مشتری در ماه گذشته").repeated(2);
        Write(path,
              (QStringLiteral("نام\t") + longName + QStringLiteral("\r\nعلی\t1,234,567,890\r\n")
               + QStringLiteral("علی\t9,876,543,210\r\nرضا\t7\r\n"))
                  .toUtf8());
        auto w = OpenWindow(path);
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("علی"));
            f.okButton()->click();
        });
        Press(w.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        Click(*w, 1, 1);
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        StatusLine* status = w->statusLine();
        WAIT_COMPARE(status->selectionLabel()->text(), QStringLiteral("2 خانه، جمع: 11,111,111,100"));
        QVERIFY(status->cellLabel()->text().contains(QStringLiteral("مبلغ پرداخت شده")));
        const int whole = status->cellLabel()->sizeHint().width() + status->filterLabel()->sizeHint().width()
            + status->selectionLabel()->sizeHint().width();
        QVERIFY2(w->minimumSizeHint().width() < whole,
                 qPrintable(QString("%1 >= %2").arg(w->minimumSizeHint().width()).arg(whole)));
        const int narrow = w->minimumSizeHint().width();
        w->resize(narrow, w->height());
        WAIT_COMPARE(w->width(), narrow);
        QCOMPARE(status->selectionLabel()->width(), status->selectionLabel()->sizeHint().width());
        QVERIFY(status->cellLabel()->width() < status->cellLabel()->sizeHint().width());
    }

    // Counts of rows and cells are grouped by thousands, as sums are.
    void countsAreGrouped()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QByteArray table = "No\tName\r\n";
        for (int r = 1; r <= 1234; ++r)
            table += QByteArray::number(r) + "\tx\r\n";
        Write(path, table);
        auto w = OpenWindow(path);
        StatusLine* status = w->statusLine();
        QCOMPARE(status->sizeLabel()->text(), QStringLiteral("1,234 ردیف، 2 ستون"));
        Click(*w, 0, 1001);
        QVERIFY2(status->cellLabel()->text().startsWith(QStringLiteral("ردیف 1,001،")),
                 qPrintable(status->cellLabel()->text()));
        Press(w.get(), Qt::Key_A, Qt::ControlModifier);
        WAIT_COMPARE(status->selectionLabel()->text(), QStringLiteral("2,470 خانه، جمع: 761,995"));
    }

    // Shift+click spans a block from the current cell, as a drag does.
    void shiftClickSelectsABlock()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, "A\tB\tC\r\n1\t2\t3\r\n4\t5\t6\r\n7\t8\t9\r\n");
        auto w = OpenWindow(path);
        GridWidget* grid = w->grid();
        const auto centre = [grid](int modelRow, int col) {
            return grid->visualRect(grid->model()->index(modelRow, col)).center();
        };
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre(0, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(2, 2));
        Press(w.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("2\t3\n5\t6\n8\t9\n"));
        WAIT_COMPARE(w->statusLine()->selectionLabel()->text(), QStringLiteral("6 خانه، جمع: 33"));
    }

    // A double click on a column's edge in the header fits the column to its
    // widest text: the width the layout gave it.
    void doubleClickFitsColumn()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        Write(path, QStringLiteral("کد\tنام\r\n1\tمحمدحسین ابوالقاسمی\r\n2\tعلی\r\n").toUtf8());
        auto w = OpenWindow(path);
        const int laidOut = w->document().grid().ColWidth(1);
        QVERIFY(laidOut > 60);
        w->grid()->showColumnWidth(1, 20);
        QCOMPARE(w->document().grid().ColWidth(1), 20);
        QHeaderView* header = w->grid()->horizontalHeader();
        // Right to left, a column ends at its left side.
        const QPoint edge(header->sectionViewportPosition(1) + 1, header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, edge);
        QCOMPARE(w->document().grid().ColWidth(1), laidOut);
    }

    // F6 and Shift+F6 sort the rows below the header by the cursor's column,
    // one undo step each; the save writes the rows in their new order.
    void sortByKeys()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray table = "Name\tAmount\r\nb\t10\r\na\t(5)\r\nc\t\r\nd\t9\r\n";
        Write(path, table);
        auto w = OpenWindow(path);
        Click(*w, 1, 2);
        Press(w.get(), Qt::Key_F6);
        const auto column = [&w](int col) {
            QStringList cells;
            for (int r = 0; r < w->document().grid().RowCount(); ++r)
                cells << Cell(*w, col, r);
            return cells.join('|');
        };
        QCOMPARE(column(0), QStringLiteral("Name|a|d|b|c"));
        QCOMPARE(column(1), QStringLiteral("Amount|(5)|9|10| "));
        QVERIFY(w->isWindowModified());
        Press(w.get(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(column(0), QStringLiteral("Name|b|d|a|c"));
        Press(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(column(0), QStringLiteral("Name|a|d|b|c"));
        Press(w.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(column(0), QStringLiteral("Name|b|a|c|d"));
        QVERIFY(!w->isWindowModified());
        Press(w.get(), Qt::Key_Y, Qt::ControlModifier);
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(ReadAll(path), QByteArray("Name\tAmount\r\na\t(5)\r\nd\t9\r\nb\t10\r\nc\t \r\n"));
    }
};

QTEST_MAIN(TestEverydayCommands)
#include "test_everyday_commands.moc"
