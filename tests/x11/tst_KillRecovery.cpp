// The program killed (SIGKILL) at random moments of editing and saving, in
// a real window, and started again: the table's file is always a whole
// table the program showed, and every edit made more than 2 seconds before
// the kill comes back from the recovery record.
//
// One executable, three roles: the test, an editing window to be killed
// (--edit), and a window started again that restores and reports (--check).

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "text/FileIdentity.h"
#include "text/TextFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <random>
#include <set>

#include <signal.h>
#include <time.h>

using namespace rasmik;

namespace {

std::int64_t MonotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// The cells as the user reads them, an empty field and a space alike.
std::uint64_t CellsHash(const std::vector<std::vector<std::string>>& rows)
{
    ByteHasher h;
    for (const auto& row : rows) {
        for (const std::string& cell : row) {
            h.add(cell == " " ? std::string_view() : std::string_view(cell));
            h.add("\t");
        }
        h.add("\n");
    }
    return h.value();
}

std::uint64_t GridHash(const MainWindow& w)
{
    const CoreGrid& g = w.document().grid();
    std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(g.RowCount()));
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c)
            rows[static_cast<std::size_t>(r)].emplace_back(g.Cell(c, r));
    return CellsHash(rows);
}

// The cells of a tab-separated file, as a save writes them.
std::uint64_t FileHash(const QByteArray& bytes)
{
    std::vector<std::vector<std::string>> rows;
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        rows.emplace_back();
        for (const QByteArray& cell : line.split('\t'))
            rows.back().push_back(cell.toStdString());
    }
    return CellsHash(rows);
}

void Say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Edits the table until it is killed, saying each state it reaches.
int EditUntilKilled(const QString& folder, const QString& table, unsigned seed)
{
    SetExeFolderForTesting((folder + "/").toStdString());
    MainWindow w({QFile::encodeName(table).toStdString()});
    w.show();
    ModalCloser closer(SaveAs(table));
    std::mt19937 random(seed);
    int step = 0;
    bool saving = false;
    Say("0 " + QByteArray::number(MonotonicNs()) + " " + QByteArray::number(GridHash(w)));
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (saving)
            return;
        GridWidget* grid = w.grid();
        GridModel& model = grid->gridModel();
        const CoreGrid& g = w.document().grid();
        const int row = 1 + static_cast<int>(random() % static_cast<unsigned>(g.RowCount() - 1));
        const int col = static_cast<int>(random() % static_cast<unsigned>(g.ColCount()));
        grid->setCurrentIndex(model.index(model.modelRow(row), col));
        const unsigned what = random() % 100;
        if (what < 70) {
            model.setData(model.index(model.modelRow(row), col), QStringLiteral("خانه %1 cell").arg(random() % 100000),
                          Qt::EditRole);
        } else if (what < 78) {
            w.command("undo")->trigger();
        } else if (what < 82) {
            w.command("redo")->trigger();
        } else if (what < 86) {
            w.command(random() % 2 ? "sortAscending" : "sortDescending")->trigger();
        } else if (what < 90) {
            if (g.RowCount() > 6)
                w.command("deleteRow")->trigger();
        } else if (what < 96) {
            saving = true;
            w.command("saveTable")->trigger();
            saving = false;
            Say("saved " + QByteArray::number(step + 1) + " " + QByteArray::number(FileHash(ReadAll(table))));
        }
        Say(QByteArray::number(++step) + " " + QByteArray::number(MonotonicNs()) + " "
            + QByteArray::number(GridHash(w)));
    });
    timer.start(10);
    return qApp->exec();
}

// Starts again on the table, restores what is offered and says what shows.
int StartAgain(const QString& folder, const QString& table)
{
    SetExeFolderForTesting((folder + "/").toStdString());
    int asked = 0;
    ModalCloser closer([&](QWidget* w) {
        // Restored when it can be; a record that no longer fits the file
        // (killed between a save and the record's next write: the edits are
        // in the file) is thrown away, as the question suggests.
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->button(QMessageBox::Yes)) {
            ++asked;
            box->button(QMessageBox::Yes)->click();
        } else if (box && box->button(QMessageBox::Discard)) {
            box->button(QMessageBox::Discard)->click();
        } else {
            w->close();
        }
    });
    MainWindow w({QFile::encodeName(table).toStdString()});
    w.show();
    Say("asked " + QByteArray::number(asked) + " modified " + QByteArray::number(w.document().isModified() ? 1 : 0)
        + " grid " + QByteArray::number(GridHash(w)));
    return 0;
}

struct Step {
    int number;
    std::int64_t ns;
    std::uint64_t hash;
};

} // namespace

class TestKillRecovery : public QObject {
    Q_OBJECT

private slots:
    void killedAndStartedAgain()
    {
#if defined(__SANITIZE_ADDRESS__)
        const int kills = 15; // each start is slow under the sanitizer
#else
        const int kills =
            qEnvironmentVariableIntValue("RASMIK_KILLS") > 0 ? qEnvironmentVariableIntValue("RASMIK_KILLS") : 100;
#endif
        QTemporaryDir folder;
        QTemporaryDir tables;
        const QString table = tables.filePath("t.txt");
        std::mt19937 random(20261211);
        QByteArray original = "نام\tشهر\tمبلغ\tnote\n";
        for (int r = 0; r < 40; ++r)
            original += QStringLiteral("ردیف %1\tتهران %2\t%3\tLatin %4\n")
                            .arg(r)
                            .arg(r * 7 % 13)
                            .arg(r * 1000 + 17)
                            .arg(r)
                            .toUtf8();
        int checked = 0;
        int restoredCount = 0;
        for (int kill = 0; kill < kills; ++kill) {
            QVERIFY(Write(table, original));
            QProcess editing;
            editing.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            editing.start(QCoreApplication::applicationFilePath(),
                          {"--edit", folder.path(), table, QString::number(random())});
            QVERIFY(editing.waitForStarted(60000));
            QByteArray said;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    said += editing.readAllStandardOutput();
                    return said.contains('\n');
                },
                120000));
            // A random moment of editing and saving.
            const int ms = 100 + static_cast<int>(random() % 3400);
            const std::int64_t until = MonotonicNs() + std::int64_t{ms} * 1000000;
            while (MonotonicNs() < until) {
                editing.waitForReadyRead(20);
                said += editing.readAllStandardOutput();
            }
            ::kill(static_cast<pid_t>(editing.processId()), SIGKILL);
            const std::int64_t killedAt = MonotonicNs();
            QVERIFY(editing.waitForFinished(60000));
            said += editing.readAllStandardOutput();

            std::vector<Step> steps;
            std::set<std::uint64_t> shown;
            for (const QByteArray& line : said.split('\n')) {
                const QList<QByteArray> f = line.split(' ');
                if (f.size() == 3 && f[0] != "saved") {
                    steps.push_back(Step{f[0].toInt(), f[1].toLongLong(), f[2].toULongLong()});
                    shown.insert(steps.back().hash);
                }
            }
            QVERIFY(!steps.empty());
            // Never half a save: the file is a table the window showed.
            const QByteArray file = ReadAll(table);
            QVERIFY2(shown.count(FileHash(file)),
                     qPrintable(QStringLiteral("kill %1: the file is no table the window showed").arg(kill)));

            QProcess again;
            again.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            again.start(QCoreApplication::applicationFilePath(), {"--check", folder.path(), table});
            QVERIFY(again.waitForFinished(120000));
            const QList<QByteArray> report = again.readAllStandardOutput().trimmed().split(' ');
            QCOMPARE(report.size(), 6);
            const std::uint64_t restored = report[5].toULongLong();
            // The state shown must be one reached at or after the last edit
            // made 2 seconds before the kill.
            std::size_t oldEnough = 0;
            for (std::size_t i = 0; i < steps.size(); ++i)
                if (steps[i].ns < killedAt - 2'000'000'000)
                    oldEnough = i;
            bool found = false;
            for (std::size_t i = oldEnough; i < steps.size() && !found; ++i)
                found = steps[i].hash == restored;
            QVERIFY2(found,
                     qPrintable(QStringLiteral("kill %1 after %2 ms, %3 steps: edit %4 and those before it "
                                               "did not come back (%5)")
                                    .arg(kill)
                                    .arg(ms)
                                    .arg(steps.size())
                                    .arg(steps[oldEnough].number)
                                    .arg(QString::fromLatin1(report.join(' ')))));
            if (report[1] == "1") {
                QCOMPARE(report[3], QByteArray("1"));
                ++restoredCount;
            }
            checked += oldEnough > 0;
            // The window started again has settled every record.
            const QStringList left = QDir(folder.path()).entryList({"Recovery-*"}, QDir::Files);
            QVERIFY2(left.isEmpty(), qPrintable(QStringLiteral("kill %1: %2 left").arg(kill).arg(left.join(' '))));
        }
        qInfo("%d kills, %d of them with edits older than 2 s; %d restored", kills, checked, restoredCount);
        QVERIFY(checked > 0);
    }
};

int main(int argc, char** argv)
{
    if (argc >= 4 && (std::strcmp(argv[1], "--edit") == 0 || std::strcmp(argv[1], "--check") == 0)) {
        QApplication app(argc, argv);
        const QString folder = QString::fromLocal8Bit(argv[2]);
        const QString table = QString::fromLocal8Bit(argv[3]);
        if (std::strcmp(argv[1], "--edit") == 0)
            return EditUntilKilled(folder, table, argc > 4 ? static_cast<unsigned>(std::atol(argv[4])) : 1);
        return StartAgain(folder, table);
    }
    QApplication app(argc, argv);
    TestKillRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_KillRecovery.moc"
