// The one file error: which code a system error number gets, the English
// line the command line prints, and the staged writer's promises that the
// whole-file tests do not reach (a writer by name, a cancel, an abandoned
// write, the lock it holds).

#include "text/FileError.h"
#include "text/StagedFile.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::FileErrorCode)
Q_DECLARE_METATYPE(rasmik::FileError)
Q_DECLARE_METATYPE(std::string)

namespace {

std::string Slurp(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

void Put(const std::string& path, const std::string& bytes)
{
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

QStringList Entries(const std::string& folder)
{
    return QDir(QString::fromStdString(folder))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

FileError Error(FileErrorCode code, std::string subject = {}, std::string detail = {}, std::uint64_t count = 0,
                std::uint64_t limit = 0)
{
    FileError e(code, "/t/x");
    e.subject = std::move(subject);
    e.detail = std::move(detail);
    e.count = count;
    e.limit = limit;
    return e;
}

} // namespace

class TestFileErrors : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    std::string dir_;
    std::string path(const char* name) const { return dir_ + name; }

private slots:
    void init()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        dir_ = tmp_->path().toStdString() + "/";
    }

    void codeOfErrno_data()
    {
        QTest::addColumn<int>("err");
        QTest::addColumn<FileErrorCode>("code");
        using C = FileErrorCode;
        QTest::newRow("ENOENT") << ENOENT << C::NotFound;
        QTest::newRow("ENOTDIR") << ENOTDIR << C::NotFound;
        QTest::newRow("EACCES") << EACCES << C::AccessDenied;
        QTest::newRow("EPERM") << EPERM << C::AccessDenied;
        QTest::newRow("EWOULDBLOCK") << EWOULDBLOCK << C::Locked;
        QTest::newRow("ETXTBSY") << ETXTBSY << C::Locked;
        QTest::newRow("EROFS") << EROFS << C::ReadOnly;
        QTest::newRow("EISDIR") << EISDIR << C::NotRegularFile;
        QTest::newRow("EFBIG") << EFBIG << C::TooLarge;
        QTest::newRow("EOVERFLOW") << EOVERFLOW << C::TooLarge;
        QTest::newRow("ENOSPC") << ENOSPC << C::NoSpace;
        QTest::newRow("EDQUOT") << EDQUOT << C::NoSpace;
        QTest::newRow("ENOMEM") << ENOMEM << C::NoMemory;
        QTest::newRow("ECANCELED") << ECANCELED << C::Cancelled;
        QTest::newRow("EIO") << EIO << C::System;
        QTest::newRow("EINVAL") << EINVAL << C::System;
        QTest::newRow("no number") << 0 << C::System;
    }
    void codeOfErrno()
    {
        QFETCH(int, err);
        QFETCH(FileErrorCode, code);
        QCOMPARE(CodeOfErrno(err), code);
        const FileStatus r = ErrnoError(err, "/t/x");
        QVERIFY(!r);
        QCOMPARE(r.code(), code);
        QCOMPARE(r.cancelled(), code == FileErrorCode::Cancelled);
        QCOMPARE(r.error().sysErrno, err);
        QCOMPARE(r.error().path, std::string("/t/x"));
        // The command line says what the system says.
        if (err != 0)
            QCOMPARE(DescribeFileError(r.error()), std::string(std::strerror(err)));
    }

    void success()
    {
        const FileStatus ok;
        QVERIFY(ok);
        QVERIFY(ok.ok());
        QVERIFY(!ok.cancelled());
        QCOMPARE(ok.code(), FileErrorCode::None);
    }

    // The reasons the command line prints where no error number says it.
    void describe_data()
    {
        QTest::addColumn<FileError>("error");
        QTest::addColumn<std::string>("text");
        using C = FileErrorCode;
        QTest::newRow("cancelled") << Error(C::Cancelled) << std::string("cancelled");
        QTest::newRow("no name") << Error(C::NoFileName) << std::string("no file name given");
        QTest::newRow("locked") << Error(C::Locked) << std::string("locked by another program");
        QTest::newRow("read-only") << Error(C::ReadOnly) << std::string("the file is read-only");
        QTest::newRow("not a file") << Error(C::NotRegularFile) << std::string("not a regular file");
        QTest::newRow("backup") << Error(C::BackupIsTarget) << std::string("the backup name is the file itself");
        QTest::newRow("too large") << Error(C::TooLarge) << std::string("too large");
        QTest::newRow("memory") << Error(C::NoMemory) << std::string("not enough memory");
        QTest::newRow("empty table") << Error(C::EmptyTable) << std::string("the table is empty");
        QTest::newRow("switched off") << Error(C::ExportSwitchedOff)
                                      << std::string("the export is switched off (NoSheet=1 in AppOptions.txt)");
        QTest::newRow("rows") << Error(C::TooManyRows, {}, {}, 1048577, 1048576)
                              << std::string("the table has 1048577 rows; a workbook takes at most 1048576");
        QTest::newRow("cell") << Error(C::CellTooLong, "B2", {}, 40000, 32767)
                              << std::string("cell B2 holds more than 32767 characters");
        QTest::newRow("sheet refused") << Error(C::BadSheetName, "a/b", "invalid character")
                                       << std::string("the sheet name \"a/b\" is refused: invalid character");
        QTest::newRow("library about a cell")
            << Error(C::Library, "C3", "out of memory") << std::string("C3: out of memory");
        QTest::newRow("exception text") << Error(C::System, {}, "bad thing") << std::string("bad thing");
        QTest::newRow("nothing known") << Error(C::System) << std::string("unknown error");
        QTest::newRow("no workbook") << Error(C::NotWorkbook) << std::string("not an .xlsx, .ods or .xls workbook");
        QTest::newRow(".xlsb") << Error(C::WorkbookKindNotRead, ".xlsb")
                               << std::string("this kind of workbook is not read (.xlsb)");
        QTest::newRow("password") << Error(C::PasswordProtected)
                                  << std::string("the workbook is protected by a password");
        QTest::newRow("damaged part") << Error(C::WorkbookDamaged, "xl/styles.xml", "no element found")
                                      << std::string("the workbook is damaged in xl/styles.xml: no element found");
        QTest::newRow("zip bomb") << Error(C::UnpacksTooLarge, "content.xml", {}, 0, 1000)
                                  << std::string(
                                         "the part content.xml of the workbook unpacks to more than 1000 bytes");
        QTest::newRow("DTD") << Error(C::XmlDeclarations, "content.xml")
                             << std::string("the part content.xml of the workbook holds a DTD, which is not read");
        QTest::newRow("cell out of range")
            << Error(C::CellOutOfRange, "XFE1") << std::string("the cell reference XFE1 lies outside the sheet");
        QTest::newRow("no such sheet") << Error(C::SheetNotFound, "Sales")
                                       << std::string("the workbook has no sheet Sales");
    }
    void describe()
    {
        QFETCH(FileError, error);
        QFETCH(std::string, text);
        QCOMPARE(DescribeFileError(error), text);
    }

    // A writer may open the temporary file by its name and write it alone.
    void writerByName()
    {
        const std::string target = path("book.xlsx");
        Put(target, "old");
        StagedFile staged;
        QVERIFY(staged.open(target));
        QCOMPARE(staged.target(), target);
        QCOMPARE(QString::fromStdString(staged.tempPath()).section('/', 0, -2), tmp_->path());
        FILE* f = std::fopen(staged.tempPath().c_str(), "wb");
        QVERIFY(f);
        std::fputs("written by name", f);
        QCOMPARE(std::fclose(f), 0);
        QCOMPARE(Slurp(target), std::string("old"));
        QVERIFY(staged.commit());
        QCOMPARE(Slurp(target), std::string("written by name"));
        QCOMPARE(Entries(dir_), QStringList{"book.xlsx"});
    }

    void abandonedWriteLeavesNothing_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("discardFirst");
        QTest::newRow("new file, dropped") << false << false;
        QTest::newRow("old file, dropped") << true << false;
        QTest::newRow("old file, discarded") << true << true;
    }
    void abandonedWriteLeavesNothing()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, discardFirst);
        const std::string target = path("t.txt");
        if (targetExists)
            Put(target, "old\r\n");
        {
            StagedFile staged;
            QVERIFY(staged.open(target));
            QVERIFY(staged.write("half of the new"));
            QCOMPARE(Entries(dir_).size(), targetExists ? 2 : 1);
            if (discardFirst) {
                staged.discard();
                QVERIFY(!staged.commit());
            }
        }
        QCOMPARE(Slurp(target), targetExists ? std::string("old\r\n") : std::string("<missing>"));
        QCOMPARE(Entries(dir_), targetExists ? QStringList{"t.txt"} : QStringList{});
    }

    void cancelledWriteKeepsOldFile_data()
    {
        QTest::addColumn<bool>("withBackup");
        QTest::newRow("plain") << false;
        QTest::newRow("with backup") << true;
    }
    void cancelledWriteKeepsOldFile()
    {
        QFETCH(bool, withBackup);
        const std::string target = path("t.txt");
        Put(target, "old\r\n");
        Put(path("t.Bak"), "older\r\n");
        int asked = 0;
        const PieceSource source = [&](std::string_view& piece) {
            piece = "new piece\r\n";
            return ++asked < 3 ? Piece::More : Piece::Stop;
        };
        const FileStatus r =
            withBackup ? WriteFileWithBackup(target, source, path("t.Bak")) : WriteFileAtomic(target, source);
        QVERIFY(r.cancelled());
        QCOMPARE(r.error().path, target);
        QCOMPARE(asked, 3);
        QCOMPARE(Slurp(target), std::string("old\r\n"));
        QCOMPARE(Slurp(path("t.Bak")), std::string("older\r\n"));
        QCOMPARE(Entries(dir_), (QStringList{"t.Bak", "t.txt"}));
    }

    // Another program asking for the file while it is being replaced sees
    // it locked, and may have it again afterwards.
    void holdsTheLockWhileOpen()
    {
        const std::string target = path("t.txt");
        Put(target, "old");
        const int other = ::open(target.c_str(), O_RDONLY);
        QVERIFY(other >= 0);
        {
            StagedFile staged;
            QVERIFY(staged.open(target));
            QCOMPARE(::flock(other, LOCK_SH | LOCK_NB), -1);
            QCOMPARE(errno, EWOULDBLOCK);
            QVERIFY(!CanOpenReadWrite(target));
            QVERIFY(staged.write("new"));
            QVERIFY(staged.commit());
        }
        QCOMPARE(::flock(other, LOCK_SH | LOCK_NB), 0);
        ::close(other);
        QCOMPARE(Slurp(target), std::string("new"));
        QVERIFY(CanOpenReadWrite(target));
    }

    // A refused target is named in the error and nothing is made beside it.
    void refusedTargetNamed()
    {
        QVERIFY(QDir().mkdir(QString::fromStdString(path("sub"))));
        StagedFile staged;
        const FileStatus r = staged.open(path("sub"));
        QCOMPARE(r.code(), FileErrorCode::NotRegularFile);
        QCOMPARE(r.error().path, path("sub"));
        QCOMPARE(r.error().sysErrno, EISDIR);
        QVERIFY(staged.tempPath().empty());
        QCOMPARE(staged.fd(), -1);
        QVERIFY(!staged.write("x"));
        QCOMPARE(Entries(dir_), QStringList{"sub"});
    }
};

QTEST_GUILESS_MAIN(TestFileErrors)
#include "test_file_errors.moc"
