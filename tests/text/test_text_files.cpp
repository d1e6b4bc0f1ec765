// Whole-file reading and writing: line splitting, bounded retries against
// files locked by other processes, read-only files, atomic replacement with
// backups (links, hard links, extended attributes and ACLs kept), and the
// program's own folder.

#include "common/SteppedTime.h"
#include "common/TestFiles.h"
#include "text/StagedFile.h"
#include "text/TextFiles.h"

#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace rasmik;

using Bytes = std::string;
using ByteList = std::vector<std::string>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(ByteList)
Q_DECLARE_METATYPE(rasmik::FileErrorCode)

namespace {

constexpr uid_t NobodyId = 65534;

template <std::size_t N>
Bytes B(const char (&s)[N])
{
    return Bytes(s, N - 1);
}

QByteArray Hex(const Bytes& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toHex(' ');
}

// Reads and writes files without any of the code under test.
Bytes Slurp(const std::string& path)
{
    return ReadAll(path).toStdString();
}

void Put(const std::string& path, const Bytes& bytes, mode_t mode = 0644)
{
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::fchmod(fd, mode);
    ::close(fd);
}

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st { };
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Every name in a folder, hidden ones included, so stray temporaries show.
QStringList Entries(const std::string& folder)
{
    QDir dir(QString::fromStdString(folder));
    QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    return names;
}

// A child process that takes a lock on a file, reports once it holds it,
// keeps it for holdMs (or until stopped) and exits, which releases it.
class LockHolder {
public:
    LockHolder() = default;
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder() { stop(); }

    bool start(const std::string& path, int holdMs, int how = LOCK_EX)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0 || ::flock(fd, how) != 0)
                ::_exit(1);
            const char c = 'x';
            if (::write(fds[1], &c, 1) != 1)
                ::_exit(1);
            if (holdMs < 0) {
                for (;;)
                    ::pause();
            }
            struct timespec ts {
                holdMs / 1000, (holdMs % 1000) * 1000000L
            };
            while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) { }
            ::_exit(0);
        }
        ::close(fds[1]);
        char c = 0;
        const ssize_t n = pid_ > 0 ? ::read(fds[0], &c, 1) : -1;
        ::close(fds[0]);
        return n == 1;
    }

    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

// The superuser passes every permission check, so permission cases run in a
// child that has become "nobody"; other users run them directly. nullopt
// when the privileges cannot be dropped.
template <class F>
std::optional<FileStatus> AsUnprivileged(F f)
{
    if (::geteuid() != 0)
        return f();
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
            ::_exit(77);
        const FileStatus r = f();
        const std::string msg = std::to_string(static_cast<int>(r.code())) + " " + std::to_string(r.error().sysErrno);
        if (::write(fds[1], msg.data(), msg.size()) != static_cast<ssize_t>(msg.size()))
            ::_exit(1);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string msg;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        msg.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || msg.empty())
        return std::nullopt;
    const std::size_t space = msg.find(' ');
    FileError error(static_cast<FileErrorCode>(std::stoi(msg.substr(0, space))), {});
    error.sysErrno = std::stoi(msg.substr(space + 1));
    return FileStatus(error);
}

// Lowers the file size limit for its lifetime: writes beyond it fail like a
// full disk, for the superuser too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    struct rlimit old_ { };
    void (*oldHandler_)(int) = nullptr;
};

std::string Reason(int err)
{
    return std::strerror(err);
}

// What the command line would say about a failure.
std::string Why(const FileStatus& r)
{
    return DescribeFileError(r.error());
}

} // namespace

class TestTextFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    std::string dir_;
    std::string path(const char* name) const { return dir_ + name; }

private slots:
    void init();
    void cleanup();

    void splitLines_data();
    void splitLines();
    void linesRoundTrip_data();
    void linesRoundTrip();
    void loadText_data();
    void loadText();
    void emptyAndMissing();
    void fileIsThere();

    void readOnlyFile();
    void noWritePermission();
    void canOpenReadWriteWithLocks();
    void readWholeFileReasons();
    void retryAgainstLock_data();
    void retryAgainstLock();

    void atomicWriteModes();
    void atomicWriteThroughSymlink_data();
    void atomicWriteThroughSymlink();
    void attributesAndAclKept_data();
    void attributesAndAclKept();
    void hardLinksKept_data();
    void hardLinksKept();
    void atomicWriteFailureKeepsFile_data();
    void atomicWriteFailureKeepsFile();
    void atomicWriteIntoReadOnlyFolder();
    void backup_data();
    void backup();
    void backupFailureKeepsBoth_data();
    void backupFailureKeepsBoth();
    void backupAcrossFileSystems();
    void backupThatCannotBeMadeDoesNotStopTheSave_data();
    void backupThatCannotBeMadeDoesNotStopTheSave();
    void writeInPlaceWithBackupInReadOnlyFolder();
    void writeInPlaceWhenNoTemporaryMayBeMade();
    void failedWriteInPlacePutsOldContentBack();
    void sameFileAndCleanPaths_data();
    void sameFileAndCleanPaths();

    void exeFolderOverride();
    void exeFolderOfACopy();
};

void TestTextFiles::init()
{
    QVERIFY(tmp_.isValid());
    // Reachable for the unprivileged child of the permission cases.
    ::chmod(tmp_.path().toLocal8Bit().constData(), 0755);
    dir_ = tmp_.path().toStdString() + "/";
    ::umask(022);
}

void TestTextFiles::cleanup()
{
    // Leave every folder writable again so the temporary folder can go.
    for (const QString& name : Entries(dir_))
        ::chmod((dir_ + name.toStdString()).c_str(), 0755);
    for (const QString& name : Entries(dir_)) {
        QFileInfo info(QString::fromStdString(dir_) + name);
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
}

// ---------------------------------------------------------------- lines

void TestTextFiles::splitLines_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<ByteList>("lines");

    QTest::newRow("empty") << B("") << ByteList{};
    QTest::newRow("one line, no break") << B("a") << ByteList{"a"};
    QTest::newRow("final CR LF adds nothing") << B("a\r\n") << ByteList{"a"};
    QTest::newRow("final LF adds nothing") << B("a\n") << ByteList{"a"};
    QTest::newRow("final CR adds nothing") << B("a\r") << ByteList{"a"};
    QTest::newRow("all three breaks") << B("a\rb\nc\r\nd") << ByteList{"a", "b", "c", "d"};
    QTest::newRow("LF CR is two breaks") << B("a\n\rb") << ByteList{"a", "", "b"};
    QTest::newRow("CR CR LF") << B("a\r\r\n") << ByteList{"a", ""};
    QTest::newRow("empty lines kept") << B("\r\n\r\n") << ByteList{"", ""};
    QTest::newRow("blank middle line") << B("a\n\nb") << ByteList{"a", "", "b"};
    QTest::newRow("NUL ends the text") << B("a\0b\nc") << ByteList{"a"};
    QTest::newRow("NUL first") << B("\0abc") << ByteList{};
    QTest::newRow("NUL after a break") << B("a\r\n\0\r\nb") << ByteList{"a"};
    QTest::newRow("TABs and high bytes kept") << B("\xD3\t\xE1\r\n\x98") << ByteList{"\xD3\t\xE1", "\x98"};
}

void TestTextFiles::splitLines()
{
    QFETCH(Bytes, bytes);
    QFETCH(ByteList, lines);
    QCOMPARE(SplitLines(bytes), lines);

    // The same through a file.
    Put(path("t.txt"), bytes);
    ByteList loaded{"stale"};
    QVERIFY(LoadLinesRetry(&loaded, path("t.txt")));
    QCOMPARE(loaded, lines);
}

void TestTextFiles::linesRoundTrip_data()
{
    QTest::addColumn<ByteList>("lines");
    QTest::addColumn<Bytes>("bytes");

    QTest::newRow("empty list, empty file") << ByteList{} << B("");
    QTest::newRow("one empty line") << ByteList{""} << B("\r\n");
    QTest::newRow("last line ends too") << ByteList{"a", "", "b"} << B("a\r\n\r\nb\r\n");
    QTest::newRow("settings lines") << ByteList{"Maximize=1", "\xCC\xCF\xE6\xE1\t2"}
                                    << B("Maximize=1\r\n\xCC\xCF\xE6\xE1\t2\r\n");
}

void TestTextFiles::linesRoundTrip()
{
    QFETCH(ByteList, lines);
    QFETCH(Bytes, bytes);
    QCOMPARE(Hex(JoinLinesCrLf(lines)), Hex(bytes));
    Put(path("t.txt"), "an older and longer content\r\n");
    QVERIFY(SaveLinesRetry(&lines, path("t.txt")));
    QCOMPARE(Hex(Slurp(path("t.txt"))), Hex(bytes));
    ByteList back{"stale"};
    QVERIFY(LoadLinesRetry(&back, path("t.txt")));
    QCOMPARE(back, lines);
    QCOMPARE(Entries(dir_), QStringList{"t.txt"});
}

void TestTextFiles::loadText_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<Bytes>("text");

    QTest::newRow("final CR LF dropped") << B("Arial\r\n") << true << B("Arial");
    QTest::newRow("only one CR LF dropped") << B("Arial\r\n\r\n") << true << B("Arial\r\n");
    QTest::newRow("lone LF stays") << B("Arial\n") << true << B("Arial\n");
    QTest::newRow("lone CR stays") << B("Arial\r") << true << B("Arial\r");
    QTest::newRow("kept without drop") << B("Arial\r\n") << false << B("Arial\r\n");
    QTest::newRow("CR LF alone") << B("\r\n") << true << B("");
    QTest::newRow("empty file") << B("") << true << B("");
    QTest::newRow("bytes as they are") << B("\xD9\0\x98\r\nx") << true << B("\xD9\0\x98\r\nx");
}

void TestTextFiles::loadText()
{
    QFETCH(Bytes, bytes);
    QFETCH(bool, drop);
    QFETCH(Bytes, text);
    Put(path("HPrint.txt"), bytes);
    QCOMPARE(Hex(LoadTextRetry(path("HPrint.txt"), drop)), Hex(text));

    // Saving writes the bytes as they are, nothing added.
    QVERIFY(SaveTextRetry(text, path("out.txt")));
    QCOMPARE(Hex(Slurp(path("out.txt"))), Hex(text));
}

void TestTextFiles::emptyAndMissing()
{
    const ByteList none;
    QVERIFY(SaveLinesRetry(&none, path("empty.txt")));
    QCOMPARE(Slurp(path("empty.txt")), Bytes());
    QVERIFY(SaveTextRetry("", path("empty2.txt")));
    QCOMPARE(Slurp(path("empty2.txt")), Bytes());
    QVERIFY(SaveTextRetry("", path("empty.txt"))); // replaces with nothing
    QCOMPARE(Slurp(path("empty.txt")), Bytes());

    const SteppedTime time;
    QVERIFY(!SaveLinesRetry(&none, ""));
    QVERIFY(!SaveLinesRetry(nullptr, path("x.txt")));
    QVERIFY(!LoadLinesRetry(nullptr, path("empty.txt")));
    QVERIFY(!SaveTextRetry("x", ""));
    ByteList list{"stale"};
    QVERIFY(!LoadLinesRetry(&list, path("missing.txt")));
    QVERIFY(list.empty());
    QCOMPARE(LoadTextRetry(path("missing.txt"), true), Bytes());
    QCOMPARE(LoadTextRetry("", true), Bytes());
    QCOMPARE(time.pauses, 0); // nothing here waits
    QVERIFY(!Exists(path("x.txt")));
    QCOMPARE(Entries(dir_), (QStringList{"empty.txt", "empty2.txt"}));
}

void TestTextFiles::fileIsThere()
{
    Put(path("f.txt"), "x");
    QVERIFY(FileIsThere(path("f.txt")));
    QVERIFY(!FileIsThere(dir_));
    QVERIFY(!FileIsThere(path("missing.txt")));
    QVERIFY(!FileIsThere(""));
    QVERIFY(!FileIsThere("/dev/null"));
    QVERIFY(::symlink(path("f.txt").c_str(), path("link.txt").c_str()) == 0);
    QVERIFY(FileIsThere(path("link.txt")));
}

// ---------------------------------------------------------------- access

void TestTextFiles::readOnlyFile()
{
    Put(path("ro.txt"), "a\r\nb\r\n", 0444);
    Bytes bytes;
    QVERIFY(ReadWholeFile(path("ro.txt"), bytes));
    QCOMPARE(bytes, Bytes("a\r\nb\r\n"));

    QVERIFY(!CanOpenReadWrite(path("ro.txt")));
    ByteList list{"stale"};
    {
        const SteppedTime time;
        QVERIFY(!LoadLinesRetry(&list, path("ro.txt")));
        QCOMPARE(time.pauses, 0); // the first check does not retry
    }
    QVERIFY(list.empty());
    QCOMPARE(LoadTextRetry(path("ro.txt"), false), Bytes("a\r\nb\r\n"));

    const FileStatus r = WriteFileAtomic(path("ro.txt"), "new");
    QVERIFY(!r.ok());
    QCOMPARE(r.code(), FileErrorCode::ReadOnly);
    QCOMPARE(r.error().path, path("ro.txt"));
    QVERIFY(!SaveTextRetry("new", path("ro.txt")));
    QCOMPARE(Slurp(path("ro.txt")), Bytes("a\r\nb\r\n"));
    QCOMPARE(Entries(dir_), QStringList{"ro.txt"});
}

void TestTextFiles::noWritePermission()
{
    // Writable for its group only: not read-only, but not ours to write.
    Put(path("theirs.txt"), "x\r\n", 0060);
    const std::string p = path("theirs.txt");
    const auto open =
        AsUnprivileged([&] { return CanOpenReadWrite(p) ? FileStatus() : FileStatus(FileErrorCode::System, p); });
    if (!open)
        QSKIP("cannot drop privileges here");
    QVERIFY(!open->ok());
    const auto read = AsUnprivileged([&] {
        std::string bytes;
        return ReadWholeFile(p, bytes);
    });
    QVERIFY(read && !read->ok());
    QCOMPARE(read->code(), FileErrorCode::AccessDenied);
    QCOMPARE(Why(*read), Reason(EACCES));
    const auto write = AsUnprivileged([&] { return WriteFileAtomic(p, "new"); });
    QVERIFY(write && !write->ok());
    QCOMPARE(write->code(), FileErrorCode::AccessDenied);
    QCOMPARE(Why(*write), Reason(EACCES));
    ::chmod(p.c_str(), 0644);
    QCOMPARE(Slurp(p), Bytes("x\r\n"));

    // In a folder open to everyone the file could be replaced by renaming;
    // its own permission still decides.
    QVERIFY(QDir().mkdir(QString::fromStdString(path("open"))));
    ::chmod(path("open").c_str(), 0777);
    const std::string q = path("open/theirs.txt");
    Put(q, "y\r\n", 0064); // readable by others, writable by its group
    const auto replace = AsUnprivileged([&] { return WriteFileAtomic(q, "new"); });
    QVERIFY(replace && !replace->ok());
    QCOMPARE(Why(*replace), Reason(EACCES));
    ::chmod(q.c_str(), 0644);
    QCOMPARE(Slurp(q), Bytes("y\r\n"));
    QCOMPARE(Entries(path("open/")), QStringList{"theirs.txt"});
}

void TestTextFiles::canOpenReadWriteWithLocks()
{
    Put(path("t.txt"), "x");
    QVERIFY(CanOpenReadWrite(path("t.txt")));
    QVERIFY(!CanOpenReadWrite(path("missing.txt")));
    QVERIFY(!CanOpenReadWrite(dir_));
    QVERIFY(!CanOpenReadWrite(""));
    QVERIFY(!Exists(path("missing.txt"))); // never created

    {
        LockHolder writer;
        QVERIFY(writer.start(path("t.txt"), -1, LOCK_EX));
        QVERIFY(!CanOpenReadWrite(path("t.txt")));
    }
    QVERIFY(CanOpenReadWrite(path("t.txt"))); // released with the process
    {
        // Another reader does not keep us out.
        LockHolder reader;
        QVERIFY(reader.start(path("t.txt"), -1, LOCK_SH));
        QVERIFY(CanOpenReadWrite(path("t.txt")));
        ByteList list;
        QVERIFY(LoadLinesRetry(&list, path("t.txt")));
        QCOMPARE(list, ByteList{"x"});
    }
}

void TestTextFiles::readWholeFileReasons()
{
    Bytes bytes = "stale";
    FileStatus r = ReadWholeFile(path("missing.txt"), bytes);
    QVERIFY(!r.ok());
    QCOMPARE(r.code(), FileErrorCode::NotFound);
    QCOMPARE(r.error().path, path("missing.txt"));
    QCOMPARE(Why(r), Reason(ENOENT));
    QVERIFY(bytes.empty());

    r = ReadWholeFile(dir_, bytes);
    QVERIFY(!r);
    QCOMPARE(r.code(), FileErrorCode::NotRegularFile);
    QCOMPARE(Why(r), Reason(EISDIR));

    Put(path("locked.txt"), "data");
    {
        LockHolder writer;
        QVERIFY(writer.start(path("locked.txt"), -1, LOCK_EX));
        bytes = "stale";
        r = ReadWholeFile(path("locked.txt"), bytes);
        QVERIFY(!r);
        QCOMPARE(r.code(), FileErrorCode::Locked);
        QCOMPARE(Why(r), std::string("locked by another program"));
        QVERIFY(bytes.empty());
    }
    r = ReadWholeFile(path("locked.txt"), bytes);
    QVERIFY(r);
    QCOMPARE(r.code(), FileErrorCode::None);
    QCOMPARE(bytes, Bytes("data"));

    // A sparse file one byte beyond what a table can hold.
    const int fd = ::open(path("huge.txt").c_str(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    const bool sized = ::ftruncate(fd, static_cast<off_t>(MaxFileBytes + 1)) == 0;
    ::close(fd);
    if (!sized)
        QSKIP("no sparse files here");
    r = ReadWholeFile(path("huge.txt"), bytes);
    QVERIFY(!r);
    QCOMPARE(r.code(), FileErrorCode::TooLarge);
    QCOMPARE(Why(r), std::string("too large"));
    QCOMPARE(LoadTextRetry(path("huge.txt"), false), Bytes());
}

void TestTextFiles::retryAgainstLock_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("releasedAt"); // the pause during which the other program lets go; 0: never
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("pauses");

    // A try at once, then one after each pause of 50 ms while no more than
    // 300 ms have passed: seven tries, seven pauses.
    QTest::newRow("load text waits for a short lock") << "load text" << 2 << true << 2;
    QTest::newRow("load text gives up on a long lock") << "load text" << 0 << false << 7;
    QTest::newRow("load text gets the last try") << "load text" << 6 << true << 6;
    QTest::newRow("load text gives up just before the lock goes") << "load text" << 7 << false << 7;
    QTest::newRow("save text waits for a short lock") << "save text" << 1 << true << 1;
    QTest::newRow("save text gives up on a long lock") << "save text" << 0 << false << 7;
    QTest::newRow("save lines waits for a short lock") << "save lines" << 3 << true << 3;
    QTest::newRow("save lines gives up on a long lock") << "save lines" << 0 << false << 7;
    QTest::newRow("load lines refuses at once") << "load lines" << 1 << false << 0;
}

void TestTextFiles::retryAgainstLock()
{
    QFETCH(QString, op);
    QFETCH(int, releasedAt);
    QFETCH(bool, ok);
    QFETCH(int, pauses);

    const std::string p = path("Option.cfg");
    const Bytes old = "old\r\n";
    Put(p, old);
    LockHolder holder;
    QVERIFY(holder.start(p, -1, LOCK_EX));
    const SteppedTime time([&](int pause) {
        if (pause == releasedAt)
            holder.stop();
    });

    bool done = false;
    Bytes text;
    ByteList list{"stale"};
    const ByteList newLines{"new"};
    if (op == "load text") {
        text = LoadTextRetry(p, false);
        done = !text.empty();
    } else if (op == "save text") {
        done = SaveTextRetry("new\r\n", p);
    } else if (op == "save lines") {
        done = SaveLinesRetry(&newLines, p);
    } else if (op == "load lines") {
        done = LoadLinesRetry(&list, p);
    }
    holder.stop();

    QCOMPARE(done, ok);
    QCOMPARE(time.pauses, pauses);
    if (op == "load text")
        QCOMPARE(text, ok ? old : Bytes());
    if (op == "load lines")
        QVERIFY(list.empty());
    if (op.startsWith("save"))
        QCOMPARE(Slurp(p), ok ? Bytes("new\r\n") : old);
    QCOMPARE(Entries(dir_), QStringList{"Option.cfg"});
}

// ---------------------------------------------------------------- atomic writes

void TestTextFiles::atomicWriteModes()
{
    const std::string p = path("new.txt");
    FileStatus r = WriteFileAtomic(p, "abc");
    QVERIFY(r);
    QCOMPARE(Slurp(p), Bytes("abc"));
    QCOMPARE(ModeOf(p), mode_t(0644)); // 0666 less the umask

    Put(path("private.txt"), "old", 0600);
    QVERIFY(WriteFileAtomic(path("private.txt"), "new"));
    QCOMPARE(ModeOf(path("private.txt")), mode_t(0600));
    Put(path("group.txt"), "old", 0660);
    QVERIFY(WriteFileAtomic(path("group.txt"), "new, and longer than before"));
    QCOMPARE(ModeOf(path("group.txt")), mode_t(0660));
    QCOMPARE(Slurp(path("group.txt")), Bytes("new, and longer than before"));
    QVERIFY(WriteFileAtomic(path("group.txt"), "s"));
    QCOMPARE(Slurp(path("group.txt")), Bytes("s"));
    QCOMPARE(Entries(dir_), (QStringList{"group.txt", "new.txt", "private.txt"}));

    // A relative name is written in the current folder.
    const QString here = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(dir_)));
    r = WriteFileAtomic("relative.txt", "r");
    QDir::setCurrent(here);
    QVERIFY(r);
    QCOMPARE(Slurp(path("relative.txt")), Bytes("r"));
}

void TestTextFiles::atomicWriteThroughSymlink_data()
{
    QTest::addColumn<QStringList>("links");     // "name>target", made in order
    QTest::addColumn<QString>("written");       // the file that gets the content
    QTest::addColumn<FileErrorCode>("code");    // None: written
    QTest::addColumn<QStringList>("realAfter"); // the names in real/ afterwards

    using C = FileErrorCode;
    QTest::newRow("link to a file") << QStringList{"link.txt>real/t.txt"} << "real/t.txt" << C::None
                                    << QStringList{"t.txt"};
    QTest::newRow("dangling link") << QStringList{"link.txt>real/new.txt"} << "real/new.txt" << C::None
                                   << QStringList{"new.txt", "t.txt"};
    QTest::newRow("chain to a dangling end") << QStringList{"hop.txt>real/end.txt", "link.txt>hop.txt"}
                                             << "real/end.txt" << C::None << QStringList{"end.txt", "t.txt"};
    QTest::newRow("absolute dangling link")
        << QStringList{"link.txt>@real/abs.txt"} << "real/abs.txt" << C::None << QStringList{"abs.txt", "t.txt"};
    QTest::newRow("into a missing folder")
        << QStringList{"link.txt>nowhere/x.txt"} << QString() << C::NotFound << QStringList{"t.txt"};
    QTest::newRow("loop") << QStringList{"link.txt>loop.txt", "loop.txt>link.txt"} << QString() << C::System
                          << QStringList{"t.txt"};
}

void TestTextFiles::atomicWriteThroughSymlink()
{
    QFETCH(QStringList, links);
    QFETCH(QString, written);
    QFETCH(FileErrorCode, code);
    QFETCH(QStringList, realAfter);

    QVERIFY(QDir().mkdir(QString::fromStdString(path("real"))));
    Put(path("real/t.txt"), "old");
    QStringList names{"real"};
    for (const QString& link : links) {
        const QString name = link.section('>', 0, 0);
        QString to = link.section('>', 1);
        if (to.startsWith('@'))
            to = QString::fromStdString(dir_) + to.mid(1);
        QVERIFY(::symlink(to.toUtf8().constData(), path(name.toUtf8().constData()).c_str()) == 0);
        names << name;
    }
    const FileStatus r = WriteFileAtomic(path("link.txt"), "new");
    QCOMPARE(r.code(), code);
    for (const QString& name : names.mid(1))
        QVERIFY2(QFileInfo(QString::fromStdString(dir_) + name).isSymLink(), qPrintable(name));
    if (!written.isEmpty()) {
        QCOMPARE(Slurp(path(written.toUtf8().constData())), Bytes("new"));
        QCOMPARE(ModeOf(path(written.toUtf8().constData())), mode_t(0644));
    }
    if (written != "real/t.txt")
        QCOMPARE(Slurp(path("real/t.txt")), Bytes("old"));
    QCOMPARE(Entries(path("real/")), realAfter);
    names.sort();
    QCOMPARE(Entries(dir_), names);
}

namespace {

// Runs a tool of the attr or acl package (scripts/setup installs them);
// its output, or nullopt when it failed.
std::optional<QByteArray> Tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << program << args.join(' ') << "failed:" << p.readAllStandardError();
        return std::nullopt;
    }
    return p.readAllStandardOutput();
}

// The file's ACL as getfacl lists it, without the header.
QByteArray AclOf(const std::string& file)
{
    return Tool("getfacl", {"--omit-header", "--absolute-names", QString::fromStdString(file)}).value_or("<failed>");
}

QByteArray UserAttribute(const std::string& file, const char* name)
{
    char value[256];
    const ssize_t n = ::getxattr(file.c_str(), name, value, sizeof value);
    return n < 0 ? QByteArray("<none>") : QByteArray(value, n);
}

} // namespace

// The attributes a user gave the table and its ACL survive a save, whether it
// is renamed into place, backed up, copied in place (hard links) or the new
// file would take its folder's default ACL.
void TestTextFiles::attributesAndAclKept_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("replaced") << "replaced";
    QTest::newRow("with a backup") << "backup";
    QTest::newRow("hard-linked") << "hard link";
    QTest::newRow("folder with a default ACL") << "default acl";
}

void TestTextFiles::attributesAndAclKept()
{
    QFETCH(QString, how);
    const std::string probe = path("probe");
    Put(probe, "");
    if (::setxattr(probe.c_str(), "user.rasmik", "1", 1, 0) != 0)
        QSKIP(qPrintable("the test folder's file system keeps no user attributes: "
                         + QString::fromLocal8Bit(std::strerror(errno))));
    ::unlink(probe.c_str());

    std::string folder = dir_;
    if (how == "default acl") {
        folder = path("shared/");
        QVERIFY(QDir().mkdir(QString::fromStdString(folder)));
        QVERIFY(Tool("setfacl", {"-d", "-m", "u:nobody:rwx", QString::fromStdString(folder)}));
    }
    const std::string p = folder + "table.txt";
    const std::string bak = folder + "table.Bak";
    Put(p, "old\r\n", 0640);
    if (how != "default acl")
        QVERIFY(Tool("setfacl", {"-m", "u:nobody:rw,g:nogroup:r", QString::fromStdString(p)}));
    else
        QVERIFY(Tool("setfacl", {"-b", QString::fromStdString(p)})); // made here, it took the default
    QVERIFY(::setxattr(p.c_str(), "user.origin", "scanner", 7, 0) == 0);
    QVERIFY(::setxattr(p.c_str(), "user.empty", "", 0, 0) == 0);
    if (how == "hard link")
        QVERIFY(::link(p.c_str(), path("twin.txt").c_str()) == 0);
    const QByteArray acl = AclOf(p);
    QVERIFY(acl.contains("user:nobody:rw-") == (how != "default acl"));
    const mode_t mode = ModeOf(p);

    const FileStatus r = how == "backup" ? WriteFileWithBackup(p, "new\r\n", bak) : WriteFileAtomic(p, "new\r\n");
    QVERIFY(r.ok());
    QCOMPARE(Slurp(p), Bytes("new\r\n"));
    QCOMPARE(AclOf(p), acl);
    QCOMPARE(ModeOf(p), mode);
    QCOMPARE(UserAttribute(p, "user.origin"), QByteArray("scanner"));
    QCOMPARE(UserAttribute(p, "user.empty"), QByteArray(""));
    if (how == "backup") {
        QCOMPARE(Slurp(bak), Bytes("old\r\n"));
        QCOMPARE(AclOf(bak).replace("table.Bak", "table.txt"), acl);
        QCOMPARE(UserAttribute(bak, "user.origin"), QByteArray("scanner"));
    }
}

// A file with several names is written where it is: every name shows the new
// content, the backup is a file of its own, and a writer that fills the
// temporary by name (the workbook) gets the same.
void TestTextFiles::hardLinksKept_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("atomic") << "atomic";
    QTest::newRow("with a backup") << "backup";
    QTest::newRow("writer by name") << "by name";
}

void TestTextFiles::hardLinksKept()
{
    QFETCH(QString, how);
    QVERIFY(QDir().mkdir(QString::fromStdString(path("other"))));
    const std::string p = path("table.txt");
    const std::string twin = path("other/twin.txt");
    const std::string bak = path("table.Bak");
    const Bytes old(100000, 'o');
    const Bytes fresh = "new\r\n";
    Put(p, old, 0640);
    QVERIFY(::link(p.c_str(), twin.c_str()) == 0);
    struct stat before { };
    QVERIFY(::stat(p.c_str(), &before) == 0);

    FileStatus r;
    if (how == "atomic") {
        r = WriteFileAtomic(p, fresh);
    } else if (how == "backup") {
        Put(bak, "older\r\n");
        r = WriteFileWithBackup(p, fresh, bak);
    } else {
        StagedFile staged;
        QVERIFY(staged.open(p));
        FILE* f = std::fopen(staged.tempPath().c_str(), "wb");
        QVERIFY(f);
        QCOMPARE(std::fwrite(fresh.data(), 1, fresh.size(), f), fresh.size());
        QCOMPARE(std::fclose(f), 0);
        r = staged.commit();
    }
    QVERIFY(r.ok());
    QVERIFY(!r.hasWarning());
    struct stat after { };
    QVERIFY(::stat(p.c_str(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_nlink, nlink_t(2));
    QCOMPARE(ModeOf(p), mode_t(0640));
    QCOMPARE(Slurp(p), fresh);
    QCOMPARE(Slurp(twin), fresh);
    QStringList expected{"other", "table.txt"};
    if (how == "backup") {
        QVERIFY(Slurp(bak) == old);
        struct stat bst { };
        QVERIFY(::stat(bak.c_str(), &bst) == 0);
        QCOMPARE(bst.st_nlink, nlink_t(1));
        QCOMPARE(ModeOf(bak), mode_t(0640));
        expected << "table.Bak";
    }
    expected.sort();
    QCOMPARE(Entries(dir_), expected);
    QCOMPARE(Entries(path("other/")), QStringList{"twin.txt"});
}

void TestTextFiles::atomicWriteFailureKeepsFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<FileErrorCode>("code");
    QTest::addColumn<QString>("reason");

    using C = FileErrorCode;
    QTest::newRow("disk full") << "size limit" << C::TooLarge << QString::fromStdString(Reason(EFBIG));
    QTest::newRow("target is a folder") << "folder" << C::NotRegularFile << QString::fromStdString(Reason(EISDIR));
    QTest::newRow("locked by another process") << "locked" << C::Locked << "locked by another program";
    QTest::newRow("read-only file") << "read-only" << C::ReadOnly << "the file is read-only";
    QTest::newRow("missing folder") << "missing folder" << C::NotFound << QString::fromStdString(Reason(ENOENT));
    QTest::newRow("empty name") << "empty name" << C::NoFileName << "no file name given";
    QTest::newRow("not a regular file") << "fifo" << C::NotRegularFile << "not a regular file";
}

void TestTextFiles::atomicWriteFailureKeepsFile()
{
    QFETCH(QString, how);
    QFETCH(FileErrorCode, code);
    QFETCH(QString, reason);

    const Bytes old = "line one\r\nline two\r\n";
    const Bytes big(256 * 1024, 'n');
    std::string target = path("table.txt");
    Put(target, old);
    QStringList expected{"table.txt"};
    LockHolder holder;
    FileStatus r;
    if (how == "size limit") {
        FileSizeLimit limit(4096);
        r = WriteFileAtomic(target, big);
    } else if (how == "folder") {
        target = path("sub");
        QVERIFY(QDir().mkdir(QString::fromStdString(target)));
        Put(path("sub/inside.txt"), old);
        expected << "sub";
        r = WriteFileAtomic(target, big);
        QCOMPARE(Slurp(path("sub/inside.txt")), old);
    } else if (how == "locked") {
        QVERIFY(holder.start(target, -1, LOCK_EX));
        r = WriteFileAtomic(target, big);
    } else if (how == "read-only") {
        ::chmod(target.c_str(), 0444);
        r = WriteFileAtomic(target, big);
    } else if (how == "missing folder") {
        r = WriteFileAtomic(path("nowhere/table.txt"), big);
    } else if (how == "empty name") {
        r = WriteFileAtomic("", big);
    } else if (how == "fifo") {
        QVERIFY(::mkfifo(path("pipe").c_str(), 0644) == 0);
        expected << "pipe";
        r = WriteFileAtomic(path("pipe"), big);
    }
    QVERIFY(!r.ok());
    QCOMPARE(r.code(), code);
    QCOMPARE(QString::fromStdString(Why(r)), reason);
    QCOMPARE(Hex(Slurp(path("table.txt"))), Hex(old));
    expected.sort();
    QCOMPARE(Entries(dir_), expected);
}

void TestTextFiles::atomicWriteIntoReadOnlyFolder()
{
    QVERIFY(QDir().mkdir(QString::fromStdString(path("ro"))));
    const std::string p = path("ro/table.txt");
    Put(p, "old\r\n", 0666); // the file itself may be written by anyone
    ::chmod(path("ro").c_str(), 0555);
    // No temporary file can be made there: the table is written in place.
    const auto r = AsUnprivileged([&] { return WriteFileAtomic(p, "new and longer\r\n"); });
    if (!r)
        QSKIP("cannot drop privileges here");
    QVERIFY(r->ok());
    QCOMPARE(Slurp(p), Bytes("new and longer\r\n"));
    QCOMPARE(ModeOf(p), mode_t(0666));
    QCOMPARE(Entries(path("ro/")), QStringList{"table.txt"});
    const auto shorter = AsUnprivileged([&] { return WriteFileAtomic(p, "n\r\n"); });
    QVERIFY(shorter && shorter->ok());
    QCOMPARE(Slurp(p), Bytes("n\r\n"));
    // A new file still needs the folder.
    const std::string q = path("ro/new.txt");
    const auto fresh = AsUnprivileged([&] { return WriteFileAtomic(q, "x"); });
    QVERIFY(fresh && !fresh->ok());
    QCOMPARE(Why(*fresh), Reason(EACCES));
    // So does a read-only table.
    ::chmod(p.c_str(), 0444);
    const auto readOnly = AsUnprivileged([&] { return WriteFileAtomic(p, "y"); });
    QVERIFY(readOnly && !readOnly->ok());
    QCOMPARE(Slurp(p), Bytes("n\r\n"));
    QCOMPARE(Entries(path("ro/")), QStringList{"table.txt"});
    ::chmod(path("ro").c_str(), 0755);
}

// ---------------------------------------------------------------- backups

void TestTextFiles::backup_data()
{
    QTest::addColumn<Bytes>("before");       // "<missing>" for no file
    QTest::addColumn<Bytes>("backupBefore"); // "<missing>" for no backup, "<link>" for a hard link
    QTest::addColumn<Bytes>("backupAfter");

    const Bytes none = "<missing>";
    QTest::newRow("no file: no backup made") << none << none << none;
    QTest::newRow("no file: earlier backup untouched") << none << B("older\r\n") << B("older\r\n");
    QTest::newRow("first backup") << B("old\r\n") << none << B("old\r\n");
    QTest::newRow("earlier backup replaced") << B("old\r\n") << B("older\r\n") << B("old\r\n");
    QTest::newRow("empty old file") << B("") << B("older") << B("");
    // As a save ended between making the backup and renaming the new content.
    QTest::newRow("backup a second name of the file") << B("old\r\n") << B("<link>") << B("old\r\n");
}

void TestTextFiles::backup()
{
    QFETCH(Bytes, before);
    QFETCH(Bytes, backupBefore);
    QFETCH(Bytes, backupAfter);

    const std::string p = path("table.txt");
    const std::string bak = path("table.Bak");
    QStringList expected{"table.txt"};
    if (before != "<missing>")
        Put(p, before, 0640);
    if (backupBefore == "<link>")
        QVERIFY(::link(p.c_str(), bak.c_str()) == 0);
    else if (backupBefore != "<missing>")
        Put(bak, backupBefore);
    if (backupAfter != "<missing>")
        expected << "table.Bak";

    const FileStatus r = WriteFileWithBackup(p, "new\r\n", bak);
    QVERIFY(r);
    QCOMPARE(r.code(), FileErrorCode::None);
    QVERIFY(!r.hasWarning());
    QCOMPARE(Slurp(p), Bytes("new\r\n"));
    QCOMPARE(Hex(Slurp(bak)), Hex(backupAfter));
    if (before != "<missing>") {
        QCOMPARE(ModeOf(p), mode_t(0640));
        QCOMPARE(ModeOf(bak), mode_t(0640));
    }
    expected.sort();
    QCOMPARE(Entries(dir_), expected);

    // Saving again keeps only the backup of the second save.
    QVERIFY(WriteFileWithBackup(p, "newest\r\n", bak));
    QCOMPARE(Slurp(p), Bytes("newest\r\n"));
    QCOMPARE(Slurp(bak), Bytes("new\r\n"));
}

void TestTextFiles::backupFailureKeepsBoth_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<FileErrorCode>("code");
    QTest::addColumn<QString>("reason");

    using C = FileErrorCode;
    QTest::newRow("disk full") << "size limit" << C::TooLarge << QString::fromStdString(Reason(EFBIG));
    // A backup that cannot be made no longer stops the save: see
    // backupThatCannotBeMadeDoesNotStopTheSave.
    QTest::newRow("target is a folder") << "folder" << C::NotRegularFile << QString::fromStdString(Reason(EISDIR));
    QTest::newRow("locked by another process") << "locked" << C::Locked << "locked by another program";
}

void TestTextFiles::backupFailureKeepsBoth()
{
    QFETCH(QString, how);
    QFETCH(FileErrorCode, code);
    QFETCH(QString, reason);

    std::string p = path("table.txt");
    std::string bak = path("table.Bak");
    const Bytes old = "old\r\n";
    const Bytes older = "older\r\n";
    Put(p, old);
    Put(bak, older);
    QStringList expected{"table.Bak", "table.txt"};
    const Bytes big(256 * 1024, 'n');
    LockHolder holder;
    FileStatus r;
    if (how == "size limit") {
        FileSizeLimit limit(4096);
        r = WriteFileWithBackup(p, big, bak);
    } else if (how == "folder") {
        QVERIFY(QDir().mkdir(QString::fromStdString(path("sub"))));
        expected << "sub";
        r = WriteFileWithBackup(path("sub"), big, bak);
    } else if (how == "locked") {
        QVERIFY(holder.start(p, -1, LOCK_EX));
        r = WriteFileWithBackup(p, big, bak);
    }
    QVERIFY(!r.ok());
    QCOMPARE(r.code(), code);
    QCOMPARE(QString::fromStdString(Why(r)), reason);
    QCOMPARE(Hex(Slurp(p)), Hex(old));
    QCOMPARE(Hex(Slurp(bak)), Hex(older));
    expected.sort();
    QCOMPARE(Entries(dir_), expected);
}

// Where the backup lies on another file system a hard link is impossible
// and the old content is copied instead.
void TestTextFiles::backupAcrossFileSystems()
{
    struct stat here {
    }, shm{};
    if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        QSKIP("no second file system at /dev/shm");
    QTemporaryDir other("/dev/shm/rasmik-test-XXXXXX");
    QVERIFY(other.isValid());
    const std::string bak = other.path().toStdString() + "/table.Bak";
    const std::string p = path("table.txt");
    Put(p, "old\r\n", 0640);
    QVERIFY(WriteFileWithBackup(p, "new\r\n", bak));
    QCOMPARE(Slurp(p), Bytes("new\r\n"));
    QCOMPARE(Slurp(bak), Bytes("old\r\n"));
    QCOMPARE(ModeOf(bak), mode_t(0640));
    QCOMPARE(Entries(other.path().toStdString()), QStringList{"table.Bak"});
    QCOMPARE(Entries(dir_), QStringList{"table.txt"});
}

// ---------------------------------------------------------------- program folder

void TestTextFiles::backupThatCannotBeMadeDoesNotStopTheSave_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("backup"); // the name the warning gives
    QTest::addColumn<QString>("reason");

    QTest::newRow("backup name is a folder") << "backup folder"
                                             << "table.Bak2" << QString::fromStdString(Reason(EISDIR));
    QTest::newRow("backup name is the file") << "same"
                                             << "table.txt"
                                             << "the backup name is the file itself";
    QTest::newRow("backup is a symbolic link to the file") << "link"
                                                           << "alias.txt"
                                                           << "the backup name is the file itself";
    QTest::newRow("backup in a missing folder") << "missing folder"
                                                << "nowhere/table.Bak" << QString::fromStdString(Reason(ENOENT));
}

void TestTextFiles::backupThatCannotBeMadeDoesNotStopTheSave()
{
    QFETCH(QString, how);
    QFETCH(QString, backup);
    QFETCH(QString, reason);

    const std::string p = path("table.txt");
    const std::string bakName = path(backup.toUtf8().constData());
    Put(p, "old\r\n", 0640);
    Put(path("table.Bak"), "older\r\n");
    QStringList expected{"table.Bak", "table.txt"};
    if (how == "backup folder") {
        QVERIFY(QDir().mkdir(QString::fromStdString(bakName)));
        expected << "table.Bak2";
    } else if (how == "link") {
        QVERIFY(::symlink("table.txt", bakName.c_str()) == 0);
        expected << "alias.txt";
    }
    const FileStatus r = WriteFileWithBackup(p, "new\r\n", bakName);
    QVERIFY(r.ok());
    QVERIFY(r.hasWarning());
    QCOMPARE(QString::fromStdString(r.warning().path), QString::fromStdString(bakName));
    QCOMPARE(QString::fromStdString(DescribeFileError(r.warning())), reason);
    QCOMPARE(Slurp(p), Bytes("new\r\n"));
    QCOMPARE(ModeOf(p), mode_t(0640));
    QCOMPARE(Slurp(path("table.Bak")), Bytes("older\r\n"));
    if (how == "backup folder")
        QVERIFY(QFileInfo(QString::fromStdString(bakName)).isDir());
    expected.sort();
    QCOMPARE(Entries(dir_), expected);
}

// The real case, as a user who may write the table but not its folder.
void TestTextFiles::writeInPlaceWithBackupInReadOnlyFolder()
{
    QVERIFY(QDir().mkdir(QString::fromStdString(path("ro"))));
    const std::string p = path("ro/table.txt");
    const std::string bak = path("ro/table.Bak");
    Put(p, "old\r\n", 0666);
    ::chmod(path("ro").c_str(), 0555);
    // The child tells the warning as its outcome (it cannot hand back both).
    const auto none = AsUnprivileged([&] {
        const FileStatus r = WriteFileWithBackup(p, "new\r\n", bak);
        return r.ok() && r.hasWarning() && r.warning().path == bak ? FileStatus(r.warning())
                                                                   : FileStatus(FileErrorCode::System, p);
    });
    if (!none)
        QSKIP("cannot drop privileges here");
    QCOMPARE(none->code(), FileErrorCode::AccessDenied); // no backup: the folder takes no new file
    QCOMPARE(Slurp(p), Bytes("new\r\n"));
    QCOMPARE(Entries(path("ro/")), QStringList{"table.txt"});

    // An existing backup that may be written gets the old content in place.
    ::chmod(path("ro").c_str(), 0755);
    Put(bak, "older backup\r\n", 0666);
    ::chmod(path("ro").c_str(), 0555);
    const auto made = AsUnprivileged([&] { return WriteFileWithBackup(p, "newest\r\n", bak); });
    QVERIFY(made && made->ok());
    QCOMPARE(Slurp(p), Bytes("newest\r\n"));
    QCOMPARE(Slurp(bak), Bytes("new\r\n"));
    QCOMPARE(Entries(path("ro/")), (QStringList{"table.Bak", "table.txt"}));
    ::chmod(path("ro").c_str(), 0755);
}

// The same decision, with the failure to make the temporary file simulated
// (the superuser can make it anywhere): only a lack of permission leads to
// the write in place.
void TestTextFiles::writeInPlaceWhenNoTemporaryMayBeMade()
{
    const std::string p = path("table.txt");
    Put(p, "old\r\n", 0640);
    StagedFile::failTemporaryForTesting(EACCES);
    const FileStatus r = WriteFileWithBackup(p, "new\r\n", path("table.Bak"));
    const FileStatus again = WriteFileAtomic(p, "again\r\n");
    StagedFile::failTemporaryForTesting(ENOSPC);
    const FileStatus full = WriteFileAtomic(p, "full\r\n");
    StagedFile::failTemporaryForTesting(EPERM);
    const FileStatus fresh = WriteFileAtomic(path("fresh.txt"), "x");
    StagedFile::failTemporaryForTesting(0);
    QVERIFY(r.ok());
    QVERIFY(!r.hasWarning()); // the backup could be written
    QCOMPARE(Slurp(path("table.Bak")), Bytes("old\r\n"));
    QVERIFY(again.ok());
    QCOMPARE(Slurp(p), Bytes("again\r\n"));
    QCOMPARE(ModeOf(p), mode_t(0640));
    QVERIFY(!full.ok());
    QCOMPARE(full.code(), FileErrorCode::NoSpace);
    QVERIFY(!fresh.ok()); // nothing to write in place
    QCOMPARE(Entries(dir_), (QStringList{"table.Bak", "table.txt"}));
}

void TestTextFiles::failedWriteInPlacePutsOldContentBack()
{
    const std::string p = path("table.txt");
    const Bytes old(3000, 'o');
    Put(p, old);
    StagedFile::failTemporaryForTesting(EACCES);
    FileStatus r;
    {
        FileSizeLimit limit(4096); // as a full disk
        r = WriteFileAtomic(p, Bytes(256 * 1024, 'n'));
    }
    StagedFile::failTemporaryForTesting(0);
    QVERIFY(!r.ok());
    QCOMPARE(r.code(), FileErrorCode::TooLarge);
    QCOMPARE(r.error().path, p);
    QCOMPARE(Slurp(p).size(), old.size());
    QVERIFY(Slurp(p) == old);
    QCOMPARE(Entries(dir_), QStringList{"table.txt"});
}

void TestTextFiles::sameFileAndCleanPaths_data()
{
    QTest::addColumn<QString>("given"); // relative to the test folder's "sub/"
    QTest::addColumn<QString>("clean"); // relative to the test folder
    QTest::newRow("parent") << "../t.txt"
                            << "t.txt";
    QTest::newRow("double slash") << ".//..//t.txt"
                                  << "t.txt";
    QTest::newRow("dot folder") << "./././../sub/./../t.txt"
                                << "t.txt";
    QTest::newRow("plain") << "u.txt"
                           << "sub/u.txt";
}

void TestTextFiles::sameFileAndCleanPaths()
{
    QFETCH(QString, given);
    QFETCH(QString, clean);
    QVERIFY(QDir().mkdir(QString::fromStdString(path("sub"))));
    Put(path("t.txt"), "t");
    Put(path("sub/u.txt"), "u");
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QString::fromStdString(path("sub"))));
    const std::string cleaned = CleanTablePath(given.toStdString());
    QVERIFY(QDir::setCurrent(cwd));
    QCOMPARE(QString::fromStdString(cleaned), QString::fromStdString(dir_) + clean);
    QVERIFY(SameFile(cleaned, path("sub/") + given.toStdString()));
    QVERIFY(!SameFile(path("t.txt"), path("sub/u.txt")));
    QVERIFY(!SameFile(path("missing.txt"), path("t.txt")));

    // Through a link to a folder, ".." is the target's parent: the folder is resolved.
    QVERIFY(QDir().mkpath(QString::fromStdString(path("deep/inner"))));
    Put(path("deep/t.txt"), "deep");
    QVERIFY(::symlink(path("deep/inner").c_str(), path("jump").c_str()) == 0);
    const std::string through = CleanTablePath(path("jump/../t.txt"));
    QCOMPARE(Slurp(through), Bytes("deep"));
    QVERIFY(through.find("..") == std::string::npos);
}

void TestTextFiles::exeFolderOverride()
{
    const std::string exe = ExecutablePath();
    QCOMPARE(QString::fromStdString(exe), QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    SetExeFolderForTesting("/some/where");
    QCOMPARE(ExeFolder(), std::string("/some/where/"));
    SetExeFolderForTesting("/else/");
    QCOMPARE(ExeFolder(), std::string("/else/"));
    SetExeFolderForTesting("");
    // In a writable build folder the program keeps its files beside itself
    // (the other case, which needs $HOME, is tested on a copy below).
    const std::string own = exe.substr(0, exe.rfind('/') + 1);
    if (::access(own.c_str(), W_OK) == 0)
        QCOMPARE(ExeFolder(), own);
}

// A copy of this program prints its folder: its own when writable, else
// the per-user data folder under $HOME, which it creates.
void TestTextFiles::exeFolderOfACopy()
{
    const std::string bin = path("bin/");
    const std::string home = path("home");
    QVERIFY(QDir().mkpath(QString::fromStdString(bin)));
    QVERIFY(QDir().mkpath(QString::fromStdString(home)));
    ::chmod(home.c_str(), 0777);
    const std::string copy = bin + "rasmik-copy";
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), QString::fromStdString(copy)));
    ::chmod(copy.c_str(), 0755);

    auto run = [&](bool unprivileged, bool& started) -> std::string {
        started = false;
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            if (unprivileged && ::geteuid() == 0
                && (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0))
                ::_exit(77);
            const std::string homeVar = "HOME=" + home;
            char* const argv[] = {const_cast<char*>(copy.c_str()), const_cast<char*>("--print-exe-folder"), nullptr};
            char* const envp[] = {const_cast<char*>(homeVar.c_str()), nullptr};
            ::execve(copy.c_str(), argv, envp);
            ::_exit(78);
        }
        ::close(fds[1]);
        std::string out;
        char buf[512];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
            out.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return out;
    };

    bool started = false;
    QCOMPARE(run(false, started), bin);
    QVERIFY(started);

    ::chmod(bin.c_str(), 0555);
    const std::string data = home + "/.local/share/Rasmik/";
    const std::string out = run(true, started);
    if (!started)
        QSKIP("cannot run the copy as another user here");
    QCOMPARE(out, data);
    QVERIFY(QFileInfo(QString::fromStdString(data)).isDir());
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--print-exe-folder") == 0) {
        const std::string& folder = ExeFolder();
        return std::fwrite(folder.data(), 1, folder.size(), stdout) == folder.size() ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TestTextFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_text_files.moc"
