// The main window in a real X window, driven by keys and clicks through the
// X server: every way of closing it with a cell editor open keeps the edit
// and asks.

#include "DeleteWindow.h"

#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "render/QtText.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

bool Xdo(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

void Keys(const QStringList& keys)
{
    QVERIFY(Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + keys));
}

void Type(const QString& text)
{
    QVERIFY(Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), text}));
}

void ClickAt(const QPoint& global)
{
    QVERIFY(Xdo({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y()), "click", "1"}));
}

// The window gets the keyboard as after a click on it: no window manager here.
void Focus(MainWindow& w)
{
    QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(w.winId())}));
    QTRY_VERIFY(w.grid()->hasKeyboardFocus());
}

QString Cell(const MainWindow& w, int col, int row)
{
    return ToQString(w.document().grid().Cell(col, row), w.document().grid().Encoding());
}

} // namespace

// A helper's failed check ends the test there.
#define CHECKED(call)                                                                                                  \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

class TestWindowKeys : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting(appDir.path().toStdString() + "/");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X server");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is missing: scripts/setup installs it");
    }

    void closingKeepsTheOpenEdit_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("answer");
        // Esc in the editor drops the edit, as the command list says: it is no way out there.
        for (const char* way : {"close button", "File menu", "close on key"}) {
            QTest::addRow("%s, save", way) << way << int(QMessageBox::Save);
            QTest::addRow("%s, discard", way) << way << int(QMessageBox::Discard);
            QTest::addRow("%s, cancel", way) << way << int(QMessageBox::Cancel);
        }
    }
    // F2, typing, then a way out: the typed text is in its cell when the
    // question comes, and stays there unless the user lets it go.
    void closingKeepsTheOpenEdit()
    {
        QFETCH(QString, way);
        QFETCH(int, answer);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        const QByteArray original = way == "close on key" ? "SardoVelam31415926535-1 0\r\nName\tCity\r\nAli\tKaraj\r\n"
                                                          : "Name\tCity\r\nAli\tKaraj\r\n";
        QVERIFY(Write(path, original));
        MainWindow w({NativePath(path)});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        CHECKED(Focus(w));
        QCOMPARE(w.document().currentRow(), 1);
        CHECKED(Keys({"F2"}));
        QTRY_VERIFY(w.grid()->isEditing());
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        if (way == "close on key") {
            // Every typed letter closes this table: the text comes as from an input method.
            editor->setText(QStringLiteral("AliReza"));
        } else {
            CHECKED(Keys({"End"}));
            CHECKED(Type(QStringLiteral("Reza")));
            QTRY_COMPARE(editor->text(), QStringLiteral("AliReza"));
        }
        int asked = 0;
        QString cellWhenAsked;
        w.runUnsavedQuestion = [&](QMessageBox&) {
            ++asked;
            cellWhenAsked = Cell(w, 0, 1);
            return answer;
        };
        ModalCloser closer(SaveAs(path));

        if (way == "close button") {
            QVERIFY(SendDeleteWindow(w));
        } else if (way == "close on key") {
            CHECKED(Keys({"x"}));
        } else {
            QAction* file = w.menuBar()->actions().front();
            CHECKED(ClickAt(w.menuBar()->mapToGlobal(w.menuBar()->actionGeometry(file).center())));
            QTRY_VERIFY(file->menu()->isVisible());
            CHECKED(
                ClickAt(file->menu()->mapToGlobal(file->menu()->actionGeometry(w.command("closeWindow")).center())));
        }
        QTRY_COMPARE(asked, 1);
        QCOMPARE(cellWhenAsked, QStringLiteral("AliReza"));
        if (answer == int(QMessageBox::Cancel)) {
            QTest::qWait(200);
            QVERIFY(w.isVisible());
            QCOMPARE(Cell(w, 0, 1), QStringLiteral("AliReza"));
            QVERIFY(w.isWindowModified());
            QCOMPARE(ReadAll(path), original);
        } else {
            QTRY_VERIFY(!w.isVisible());
            QCOMPARE(ReadAll(path).contains("AliReza"), answer == int(QMessageBox::Save));
        }
        QCOMPARE(asked, 1);
    }
};

QTEST_MAIN(TestWindowKeys)
#include "tst_WindowKeys.moc"
