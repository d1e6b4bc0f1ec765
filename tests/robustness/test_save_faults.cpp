// Saves that cannot finish: `rasmik --convert TABLE TABLE` (Save over the
// open table) on a disk that fills up, killed with SIGKILL, SIGTERM or SIGINT
// while it writes, and a writer process killed at many moments of a save with
// a backup. On disk there is always the old table or the new one, whole, and
// the backup is the table before whenever the table is new. SIGTERM and
// SIGINT leave no temporary; what SIGKILL leaves the next write into that
// folder removes, but never the temporary of a writer still at work.

#include "Robustness.h"

#include "text/TemporaryFiles.h"
#include "text/TextFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rasmik;
using namespace robustness;

namespace {

// A table whose saved form differs from it: LF line ends, blanks at the ends.
QByteArray MakeTable(qsizetype bytes)
{
    QByteArray out;
    out.reserve(bytes + 64);
    for (int i = 0; out.size() < bytes; ++i)
        out += "  row " + QByteArray::number(i % 1000) + "\tcity " + QByteArray::number(i % 37) + "\t"
            + QByteArray::number(i % 101) + "  \n";
    return out;
}

// The same table as Save writes it: each cell followed by a TAB, blanks
// trimmed off the line's ends, then the trailing TABs dropped (so the blanks
// of the last cell stay), CR LF.
QByteArray SavedForm(const QByteArray& table)
{
    QByteArray out;
    out.reserve(table.size() + table.size() / 16);
    for (const QByteArray& line : table.split('\n')) {
        if (line.isEmpty())
            continue;
        QByteArray cells = line + "\t";
        qsizetype b = 0;
        while (b < cells.size() && cells[b] == ' ')
            ++b;
        cells = cells.mid(b);
        while (cells.endsWith('\t'))
            cells.chop(1);
        out += cells + "\r\n";
    }
    return out;
}

QByteArray Digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

qint64 SizeOf(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_size : -1;
}

// Temporaries of a save: ".NAME.XXXXXXXX.tmp".
const QRegularExpression TempName(QStringLiteral("^\\..+\\.[a-z0-9]{8}\\.tmp$"));

QStringList TempFiles(const QString& folder)
{
    return FolderNames(folder).filter(TempName);
}

// A program started from a background shell may find SIGINT ignored, and
// keeps it so: the children of these tests start as from a terminal.
void DefaultEndingSignals()
{
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, SIG_DFL);
}

// What a writer child has done, in memory it shares with the test.
struct Progress {
    std::atomic<int> pieces{0};                     // pieces handed to the writer
    std::atomic<int> stopAt{-1};                    // the child stops before handing this one...
    std::atomic<int> stopped{0};                    // ...and says so here
    std::atomic<qint64> lastPieceNs{0}, savedNs{0}; // when it handed the last piece, and when the save returned
};

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr std::size_t PieceBytes = 64 * 1024;

// A child process that saves bytes over table with a backup, as Save does,
// in pieces, with the program's handling of terminating signals.
class WriterChild {
public:
    WriterChild(const QString& table, const QString& backup, const QByteArray& bytes, int stopAt = -1)
    {
        void* shared = ::mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED)
            return;
        progress_ = new (shared) Progress;
        progress_->stopAt = stopAt;
        const std::string path = NativePath(table);
        const std::string bak = NativePath(backup);
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        DefaultEndingSignals();
        RemoveTemporariesOnTermination();
        Progress& p = *progress_;
        const FileStatus r = WriteFileWithBackup(
            path,
            [&](std::string_view& piece) {
                const int i = p.pieces.load();
                if (i == p.stopAt.load()) {
                    p.stopped = 1;
                    for (;;)
                        ::pause();
                }
                const std::size_t from = std::size_t(i) * PieceBytes;
                piece =
                    std::string_view(bytes.constData() + from, std::min(PieceBytes, std::size_t(bytes.size()) - from));
                p.pieces = i + 1;
                if (from + piece.size() < std::size_t(bytes.size()))
                    return Piece::More;
                p.lastPieceNs = NowNs();
                return Piece::Last;
            },
            bak);
        p.savedNs = NowNs();
        ::_exit(r.ok() ? 0 : 1);
    }
    ~WriterChild()
    {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (progress_)
            ::munmap(progress_, sizeof(Progress));
    }
    WriterChild(const WriterChild&) = delete;
    WriterChild& operator=(const WriterChild&) = delete;

    bool started() const { return pid_ > 0; }
    Progress& progress() { return *progress_; }
    void kill(int sig) { ::kill(pid_, sig); }
    // Whether it has ended (its status then kept).
    bool ended()
    {
        if (status_ < 0 && ::waitpid(pid_, &status_, WNOHANG) != pid_)
            status_ = -1;
        return status_ >= 0;
    }
    int wait()
    {
        while (status_ < 0 && ::waitpid(pid_, &status_, 0) != pid_) { }
        return status_;
    }
    // Polls for what it waits for, with a generous limit; false when it
    // ended without.
    bool waitFor(const std::function<bool()>& what)
    {
        QElapsedTimer clock;
        clock.start();
        while (!what()) {
            if (ended() || clock.elapsed() > 120000)
                return what();
            ::usleep(100);
        }
        return true;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    Progress* progress_ = nullptr;
};

// Whether the process has its handler for sig in place (so it is past its start).
bool Catches(qint64 pid, int sig)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (sig - 1)) & 1;
    }
    return false;
}

} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;
    QString exe;

private slots:
    void initTestCase()
    {
        QVERIFY(appDir.isValid());
        exe = CopyProgram(appDir.path());
        QVERIFY(!exe.isEmpty());
    }

    // A file-size limit stands for the full disk; the program gets EFBIG (or,
    // were it not ignoring it, SIGXFSZ) part way through its write.
    void fullDisk_data()
    {
        QTest::addColumn<int>("limit");
        QTest::newRow("nothing fits") << 1;
        QTest::newRow("half fits") << (2 << 20);
    }
    void fullDisk()
    {
        QFETCH(int, limit);
        QTemporaryDir dir;
        const QString file = dir.path() + "/big.txt";
        const QString backup = dir.path() + "/big.Bak";
        const QByteArray table = MakeTable(4 << 20);
        QVERIFY(Write(file, table));
        QVERIFY(Write(backup, "earlier backup\r\n"));
        const rlim_t bytes = static_cast<rlim_t>(limit);
        const Run r = RunProgram(exe, {"--convert", file, file}, 300000, [bytes] {
            const rlimit small{bytes, bytes};
            ::setrlimit(RLIMIT_FSIZE, &small);
        });
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains("big.txt") && r.err.contains("File too large"), r.err.constData());
        QVERIFY(ReadAll(file) == table);
        QCOMPARE(ReadAll(backup), QByteArray("earlier backup\r\n"));
        QCOMPARE(FolderNames(dir.path()), (QStringList{"big.Bak", "big.txt"}));
    }

    // SIGKILL at several moments of a save of an 80 MB table over itself: its
    // write takes long enough to be caught at each share of it.
    void killedWhileSaving()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/big.txt";
        const QString backup = dir.path() + "/big.Bak";
        const QByteArray oldTable = MakeTable(80 << 20);
        const QByteArray newTable = SavedForm(oldTable);
        QVERIFY(oldTable.size() != newTable.size());
        const QByteArray oldDigest = Digest(oldTable);
        const QByteArray newDigest = Digest(newTable);

        // When is the temporary file there, and how fast does it grow?
        auto tempFiles = [&] {
            QStringList names = FolderNames(dir.path());
            return names.filter(TempName);
        };
        // Kill points: milliseconds after the start (before any writing), or
        // the share of the new table the temporary file holds (during and
        // after the write, before and after the rename).
        struct Point {
            int afterMs;
            double written;
        };
        const Point points[] = {{50, -1}, {400, -1}, {-1, 0.0}, {-1, 0.3}, {-1, 0.6}, {-1, 0.95}, {-1, 1.0}};
        int killedDuringWrite = 0;
        for (const Point& point : points) {
            QVERIFY(Write(file, oldTable));
            QFile::remove(backup);
            const QStringList strays = tempFiles();
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            p.setProcessEnvironment(env);
            p.start(exe, {"--convert", file, file});
            QVERIFY(p.waitForStarted());
            QElapsedTimer clock;
            clock.start();
            bool sawTemp = false;
            for (;;) {
                if (p.state() == QProcess::NotRunning)
                    break;
                if (point.afterMs >= 0 && clock.elapsed() >= point.afterMs)
                    break;
                QStringList fresh = tempFiles();
                for (const QString& s : strays)
                    fresh.removeAll(s);
                if (point.afterMs < 0 && !fresh.isEmpty()) {
                    sawTemp = true;
                    const qint64 size = SizeOf(dir.path() + "/" + fresh.front());
                    if (size >= static_cast<qint64>(point.written * static_cast<double>(newTable.size())))
                        break;
                }
                QThread::usleep(2000);
                if (clock.elapsed() > 600000)
                    QFAIL("the save neither wrote nor ended");
            }
            p.kill(); // SIGKILL
            QVERIFY(p.waitForFinished(60000));
            killedDuringWrite += sawTemp;

            // The old table or the new one, whole.
            const QByteArray now = ReadAll(file);
            const QByteArray digest = Digest(now);
            QVERIFY2(digest == oldDigest || digest == newDigest,
                     qPrintable(QStringLiteral("%1 bytes on disk").arg(now.size())));
            // The backup is absent or the old table, whole.
            if (QFile::exists(backup))
                QVERIFY(Digest(ReadAll(backup)) == oldDigest);
            // Nothing else but temporaries.
            for (const QString& name : FolderNames(dir.path()))
                QVERIFY2(name == "big.txt" || name == "big.Bak" || TempName.match(name).hasMatch(), qPrintable(name));
        }
        QVERIFY(killedDuringWrite >= 3);

        // A later save goes through whatever the killed ones left.
        QVERIFY(Write(file, oldTable));
        const QStringList strays = tempFiles();
        const Run r = RunProgram(exe, {"--convert", file, file});
        QCOMPARE(r.status, 0);
        QVERIFY(Digest(ReadAll(file)) == newDigest);
        QVERIFY(Digest(ReadAll(backup)) == oldDigest);
        // ...and removes it.
        QCOMPARE(tempFiles(), QStringList());
    }

    // A writer killed at many moments of a save with a backup: while it
    // writes (stopped there, so the moment is sure) and at random moments
    // once it has every byte (the flush, the backup and the renames).
    // RASMIK_KILL_TRIALS and RASMIK_KILL_SEED run more or other kills by hand.
    void killedWriter_data()
    {
        QTest::addColumn<int>("sig");
        QTest::addColumn<bool>("hardLinked");
        QTest::newRow("SIGKILL") << int(SIGKILL) << false;
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGINT") << int(SIGINT) << false;
        QTest::newRow("SIGTERM, hard-linked table") << int(SIGTERM) << true;
    }
    void killedWriter()
    {
        QFETCH(int, sig);
        QFETCH(bool, hardLinked);
        const int trials =
            qEnvironmentVariableIsSet("RASMIK_KILL_TRIALS") ? qEnvironmentVariableIntValue("RASMIK_KILL_TRIALS") : 24;
        const quint32 seed = qEnvironmentVariableIsSet("RASMIK_KILL_SEED")
            ? quint32(qEnvironmentVariableIntValue("RASMIK_KILL_SEED"))
            : 28u;
        QRandomGenerator random(seed);

        // Each save writes the next of three tables over the one before, in
        // the state the kill before left behind (links, leftovers and all).
        QTemporaryDir dir;
        const QString table = dir.path() + "/t.txt";
        const QString backup = dir.path() + "/t.Bak";
        const QString twin = dir.path() + "/twin.txt";
        const QByteArray tables[3] = {MakeTable(1 << 20), SavedForm(MakeTable(3 << 19)), SavedForm(MakeTable(5 << 18))};
        QVERIFY(Write(table, tables[0]));
        QVERIFY(Write(backup, "earlier backup\r\n"));
        if (hardLinked)
            QVERIFY(::link(NativePath(table).c_str(), NativePath(twin).c_str()) == 0);
        const auto which = [&](const QByteArray& bytes) { return int(std::find(tables, tables + 3, bytes) - tables); };
        const auto piecesOf = [](const QByteArray& bytes) {
            return int((std::size_t(bytes.size()) + PieceBytes - 1) / PieceBytes);
        };

        // How long the end of a save takes here, to spread the kills over it
        // (the longest seen, and a half more).
        qint64 endUs = 0;
        {
            WriterChild child(table, backup, tables[1]);
            QVERIFY(child.started());
            const int status = child.wait();
            endUs = (child.progress().savedNs - child.progress().lastPieceNs) / 1000;
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            QVERIFY(ReadAll(table) == tables[1]);
        }

        int stayedOld = 0, becameNew = 0, leftovers = 0, endedBySignal = 0;
        for (int trial = 0; trial < trials; ++trial) {
            const QString at = QStringLiteral("trial %1, seed %2").arg(trial).arg(seed);
            const int old = which(ReadAll(table));
            QVERIFY2(old < 3, qPrintable(at + ": the table is torn"));
            const QByteArray& oldTable = tables[old];
            const QByteArray& newTable = tables[(old + 1) % 3];
            const QByteArray backupBefore = ReadAll(backup);
            const int pieces = piecesOf(newTable);

            const bool whileWriting = random.bounded(3) == 0;
            WriterChild child(table, backup, newTable, whileWriting ? int(random.bounded(pieces)) : -1);
            QVERIFY(child.started());
            if (whileWriting) {
                QVERIFY(child.waitFor([&] { return child.progress().stopped.load() == 1; }));
            } else if (child.waitFor([&] { return child.progress().pieces.load() == pieces; })) {
                const qint64 delayNs = qint64(random.bounded(double(endUs) * 1.5 + 1)) * 1000;
                QElapsedTimer clock;
                clock.start();
                while (clock.nsecsElapsed() < delayNs) { }
            }
            child.kill(sig);
            const int status = child.wait();
            // The machine may have become slower: the kills follow.
            if (WIFEXITED(status) && child.progress().savedNs.load() != 0)
                endUs = std::max(endUs, (child.progress().savedNs - child.progress().lastPieceNs) / 1000);

            const QByteArray now = ReadAll(table);
            const bool isNew = now == newTable;
            QVERIFY2(isNew || now == oldTable, qPrintable(at + ": the table is torn"));
            const QByteArray kept = ReadAll(backup);
            if (isNew)
                QVERIFY2(kept == oldTable, qPrintable(at + ": the table is new, its backup not the table before"));
            else
                QVERIFY2(kept == oldTable || kept == backupBefore, qPrintable(at + ": the backup is torn"));
            if (hardLinked)
                QVERIFY2(ReadAll(twin) == now, qPrintable(at + ": the hard link was parted"));
            (isNew ? becameNew : stayedOld) += 1;
            const QStringList temps = TempFiles(dir.path());
            if (sig != SIGKILL) {
                QVERIFY2(temps.isEmpty(), qPrintable(at + ": left " + temps.join(' ')));
                const bool bySignal = WIFSIGNALED(status) && WTERMSIG(status) == sig;
                QVERIFY2(bySignal || (WIFEXITED(status) && WEXITSTATUS(status) == 0), qPrintable(at));
                endedBySignal += bySignal;
            } else if (!temps.isEmpty()) {
                // The next write into the folder removes them.
                ++leftovers;
                QVERIFY(WriteFileAtomic(NativePath(dir.path() + "/other.txt"), "x"));
                QVERIFY2(TempFiles(dir.path()).isEmpty(), qPrintable(at + ": kept " + temps.join(' ')));
            }
        }
        qInfo("%d kills: the table old %d times, new %d times; %d ended by the signal, %d left temporaries"
              " (the end of a save took up to %lld us)",
              trials, stayedOld, becameNew, endedBySignal, leftovers, endUs);
        if (trials >= 24)
            QVERIFY(sig == SIGKILL ? leftovers > 0 : endedBySignal > 0);
    }

    // What killed writers left is removed by the next write into their
    // folder; the temporary of a writer still at work there is not, nor
    // files that only look like temporaries.
    void leftoversOfKilledWriters()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        const QByteArray table = MakeTable(1 << 20);
        for (const char* name : {"a.txt", "b.txt", "t.txt"})
            QVERIFY(Write(folder + name, table));
        WriterChild working(folder + "a.txt", folder + "a.Bak", table, 3);
        WriterChild killed(folder + "b.txt", folder + "b.Bak", table, 3);
        QVERIFY(working.started() && killed.started());
        QVERIFY(working.waitFor([&] { return working.progress().stopped.load() == 1; }));
        QVERIFY(killed.waitFor([&] { return killed.progress().stopped.load() == 1; }));
        killed.kill(SIGKILL);
        killed.wait();
        // A save killed in its backup step leaves a second name of the table.
        QVERIFY(::link(NativePath(folder + "t.txt").c_str(), NativePath(folder + ".t.txt.k1ll3d00.tmp").c_str()) == 0);
        const QStringList lookAlikes{".t.txt.ABCDEFGH.tmp", ".t.txt.abcdefg.tmp", "t.txt.abcdefgh.tmp"};
        for (const QString& name : lookAlikes)
            QVERIFY(Write(folder + name, "not ours"));
        const QStringList temps = TempFiles(dir.path());
        QCOMPARE(temps.size(), 3);
        QCOMPARE(temps.filter(QRegularExpression("^\\.a\\.txt\\.")).size(), 1);
        QCOMPARE(temps.filter(QRegularExpression("^\\.b\\.txt\\.")).size(), 1);

        QVERIFY(WriteFileWithBackup(NativePath(folder + "t.txt"), "new\r\n", NativePath(folder + "t.Bak")));
        QCOMPARE(TempFiles(dir.path()), temps.filter(QRegularExpression("^\\.a\\.txt\\.")));
        QVERIFY(ReadAll(folder + "t.Bak") == table);
        QCOMPARE(ReadAll(folder + "t.txt"), QByteArray("new\r\n"));
        for (const QString& name : lookAlikes)
            QCOMPARE(ReadAll(folder + name), QByteArray("not ours"));

        working.kill(SIGKILL);
        working.wait();
        QVERIFY(WriteFileAtomic(NativePath(folder + "other.txt"), "x"));
        QCOMPARE(TempFiles(dir.path()), QStringList());
        QVERIFY(ReadAll(folder + "a.txt") == table);
    }

    // SIGTERM and SIGINT end `rasmik --convert` as before, and when they
    // come while it writes, the temporary goes with it and the table stays.
    void terminatedWhileConverting_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminatedWhileConverting()
    {
        QFETCH(int, sig);
        QTemporaryDir dir;
        const QString file = dir.path() + "/big.txt";
        const QString backup = dir.path() + "/big.Bak";
        const QByteArray oldTable = MakeTable(16 << 20);
        const QByteArray newTable = SavedForm(oldTable);
        bool duringWrite = false;
        for (int attempt = 0; attempt < 6 && !duringWrite; ++attempt) {
            QVERIFY(Write(file, oldTable));
            QVERIFY(Write(backup, "earlier backup\r\n"));
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            p.setProcessEnvironment(env);
            p.setChildProcessModifier(DefaultEndingSignals);
            p.start(exe, {"--convert", file, file});
            QVERIFY(p.waitForStarted());
            QElapsedTimer clock;
            clock.start();
            // The first attempt ends it once it is set up, the others while it writes.
            bool finished = false;
            while (!finished && clock.elapsed() < 300000) {
                if (attempt == 0 ? Catches(p.processId(), sig) : !TempFiles(dir.path()).isEmpty())
                    break;
                finished = p.waitForFinished(1);
            }
            if (finished)
                continue; // it was quicker: again
            duringWrite = attempt > 0;
            ::kill(pid_t(p.processId()), sig);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            const QByteArray now = ReadAll(file);
            QVERIFY(now == oldTable || now == newTable);
            const QByteArray kept = ReadAll(backup);
            QVERIFY(now == newTable ? kept == oldTable : kept == oldTable || kept == "earlier backup\r\n");
            QCOMPARE(TempFiles(dir.path()), QStringList());
        }
        QVERIFY2(duringWrite, "the program never wrote long enough to be ended while writing");
    }

    // The window, ended while no save runs, ends as before.
    void windowEndsOnSigterm()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + "/t.txt";
        QVERIFY(Write(file, "A\tB\r\n1\t2\r\n"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setChildProcessModifier(DefaultEndingSignals);
        p.start(exe, {file});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(Catches(p.processId(), SIGTERM), 120000);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QCOMPARE(ReadAll(file), QByteArray("A\tB\r\n1\t2\r\n"));
        QCOMPARE(FolderNames(dir.path()), QStringList{"t.txt"});
    }
};

QTEST_MAIN(TestSaveFaults)
#include "test_save_faults.moc"
