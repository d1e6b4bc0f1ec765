// A table another program changes, deletes or moves while it is open, and
// two copies of the program on one table: nothing is written over a newer
// file unasked, a touch is no change, and a save racing another is told.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/TableDocument.h"
#include "text/FileIdentity.h"
#include "text/StagedFile.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include <fcntl.h>
#include <sys/stat.h>

using namespace rasmik;
using namespace testgrid;

namespace {

// Gives the file another modification time, its bytes as they are.
bool touch(const std::string& file)
{
    struct timespec times[2] = {{0, UTIME_NOW}, {1'000'000'000, 0}};
    return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

} // namespace

class TestDiskChanges : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

    bool open(TableDocument& doc, const std::string& file)
    {
        FixedLayoutTarget target(metrics_, 600);
        return doc.open(file, target).ok();
    }

private slots:
    void hashIsTheSameHoweverTheBytesAreCut()
    {
        std::mt19937 random(7);
        std::string bytes(5000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        const std::uint64_t whole = HashBytes(bytes);
        for (int round = 0; round < 50; ++round) {
            ByteHasher pieces;
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t n = std::min<std::size_t>(bytes.size() - at, random() % 70);
                pieces.add(std::string_view(bytes).substr(at, n));
                at += n;
            }
            QCOMPARE(pieces.value(), whole);
        }
        // One bit anywhere, or one more byte, is another hash.
        for (std::size_t i : {std::size_t(0), std::size_t(31), std::size_t(32), std::size_t(4999)}) {
            std::string other = bytes;
            other[i] = static_cast<char>(other[i] ^ 1);
            QVERIFY(HashBytes(other) != whole);
        }
        QVERIFY(HashBytes(bytes + '\0') != whole);
    }

    void stateOfTheFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("state");
        QTest::newRow("as read") << "none" << int(DiskState::Unchanged);
        QTest::newRow("touched") << "touch" << int(DiskState::Unchanged);
        QTest::newRow("rewritten, the same bytes") << "same" << int(DiskState::Unchanged);
        QTest::newRow("other bytes, same size") << "other" << int(DiskState::Changed);
        QTest::newRow("longer") << "longer" << int(DiskState::Changed);
        QTest::newRow("deleted") << "delete" << int(DiskState::Missing);
        QTest::newRow("moved away") << "move" << int(DiskState::Missing);
        QTest::newRow("replaced by a folder") << "folder" << int(DiskState::Missing);
    }

    void stateOfTheFile()
    {
        QFETCH(QString, change);
        QFETCH(int, state);
        QTemporaryDir dir;
        const std::string file = path(dir, "t.txt");
        const QByteArray bytes = "h1\th2\r\nab\tcd\r\n";
        QVERIFY(Write(file, bytes));
        TableDocument doc;
        QVERIFY(open(doc, file));
        if (change == "touch")
            QVERIFY(touch(file));
        else if (change == "same")
            QVERIFY(Write(file, bytes));
        else if (change == "other")
            QVERIFY(Write(file, "h1\th2\r\nAB\tcd\r\n"));
        else if (change == "longer")
            QVERIFY(Write(file, bytes + "ef\tgh\r\n"));
        else if (change == "delete")
            QVERIFY(QFile::remove(QString::fromStdString(file)));
        else if (change == "move")
            QVERIFY(QFile::rename(QString::fromStdString(file), QString::fromStdString(path(dir, "u.txt"))));
        else if (change == "folder")
            QVERIFY(QFile::remove(QString::fromStdString(file)) && QDir(dir.path()).mkdir("t.txt"));
        QCOMPARE(int(doc.diskState()), state);
        // Looked at again, the answer stays.
        QCOMPARE(int(doc.diskState()), state);
    }

    // A save over a file another program changed writes nothing, the
    // backup included, until the newer version is taken as known; then the
    // newer version goes to the backup as any old content does.
    void saveOverANewerFile()
    {
        QTemporaryDir dir;
        const std::string file = path(dir, "t.txt");
        QVERIFY(Write(file, "h\r\nold\r\n"));
        QVERIFY(Write(path(dir, "t.Bak"), "earlier backup"));
        TableDocument doc;
        QVERIFY(open(doc, file));
        doc.setCursor(0, 1);
        doc.setCell(0, 1, "mine");
        QVERIFY(Write(file, "h\r\ntheirs\r\n"));
        FileIdentity now;
        QCOMPARE(doc.diskState(&now), DiskState::Changed);
        const FileStatus refused = doc.save(file, 0);
        QCOMPARE(refused.error().code, FileErrorCode::ChangedOnDisk);
        QCOMPARE(ReadAll(file), QByteArray("h\r\ntheirs\r\n"));
        QCOMPARE(ReadAll(path(dir, "t.Bak")), QByteArray("earlier backup"));
        QVERIFY(doc.isModified());

        doc.adoptDiskVersion(now);
        QVERIFY(doc.save(file, 0).ok());
        QCOMPARE(ReadAll(file), QByteArray("h\r\nmine\r\n"));
        QCOMPARE(ReadAll(path(dir, "t.Bak")), QByteArray("h\r\ntheirs\r\n"));
        // What was written is what the table knows now: a touch is no change.
        QVERIFY(touch(file));
        QCOMPARE(doc.diskState(), DiskState::Unchanged);
        doc.setCell(0, 1, "again");
        QVERIFY(doc.save(file, 0).ok());
        QCOMPARE(ReadAll(file), QByteArray("h\r\nagain\r\n"));
    }

    // A table deleted while open is written back where it was.
    void saveWritesADeletedTableBack()
    {
        QTemporaryDir dir;
        const std::string file = path(dir, "t.txt");
        QVERIFY(Write(file, "h\r\nv\r\n"));
        TableDocument doc;
        QVERIFY(open(doc, file));
        QVERIFY(QFile::remove(QString::fromStdString(file)));
        QCOMPARE(doc.diskState(), DiskState::Missing);
        doc.setCursor(0, 1);
        doc.setCell(0, 1, "w");
        QVERIFY(doc.save(file, 0).ok());
        QCOMPARE(ReadAll(file), QByteArray("h\r\nw\r\n"));
        QCOMPARE(doc.diskState(), DiskState::Unchanged);
        QVERIFY(!doc.isModified());
    }

    // Two copies of the program on one table: the second saver is told the
    // file changed, or that it is being written while another save holds it.
    void twoCopiesOnOneTable()
    {
        QTemporaryDir dir;
        const std::string file = path(dir, "t.txt");
        QVERIFY(Write(file, "h\r\nv\r\n"));
        TableDocument first;
        TableDocument second;
        QVERIFY(open(first, file));
        QVERIFY(open(second, file));
        first.setCursor(0, 1);
        first.setCell(0, 1, "first");
        second.setCursor(0, 1);
        second.setCell(0, 1, "second");
        QVERIFY(first.save(file, 0).ok());
        QCOMPARE(second.save(file, 0).error().code, FileErrorCode::ChangedOnDisk);
        QCOMPARE(ReadAll(file), QByteArray("h\r\nfirst\r\n"));

        // A save in progress holds the file: the other one is refused.
        first.setCell(0, 1, "third");
        StagedFile writing;
        QVERIFY(writing.open(file).ok());
        QCOMPARE(first.save(file, 0).error().code, FileErrorCode::Locked);
        QVERIFY(writing.write("h\r\nwriter\r\n").ok());
        QVERIFY(writing.commit().ok());
        QCOMPARE(first.save(file, 0).error().code, FileErrorCode::ChangedOnDisk);
        QCOMPARE(ReadAll(file), QByteArray("h\r\nwriter\r\n"));
    }
};

QObject* makeDiskChangesTests()
{
    return new TestDiskChanges;
}

#include "test_disk_changes.moc"
