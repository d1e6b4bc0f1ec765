// The commands a user of a spreadsheet expects, driven by their keys and the
// mouse: the status bar's current cell and selection sum.

#include "app/MainWindow.h"
#include "app/StatusLine.h"
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
};

QTEST_MAIN(TestEverydayCommands)
#include "test_everyday_commands.moc"
