// A window that ends without a word after edits (as a crash ends it) leaves
// a record of them; the next window offers it at start-up or when the table
// opens: restored as unsaved, undoable edits, opened as it is, or thrown
// away; a file changed since gets the edits as a table of its own.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"
#include "text/TextFiles.h"

#include <QAbstractButton>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

constexpr const char* Restore = "بازگرداندن تغییرها";
constexpr const char* AsItIs = "باز کردن فایل همان‌گونه که هست";
constexpr const char* Discard = "دور انداختن تغییرها";

bool ClickButton(QMessageBox& box, const QString& caption)
{
    for (QAbstractButton* b : box.buttons())
        if (b->text() == caption) {
            b->click();
            return true;
        }
    return false;
}

} // namespace

class TestRecoveryWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir_;
    QTemporaryDir dir_;
    QString table_;

    QStringList records() const { return QDir(appDir_.path()).entryList({"Recovery-*.rec"}, QDir::Files); }

    // A window on the table that is edited and then ends as a crash ends it.
    void editAndCrash(bool changeFileFirst = false)
    {
        auto w = OpenWindow(table_);
        QVERIFY(w->document().path() == NativePath(table_));
        GridModel& model = w->grid()->gridModel();
        QVERIFY(model.setData(model.index(model.modelRow(1), 1), QStringLiteral("قم"), Qt::EditRole));
        Click(*w, 0, 2);
        w->command("deleteRow")->trigger();
        QVERIFY(w->document().isModified());
        if (changeFileFirst)
            QVERIFY(Write(table_, "other\tprogram\nwrote\tthis\n"));
        QVERIFY(w->recovery().waitWritten(std::chrono::milliseconds(WaitMs)));
        QCOMPARE(records().size(), 1);
        w->recovery().keepOnExit();
    }

    void checkRestored(const MainWindow& w)
    {
        QCOMPARE(Cell(w, 1, 1), QStringLiteral("قم"));
        QCOMPARE(w.document().grid().RowCount(), 3);
        QCOMPARE(Cell(w, 0, 2), QStringLiteral("reza"));
        QVERIFY(w.document().isModified());
        QCOMPARE(QString::fromStdString(w.document().history().undoName()), QStringLiteral("Delete Row"));
    }

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir_.path() + "/").toStdString()); }
    void init()
    {
        table_ = dir_.filePath("t.txt");
        QVERIFY(Write(table_, "name\tcity\nsara\ttehran\nali\tshiraz\nreza\ttabriz\n"));
    }
    void cleanup()
    {
        for (const QString& f : QDir(appDir_.path()).entryList({"Recovery-*"}, QDir::Files))
            QFile::remove(appDir_.filePath(f));
    }

    void offeredAtStartUp_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("restore") << Restore;
        QTest::newRow("open it as it is") << AsItIs;
        QTest::newRow("throw the record away") << Discard;
    }
    void offeredAtStartUp()
    {
        QFETCH(QString, answer);
        editAndCrash();
        ModalCloser closer([answer](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w); !box || !ClickButton(*box, answer))
                w->close();
        });
        auto w = std::make_unique<MainWindow>();
        COMPARE_MODALS(closer, 1);
        QVERIFY(closer.texts.front().contains(table_));
        const QByteArray original = "name\tcity\nsara\ttehran\nali\tshiraz\nreza\ttabriz\n";
        if (answer == Discard) {
            QCOMPARE(w->document().path(), std::string());
            QCOMPARE(records(), QStringList());
            return;
        }
        QCOMPARE(w->caption(), NativePath(table_));
        if (answer == AsItIs) {
            QVERIFY(!w->document().isModified());
            QCOMPARE(Cell(*w, 1, 1), QStringLiteral("tehran"));
            QCOMPARE(records().size(), 1);
            return;
        }
        checkRestored(*w);
        // The edits are undoable, and the old record gives way to the new one.
        QVERIFY(w->command("undo")->isEnabled());
        w->command("undo")->trigger();
        QCOMPARE(w->document().grid().RowCount(), 4);
        QVERIFY(w->recovery().waitWritten(std::chrono::milliseconds(WaitMs)));
        WAIT_COMPARE(records(), QStringList(QString::fromStdString(w->recovery().stem()) + ".rec"));
        QCOMPARE(ReadAll(table_), original);
        w.reset();
        QCOMPARE(records(), QStringList());
    }

    void offeredWhenTheTableOpens_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("restored");
        QTest::addColumn<int>("recordsAfter");
        QTest::newRow("restore") << Restore << true << 0;
        QTest::newRow("open it as it is") << AsItIs << false << 1;
        QTest::newRow("throw the record away") << Discard << false << 0;
    }
    void offeredWhenTheTableOpens()
    {
        QFETCH(QString, answer);
        QFETCH(bool, restored);
        QFETCH(int, recordsAfter);
        auto w = std::make_unique<MainWindow>();
        editAndCrash();
        int asked = 0;
        w->runRecoveryQuestion = [&](QMessageBox& box) {
            ++asked;
            return ClickButton(box, answer) ? int(box.standardButton(box.clickedButton())) : int(QMessageBox::No);
        };
        QVERIFY(w->openFile(NativePath(table_)));
        QCOMPARE(asked, 1);
        if (restored) {
            checkRestored(*w);
        } else {
            QVERIFY(!w->document().isModified());
            QCOMPARE(Cell(*w, 1, 1), QStringLiteral("tehran"));
        }
        w.reset();
        QCOMPARE(records().size(), recordsAfter);
    }

    void fileChangedSinceGivesATableOfItsOwn()
    {
        auto w = std::make_unique<MainWindow>();
        editAndCrash(true);
        QString more;
        w->runRecoveryQuestion = [&](QMessageBox& box) {
            more = box.informativeText();
            ClickButton(box, Restore);
            return int(QMessageBox::Yes);
        };
        QVERIFY(w->openFile(NativePath(table_)));
        QVERIFY(more.contains(QStringLiteral("جدولی جدا")));
        const QString separate = dir_.filePath("t (بازیابی).txt");
        QCOMPARE(w->caption(), NativePath(separate));
        checkRestored(*w);
        // Nothing is written until the user saves.
        QVERIFY(!QFile::exists(separate));
        QCOMPARE(ReadAll(table_), QByteArray("other\tprogram\nwrote\tthis\n"));
    }
};

QTEST_MAIN(TestRecoveryWindow)
#include "test_recovery_window.moc"
