// The commands a user of a spreadsheet expects, driven by their keys and the
// mouse: the status bar's current cell and selection sum, sorting.

#include "app/MainWindow.h"
#include "app/StatusLine.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "text/TextFiles.h"

#include <QLabel>
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
        QTRY_VERIFY(selection->text().isEmpty());
        Click(*w, 1, 1);
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w->grid(), Qt::Key_Down, Qt::ShiftModifier);
        Press(w->grid(), Qt::Key_Left, Qt::ShiftModifier);
        QTRY_COMPARE(selection->text(), QStringLiteral("6 خانه، جمع: 1,010.5"));
        QVERIFY(cell->text().contains(QStringLiteral("تعداد")));
        Click(*w, 0, 1);
        QTRY_VERIFY(selection->text().isEmpty());
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
