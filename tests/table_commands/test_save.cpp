// Saving the grid: the bytes written, the numbering, the backup and failures.
#include "GridHelpers.h"

#include "table/SaveLines.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rasmik;
using namespace testgrid;

namespace {

// Loads table bytes the way Open lays them out (header block removed, empty
// fields as " ", short lines padded).
CoreGrid loadTable(const QByteArray& bytes)
{
    TableLines lines = TableLines::FromBytes(b(bytes));
    ReadHeaderBlock(lines);
    CoreGrid grid;
    LayoutGridCells(grid, lines, "");
    return grid;
}

} // namespace

class TestSave : public QObject {
    Q_OBJECT
private slots:
    void saveBytes_data()
    {
        QTest::addColumn<QByteArray>("grid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << QByteArray("a|b\nc|d") << QByteArray("a\tb\r\nc\td\r\n");
        QTest::newRow("space in first field trimmed") << QByteArray(" |b") << QByteArray("\tb\r\n");
        QTest::newRow("space in middle field kept") << QByteArray("a| |c") << QByteArray("a\t \tc\r\n");
        QTest::newRow("padded short line keeps its spaces")
            << QByteArray("a|b|c\nx| | ") << QByteArray("a\tb\tc\r\nx\t \t \r\n");
        QTest::newRow("blanked last column dropped") << QByteArray("a|b|\nc|d|") << QByteArray("a\tb\r\nc\td\r\n");
        QTest::newRow("empty middle field kept") << QByteArray("a||c") << QByteArray("a\t\tc\r\n");
        QTest::newRow("all cells empty") << QByteArray("||\nx||") << QByteArray("\r\nx\r\n");
        QTest::newRow("leading spaces of the line") << QByteArray("   a|b") << QByteArray("a\tb\r\n");
        QTest::newRow("trailing spaces of a last cell") << QByteArray("a|b  ") << QByteArray("a\tb  \r\n");
        QTest::newRow("tab inside a trailing cell goes too") << QByteArray("a|b\t|") << QByteArray("a\tb\r\n");
        QTest::newRow("Persian bytes unchanged") << w("نام|مبلغ\nعلی|۱۲") << (w("نام\tمبلغ\r\nعلی\t12\r\n"));
    }
    void saveBytes()
    {
        QFETCH(QByteArray, grid);
        QFETCH(QByteArray, bytes);
        QCOMPARE(q(BuildSaveBytes(makeGrid(grid), 0)), bytes);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("unchanged table") << QByteArray("a\tb\r\nc\td\r\n") << QByteArray("a\tb\r\nc\td\r\n");
        QTest::newRow("header block not written")
            << QByteArray("SardoVelam31415926535-1 1\r\nR\r\nC\r\nL\r\nName\tId\r\nx\t1\r\n")
            << QByteArray("Name\tId\r\nx\t1\r\n");
        QTest::newRow("empty fields come back as spaces") << QByteArray("Name\tId\tNote\r\n\t1\tz\r\nb\t\t\r\n")
                                                          << QByteArray("Name\tId\tNote\r\n\t1\tz\r\nb\t \t \r\n");
        QTest::newRow("short lines padded") << QByteArray("a\tb\tc\nx\n") << QByteArray("a\tb\tc\r\nx\t \t \r\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray("\r\n");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, saved);
        QCOMPARE(q(BuildSaveBytes(loadTable(file), 0)), saved);
    }

    void rowNumbers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray plain("a\tb\r\nc\td\r\n\r\n");
        QTest::newRow("0 numbers from 0") << QByteArray("0") << QByteArray("0\ta\tb\r\n1\tc\td\r\n2\r\n");
        QTest::newRow("1 numbers from 1") << QByteArray("1") << QByteArray("1\ta\tb\r\n2\tc\td\r\n3\r\n");
        QTest::newRow("-1 no numbers") << QByteArray("-1") << plain;
        QTest::newRow("-5 no numbers") << QByteArray("-5") << plain;
        QTest::newRow("thousands comma") << QByteArray("1,000") << QByteArray("1000\ta\tb\r\n1001\tc\td\r\n1002\r\n");
        QTest::newRow("empty answer like 0") << QByteArray("") << QByteArray("0\ta\tb\r\n1\tc\td\r\n2\r\n");
        QTest::newRow("unreadable like 0") << QByteArray("one") << QByteArray("0\ta\tb\r\n1\tc\td\r\n2\r\n");
        QTest::newRow("largest start code")
            << QByteArray("2147483647") << QByteArray("2147483647\ta\tb\r\n2147483648\tc\td\r\n2147483649\r\n");
        QTest::newRow("beyond 32 bits") << QByteArray("5,000,000,000")
                                        << QByteArray("5000000000\ta\tb\r\n5000000001\tc\td\r\n5000000002\r\n");
        QTest::newRow("near the 64-bit end")
            << QByteArray("9223372036854775806")
            << QByteArray("9223372036854775806\ta\tb\r\n9223372036854775807\tc\td\r\n9223372036854775808\r\n");
        QTest::newRow("64-bit end unreadable")
            << QByteArray("9223372036854775807") << QByteArray("0\ta\tb\r\n1\tc\td\r\n2\r\n");
        QTest::newRow("beyond 64 bits unreadable")
            << QByteArray("99999999999999999999") << QByteArray("0\ta\tb\r\n1\tc\td\r\n2\r\n");
    }
    void rowNumbers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, bytes);
        const CoreGrid grid = makeGrid("a|b\nc|d\n|");
        QCOMPARE(q(BuildSaveBytes(grid, RowNumberBaseFromAnswer(b(answer)))), bytes);
    }

    void numberedSpaceCellStays() { QCOMPARE(q(BuildSaveBytes(makeGrid(" |b"), 4)), QByteArray("3\t \tb\r\n")); }

    void backupPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("backup");
        QTest::addColumn<QString>("cfg");
        QTest::newRow("extension") << "/d/t.txt"
                                   << "/d/t.Bak"
                                   << "/d/t.cfg";
        QTest::newRow("no extension") << "/d/t"
                                      << "/d/t.Bak"
                                      << "/d/t.cfg";
        QTest::newRow("dot in folder only") << "/d.x/t"
                                            << "/d.x/t.Bak"
                                            << "/d.x/t.cfg";
        QTest::newRow("last extension only") << "/d/t.tar.gz"
                                             << "/d/t.tar.Bak"
                                             << "/d/t.tar.cfg";
        QTest::newRow("dot file") << "/d/.table"
                                  << "/d/.table.Bak"
                                  << "/d/.table.cfg";
        QTest::newRow("relative") << "t.txt"
                                  << "t.Bak"
                                  << "t.cfg";
        QTest::newRow("no file open") << ""
                                      << ""
                                      << "";
    }
    void backupPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, backup);
        QFETCH(QString, cfg);
        QCOMPARE(QString::fromStdString(BackupPathFor(path.toStdString())), backup);
        QCOMPARE(QString::fromStdString(WithFileExtension(path.toStdString(), ".cfg")), cfg);
    }

    void saveUnderOtherName()
    {
        QTemporaryDir dir;
        const std::string current = path(dir, "t.txt");
        const std::string other = path(dir, "u.txt");
        Write(dir.filePath("t.txt"), "old\r\n");
        const FileStatus res = SaveGridToFile(makeGrid("a|b"), 0, other, current);
        QVERIFY2(res.ok(), DescribeFileError(res.error()).c_str());
        QCOMPARE(ReadAll(dir.filePath("u.txt")), QByteArray("a\tb\r\n"));
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"t.txt", "u.txt"}));
    }

    void saveTwiceKeepsOneBackup()
    {
        QTemporaryDir dir;
        const std::string current = path(dir, "t.txt");
        Write(dir.filePath("t.txt"), "v0\r\n");
        QVERIFY(SaveGridToFile(makeGrid("v1"), 0, current, current).ok());
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), QByteArray("v0\r\n"));
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("v1\r\n"));
        QVERIFY(SaveGridToFile(makeGrid("v2"), 0, current, current).ok());
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), QByteArray("v1\r\n"));
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("v2\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"t.Bak", "t.txt"}));
    }

    // The open table under another spelling is still the open table.
    void sameFileUnderAnotherSpellingGetsItsBackup_data()
    {
        QTest::addColumn<QString>("spelling"); // relative to the folder
        QTest::newRow("parent folder") << "sub/../t.txt";
        QTest::newRow("double slash") << "/t.txt";
        QTest::newRow("dot folder") << "./t.txt";
        QTest::newRow("symbolic link") << "link.txt";
    }
    void sameFileUnderAnotherSpellingGetsItsBackup()
    {
        QFETCH(QString, spelling);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        Write(dir.filePath("t.txt"), "old\r\n");
        QVERIFY(QFile::link(dir.filePath("t.txt"), dir.filePath("link.txt")));
        const std::string current = path(dir, "t.txt");
        const std::string target = (dir.path() + "/" + spelling).toStdString();
        const FileStatus res = SaveGridToFile(makeGrid("new"), 0, target, current);
        QVERIFY(res.ok());
        QVERIFY(!res.hasWarning());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("new\r\n"));
        const QString backup = spelling == "link.txt" ? "link.Bak" : "t.Bak";
        QCOMPARE(ReadAll(dir.filePath(backup)), QByteArray("old\r\n"));
    }

    void backupThatCannotBeMadeStillSaves()
    {
        QTemporaryDir dir;
        const std::string current = path(dir, "t.txt");
        Write(dir.filePath("t.txt"), "old\r\n");
        QVERIFY(QDir(dir.path()).mkdir("t.Bak"));
        const FileStatus res = SaveGridToFile(makeGrid("new"), 0, current, current);
        QVERIFY(res.ok());
        QVERIFY(res.hasWarning());
        QCOMPARE(res.warning().path, path(dir, "t.Bak"));
        QCOMPARE(res.warning().sysErrno, EISDIR);
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("new\r\n"));
        QVERIFY(QFileInfo(dir.filePath("t.Bak")).isDir());
    }

    void saveCurrentThatVanishedMakesNoBackup()
    {
        QTemporaryDir dir;
        const std::string current = path(dir, "t.txt");
        QVERIFY(SaveGridToFile(makeGrid("a"), 0, current, current).ok());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"t.txt"}));
    }

    void bakTableSavedOverItself()
    {
        QTemporaryDir dir;
        const std::string current = path(dir, "t.Bak");
        Write(dir.filePath("t.Bak"), "old\r\n");
        QVERIFY(SaveGridToFile(makeGrid("new"), 0, current, current).ok());
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), QByteArray("new\r\n"));
    }

    void failedSaveReported_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("folder missing") << "nowhere/t.txt";
        QTest::newRow("no file name") << "";
    }
    void failedSaveReported()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("folder"));
        const std::string p = target.isEmpty() ? std::string() : dir.filePath(target).toStdString();
        const FileStatus res = SaveGridToFile(makeGrid("a|b"), 0, p, p);
        QVERIFY(!res.ok());
        QVERIFY(!DescribeFileError(res.error()).empty());
        QVERIFY(QFileInfo(dir.filePath("folder")).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }

    void failedSaveKeepsTableAndBackup_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("read-only folder and table") << true;
        QTest::newRow("disk refuses the bytes") << false;
    }
    void failedSaveKeepsTableAndBackup()
    {
        QFETCH(bool, readOnlyFolder);
        if (readOnlyFolder && geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        const std::string current = path(dir, "t.txt");
        Write(dir.filePath("t.txt"), "table\r\n");
        Write(dir.filePath("t.Bak"), "older\r\n");
        const CoreGrid grid = makeGrid("a much longer table than the limit allows|x\nsecond|row");

        FileStatus res;
        if (readOnlyFolder) {
            // A table that may be written would be written in place there.
            QVERIFY(::chmod(dir.filePath("t.txt").toLocal8Bit().constData(), 0444) == 0);
            QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0555) == 0);
            res = SaveGridToFile(grid, 0, current, current);
            ::chmod(dir.path().toLocal8Bit().constData(), 0755);
        } else {
            // A file size limit makes the write itself fail, as a full disk would.
            rlimit old{};
            QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = old;
            small.rlim_cur = 16;
            QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
            res = SaveGridToFile(grid, 0, current, current);
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
        QVERIFY(!res.ok());
        QVERIFY(!DescribeFileError(res.error()).empty());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("table\r\n"));
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), QByteArray("older\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"t.Bak", "t.txt"}));
    }
};

QObject* makeSaveTests()
{
    return new TestSave;
}

#include "test_save.moc"
