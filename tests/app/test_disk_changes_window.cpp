// A table changed, deleted or moved by another program while the window
// shows it: the window says so when it comes back into focus, offers the new
// version when nothing is unsaved, and asks before a save writes over it.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

constexpr auto CtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

// Answers every question about the table's file with the button captioned
// answer (or Yes / No for a question of those), counting them.
struct DiskAnswers {
    QString answer;
    QStringList asked;
    void attach(MainWindow& w)
    {
        w.runDiskQuestion = [this](QMessageBox& box) {
            asked << box.text();
            for (QAbstractButton* b : box.buttons())
                if (b->text() == answer) {
                    b->click();
                    return int(box.standardButton(b));
                }
            return int(QMessageBox::Cancel);
        };
    }
};

// A window on a fresh table t.txt in dir, its questions about the file
// answered by answers.
std::unique_ptr<MainWindow> OpenAnswered(const QTemporaryDir& dir, DiskAnswers& answers)
{
    if (!Write(dir.filePath("t.txt"), "h\r\nold\r\n"))
        return nullptr;
    auto w = OpenWindow(dir.filePath("t.txt"));
    answers.attach(*w);
    return w;
}

// Save over the window's own table: the dialog and the question whether to replace it.
void SaveOver(MainWindow& w, const QString& path)
{
    ModalCloser closer(SaveAs(path));
    Press(&w, Qt::Key_S, CtrlShift);
    QVERIFY2(QTest::qWaitFor([&] { return closer.seen == 2; }, WaitMs), qPrintable(closer.windows()));
}

} // namespace

class TestDiskChangesWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir.path() + "/").toStdString()); }

    void newVersionOffered_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("opened") << QStringLiteral("باز کردن نسخه تازه") << "theirs";
        QTest::newRow("declined") << QStringLiteral("نگه داشتن همین") << "old";
    }

    // Without unsaved changes, coming back into focus offers the newer file;
    // one declined is not offered again, a newer one after it is.
    void newVersionOffered()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath("t.txt");
        DiskAnswers answers{answer, {}};
        auto w = OpenAnswered(dir, answers);
        QVERIFY(w);
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 0);
        QVERIFY(Write(path, "h\r\ntheirs\r\n"));
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(Cell(*w, 0, 1), shown);
        QVERIFY(!w->document().isModified());
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 1);
        QVERIFY(Write(path, "h\r\nnewer\r\n"));
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 2);
    }

    // The window's focus coming back is what looks.
    void lookedAtWhenTheWindowComesBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.txt");
        DiskAnswers answers{QStringLiteral("باز کردن نسخه تازه"), {}};
        auto w = OpenAnswered(dir, answers);
        QVERIFY(w);
        QWidget other;
        other.show();
        other.activateWindow();
        WAIT_VERIFY(!w->isActiveWindow());
        QVERIFY(Write(path, "h\r\ntheirs\r\n"));
        w->activateWindow();
        WAIT_COMPARE(answers.asked.size(), 1);
        WAIT_COMPARE(Cell(*w, 0, 1), QStringLiteral("theirs"));
    }

    void saveOverANewerFileAsks_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("backup");
        QTest::newRow("written over") << QStringLiteral("ذخیره روی همین فایل") << QByteArray("h\r\nmine\r\n")
                                      << QByteArray("h\r\ntheirs\r\n");
        QTest::newRow("cancelled") << QStringLiteral("انصراف") << QByteArray("h\r\ntheirs\r\n") << MissingFile;
    }

    // With unsaved changes nothing is asked at focus; the save asks.
    void saveOverANewerFileAsks()
    {
        QFETCH(QString, answer);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, backup);
        QTemporaryDir dir;
        const QString path = dir.filePath("t.txt");
        DiskAnswers answers{answer, {}};
        auto w = OpenAnswered(dir, answers);
        QVERIFY(w);
        QVERIFY(w->grid()->model()->setData(w->grid()->model()->index(0, 0), QStringLiteral("mine")));
        QCOMPARE(Cell(*w, 0, 1), QStringLiteral("mine"));
        QVERIFY(Write(path, "h\r\ntheirs\r\n"));
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 0);
        CHECKED(SaveOver(*w, path));
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(ReadAll(path), file);
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), backup);
    }

    // A deleted table is told once; Save writes it back where it was.
    void deletedTableToldOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.txt");
        DiskAnswers answers{QStringLiteral("تأیید"), {}};
        auto w = OpenAnswered(dir, answers);
        QVERIFY(w);
        QVERIFY(QFile::remove(path));
        w->checkTableOnDisk();
        w->checkTableOnDisk();
        QCOMPARE(answers.asked.size(), 1);
        {
            ModalCloser closer(SaveAs(path));
            Press(w.get(), Qt::Key_S, CtrlShift);
            WAIT_VERIFY(QFile::exists(path));
        }
        QCOMPARE(ReadAll(path), QByteArray("h\r\nold\r\n"));
    }
};

QTEST_MAIN(TestDiskChangesWindow)
#include "test_disk_changes_window.moc"
