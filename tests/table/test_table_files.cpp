// Table files on disk: the folder list that "Pre File" and "Next File" walk,
// the companion .cfg, and reading a table.

#include "common/TestFiles.h"
#include "table/FolderFiles.h"
#include "table/TableLines.h"
#include "text/TextFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace rasmik;

namespace {

QStringList Names(const std::vector<std::string>& paths)
{
    QStringList out;
    for (const auto& p : paths)
        out << QString::fromStdString(p.substr(p.find_last_of('/') + 1));
    return out;
}

} // namespace

class TestTableFiles : public QObject {
    Q_OBJECT
private slots:
    void folderListingAndWrapOrder()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + "/";
        Write(d + "b.txt", "b");
        Write(d + "A.TXT", "a");
        Write(d + "c.txt", "c");
        Write(d + "readme.md", "x");
        Write(d + "x.txt.bak", "x");
        QVERIFY(QDir(d).mkdir("notes.txt"));
        const std::vector<std::string> files = RebuildFolderFiles(d.toStdString());
        QCOMPARE(Names(files), (QStringList{"A.TXT", "b.txt", "c.txt"}));

        const std::string folder = d.toStdString();
        QCOMPARE(NeighbourFile(files, folder + "c.txt", +1), folder + "A.TXT");
        QCOMPARE(NeighbourFile(files, folder + "A.TXT", -1), folder + "c.txt");
        QCOMPARE(NeighbourFile(files, folder + "b.txt", +1), folder + "c.txt");
        QCOMPARE(NeighbourFile(files, folder + "b.txt", -1), folder + "A.TXT");
        // A caption found only ignoring case still counts as found.
        QCOMPARE(NeighbourFile(files, folder + "a.txt", +1), folder + "b.txt");
        // Not in the list: "Pre File" opens the first, "Next File" the last.
        QCOMPARE(NeighbourFile(files, "/elsewhere/z.txt", -1), folder + "A.TXT");
        QCOMPARE(NeighbourFile(files, "/elsewhere/z.txt", +1), folder + "c.txt");
        QCOMPARE(NeighbourFile({}, "/x.txt", +1), std::string());
    }

    void oneFileReopensItself()
    {
        const std::vector<std::string> files{"/t/only.txt"};
        QCOMPARE(NeighbourFile(files, "/t/only.txt", +1), std::string("/t/only.txt"));
        QCOMPARE(NeighbourFile(files, "/t/only.txt", -1), std::string("/t/only.txt"));
    }

    void namesDifferingOnlyInCaseBothListed()
    {
        QTemporaryDir dir;
        Write(dir.path() + "/a.txt", "1");
        Write(dir.path() + "/A.txt", "2");
        QCOMPARE(RebuildFolderFiles(dir.path().toStdString() + "/").size(), std::size_t(2));
    }

    void unlistableFolder()
    {
        QVERIFY(RebuildFolderFiles("/no/such/folder/").empty());
        if (geteuid() == 0)
            QSKIP("root lists every folder");
        QTemporaryDir dir;
        Write(dir.path() + "/a.txt", "1");
        QVERIFY(chmod(dir.path().toLocal8Bit().constData(), 0) == 0);
        QVERIFY(RebuildFolderFiles(dir.path().toStdString() + "/").empty());
        chmod(dir.path().toLocal8Bit().constData(), 0700);
    }

    void cellFormat_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("cfg");
        QTest::addColumn<QByteArray>("cfgBytes");
        QTest::addColumn<QString>("widths");
        QTest::newRow("last extension replaced") << "report.2024.txt"
                                                 << "report.2024.cfg" << QByteArray("CellFormat=3 4\r\n") << "3 4";
        QTest::newRow("key any case, first wins")
            << "t.txt"
            << "t.cfg" << QByteArray("x=1\r\ncellformat=5\r\nCellFormat=6\r\n") << "5";
        QTest::newRow("no key") << "t.txt"
                                << "t.cfg" << QByteArray("Other=1\r\n") << "";
        QTest::newRow("no extension") << "table"
                                      << "table.cfg" << QByteArray("CellFormat=7") << "7";
        QTest::newRow("no cfg") << "t.txt"
                                << "other.cfg" << QByteArray("CellFormat=7") << "";
    }
    void cellFormat()
    {
        QFETCH(QString, table);
        QFETCH(QString, cfg);
        QFETCH(QByteArray, cfgBytes);
        QFETCH(QString, widths);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub.d"));
        const QString d = dir.path() + "/sub.d/";
        Write(d + table, "x");
        Write(d + cfg, cfgBytes);
        QCOMPARE(QString::fromStdString(ReadCellFormat((d + table).toStdString())), widths);
    }

    void readTable()
    {
        QTemporaryDir dir;
        const QString p = dir.path() + "/t.txt";
        Write(p, "a\tb\r\nc\r\n");
        TableLines lines;
        QVERIFY(ReadTableFile(p.toStdString(), lines).ok());
        QCOMPARE(lines.size(), std::size_t(2));
        QCOMPARE(std::string(lines[0]), std::string("a\tb"));

        const FileStatus missing = ReadTableFile((dir.path() + "/none.txt").toStdString(), lines);
        QVERIFY(!missing.ok());
        QVERIFY(!DescribeFileError(missing.error()).empty());
        QCOMPARE(lines.size(), std::size_t(2));
        QVERIFY(!ReadTableFile(dir.path().toStdString(), lines).ok());

        // Cancelling through the progress report reads nothing.
        Write(p, QByteArray(20 << 20, 'x') + "\n" + QByteArray(20 << 20, 'y'));
        TableLines big;
        const FileStatus cancelled =
            ReadTableFile(p.toStdString(), big, [](std::uint64_t, std::uint64_t) { return false; });
        QVERIFY(!cancelled.ok());
        QVERIFY(big.empty());
    }

    void absolutePath()
    {
        const QString cwd = QDir::currentPath();
        QCOMPARE(QString::fromStdString(AbsolutePath("t.txt")), cwd + "/t.txt");
        QCOMPARE(QString::fromStdString(AbsolutePath("./sub/t.txt")), cwd + "/sub/t.txt");
        QCOMPARE(AbsolutePath("/abs/t.txt"), std::string("/abs/t.txt"));
        QCOMPARE(FolderOf("/abs/t.txt"), std::string("/abs/"));
        QCOMPARE(FolderOf("t.txt"), std::string());
    }
};

QTEST_GUILESS_MAIN(TestTableFiles)
#include "test_table_files.moc"
