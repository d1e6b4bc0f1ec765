// Saves that cannot finish: `rasmik --convert TABLE TABLE` (Save over the
// open table) on a disk that fills up, and killed with SIGKILL while it
// writes. On disk there is always the old table or the new one, whole, and
// its backup; nothing else but files named as temporaries, which a later
// save does not trip over.

#include "Robustness.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

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
        QCOMPARE(tempFiles(), strays);
    }
};

QTEST_MAIN(TestSaveFaults)
#include "test_save_faults.moc"
