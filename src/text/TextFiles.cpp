#include "text/TextFiles.h"

#include "text/StringHelpers.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

constexpr const char* LockedReason = "locked by another program";
constexpr const char* TooLargeReason = "too large";
constexpr const char* ReadOnlyReason = "the file is read-only";
constexpr const char* NotAFileReason = "not a regular file";
constexpr const char* SameAsBackupReason = "the backup name is the file itself";
constexpr const char* NoMemoryReason = "not enough memory";

std::string Reason(int err)
{
    return std::generic_category().message(err);
}

FileResult Failed(std::string why)
{
    return FileResult{false, std::move(why)};
}

FileResult Succeeded()
{
    return FileResult{true, {}};
}

// All the bytes in one piece.
PieceSource WholePiece(std::string_view bytes)
{
    return [bytes](std::string_view& piece) {
        piece = bytes;
        return Piece::Last;
    };
}

// Closes its descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports the error of close itself (it can carry a
    // delayed write error).
    int close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int fd_;
};

int OpenFile(const std::string& path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A read-only file: no write permission bit at all. Checked apart from
// access rights because the superuser may write anywhere.
bool IsReadOnly(const struct stat& st)
{
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Another process holds an exclusive lock (shared == true) or any lock.
bool LockedByOther(int fd, bool shared)
{
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0)
        return false;
    // Where locks are not supported nobody can hold one either.
    return errno == EWOULDBLOCK;
}

template <class Attempt>
bool Retry(Attempt attempt)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (attempt())
            return true;
        std::this_thread::sleep_for(RetryPause);
        if (std::chrono::steady_clock::now() - start > RetryWindow)
            return false;
    }
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix()
{
    static std::atomic<uint64_t> counter{0};
    uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    x ^= static_cast<uint64_t>(::getpid()) << 32;
    x += (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    // splitmix64 finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (char& c : s) {
        c = alphabet[x % 36];
        x /= 36;
    }
    return s;
}

// A hidden name beside target that no file has yet; the name part is cut so
// that the result stays within the file name limit.
std::string TempNameBeside(const std::string& target, const std::string& folder)
{
    std::string name = NameOf(target);
    if (name.size() > 100)
        name.resize(100);
    return folder + "." + name + "." + RandomSuffix() + ".tmp";
}

bool WriteAll(int fd, std::string_view bytes, int& err)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t chunk = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
        const ssize_t n = ::write(fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void SyncFolder(const std::string& folder)
{
    Fd dir(OpenFile(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY));
    if (dir.valid())
        ::fsync(dir.get());
}

// The target of a write, checked and locked.
struct Target {
    std::string path;   // symbolic links resolved, so the link stays a link
    bool exists = false;
    struct stat st {};
    Fd lock;            // holds the exclusive lock on the existing file
};

FileResult PrepareTarget(const std::string& path, Target& t)
{
    if (path.empty())
        return Failed(Reason(ENOENT));
    t.path = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            t.path = real;
            std::free(real);
        }
    }
    if (::stat(t.path.c_str(), &t.st) != 0) {
        if (errno != ENOENT)
            return Failed(Reason(errno));
        return Succeeded();
    }
    if (S_ISDIR(t.st.st_mode))
        return Failed(Reason(EISDIR));
    if (!S_ISREG(t.st.st_mode))
        return Failed(NotAFileReason);
    t.exists = true;

    t.lock.reset(OpenFile(t.path, O_RDONLY | O_NONBLOCK));
    if (!t.lock.valid() && errno == EACCES)
        t.lock.reset(OpenFile(t.path, O_WRONLY | O_NONBLOCK)); // a write-only file
    if (!t.lock.valid())
        return Failed(Reason(errno));
    if (LockedByOther(t.lock.get(), false))
        return Failed(LockedReason);
    if (IsReadOnly(t.st))
        return Failed(ReadOnlyReason);
    if (::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0)
        return Failed(Reason(errno));
    return Succeeded();
}

// Creates a new temporary file beside target, made like the existing file
// when there is one.
FileResult CreateTemp(const std::string& target, const Target& like, Fd& fd, std::string& tempPath)
{
    const std::string folder = FolderOf(target);
    for (int tries = 0; tries < 32; ++tries) {
        tempPath = TempNameBeside(target, folder);
        // A new file gets 0666 less the umask; a replacement keeps the old mode.
        fd.reset(OpenFile(tempPath, O_WRONLY | O_CREAT | O_EXCL, like.exists ? 0600 : 0666));
        if (fd.valid())
            break;
        if (errno != EEXIST)
            return Failed(Reason(errno));
    }
    if (!fd.valid())
        return Failed(Reason(EEXIST));
    if (like.exists) {
        // Keep the owner where permitted (the superuser saving a user's file).
        if (::fchown(fd.get(), like.st.st_uid, like.st.st_gid) != 0) {
        }
        if (::fchmod(fd.get(), like.st.st_mode & 07777) != 0) {
        }
    }
    return Succeeded();
}

// Finishes a temporary file: writes everything, flushes it to disk and closes
// it. The caller removes it on failure.
FileResult FillTemp(Fd& fd, const PieceSource& source)
{
    int err = 0;
    for (;;) {
        std::string_view piece;
        const Piece more = source(piece);
        if (more == Piece::Stop)
            return Failed(CancelledReason);
        if (!WriteAll(fd.get(), piece, err))
            return Failed(Reason(err));
        if (more == Piece::Last)
            break;
    }
    if (::fdatasync(fd.get()) != 0)
        return Failed(Reason(errno));
    if (fd.close() != 0)
        return Failed(Reason(errno));
    return Succeeded();
}

// Writes bytes to a new temporary file beside t; on success tempPath names it.
FileResult WriteTemp(const Target& t, const PieceSource& source, std::string& tempPath)
{
    Fd fd;
    FileResult r = CreateTemp(t.path, t, fd, tempPath);
    if (!r)
        return r;
    r = FillTemp(fd, source);
    if (!r) {
        fd.reset();
        ::unlink(tempPath.c_str());
    }
    return r;
}

// Copies the open file src into a new temporary file beside backupPath.
FileResult CopyToTemp(int src, const Target& like, const std::string& backupPath, std::string& tempPath)
{
    Fd fd;
    FileResult r = CreateTemp(backupPath, like, fd, tempPath);
    if (!r)
        return r;
    char buf[1 << 16];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(src, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            r = Failed(Reason(errno));
            break;
        }
        if (n == 0) {
            r = FillTemp(fd, WholePiece({}));
            break;
        }
        int err = 0;
        if (!WriteAll(fd.get(), std::string_view(buf, static_cast<std::size_t>(n)), err)) {
            r = Failed(Reason(err));
            break;
        }
        offset += n;
    }
    if (!r) {
        fd.reset();
        ::unlink(tempPath.c_str());
    }
    return r;
}

// Gives the existing target a second name beside backupPath: a hard link,
// or a copy where linking is impossible.
FileResult KeepOldContent(const Target& t, const std::string& backupPath, std::string& tempPath)
{
    const std::string folder = FolderOf(backupPath);
    for (int tries = 0; tries < 32; ++tries) {
        tempPath = TempNameBeside(backupPath, folder);
        if (::link(t.path.c_str(), tempPath.c_str()) == 0)
            return Succeeded();
        if (errno != EEXIST)
            return CopyToTemp(t.lock.get(), t, backupPath, tempPath);
    }
    return Failed(Reason(EEXIST));
}

bool ReadSplitLines(const std::string& path, std::vector<std::string>& lines)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return false;
    try {
        lines = SplitLines(bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buf(static_cast<std::size_t>(size > 0 ? size : 16384), '\0');
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

// mkdir -p: every missing folder on the way is made.
void MakeFolders(const std::string& folder)
{
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '/')
            ::mkdir(folder.substr(0, i).c_str(), 0777);
    }
}

std::string ComputeExeFolder()
{
    const std::string exe = ExecutablePath();
    const std::size_t slash = exe.rfind('/');
    if (slash != std::string::npos) {
        const std::string folder = exe.substr(0, slash + 1);
        if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0)
            return folder;
    }
    const std::string folder = WithTrailingBackslash(HomeFolder()) + ".local/share/Rasmik/";
    MakeFolders(folder);
    return folder;
}

std::optional<std::string>& ExeFolderOverride()
{
    static std::optional<std::string> folder;
    return folder;
}

} // namespace

std::vector<std::string> SplitLines(std::string_view bytes)
{
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t brk = bytes.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            lines.emplace_back(bytes.substr(pos));
            break;
        }
        lines.emplace_back(bytes.substr(pos, brk - pos));
        pos = brk + 1;
        if (bytes[brk] == '\r' && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines)
{
    std::size_t total = 0;
    for (const auto& line : lines)
        total += line.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

bool FileIsThere(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CanOpenReadWrite(const std::string& path)
{
    if (path.empty())
        return false;
    Fd fd(OpenFile(path, O_RDWR | O_NONBLOCK));
    if (!fd.valid())
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || IsReadOnly(st))
        return false;
    if (LockedByOther(fd.get(), true))
        return false;
    ::flock(fd.get(), LOCK_UN);
    return true;
}

namespace {

// Opens a file for a whole read and checks it: a regular file, not locked
// by a writer, not too large.
FileResult OpenForWholeRead(const std::string& path, Fd& fd, std::uint64_t& size)
{
    if (path.empty())
        return Failed(Reason(ENOENT));
    fd.reset(OpenFile(path, O_RDONLY | O_NONBLOCK));
    if (!fd.valid())
        return Failed(Reason(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return Failed(Reason(errno));
    if (S_ISDIR(st.st_mode))
        return Failed(Reason(EISDIR));
    if (!S_ISREG(st.st_mode))
        return Failed(NotAFileReason);
    if (LockedByOther(fd.get(), true))
        return Failed(LockedReason);
    if (static_cast<uint64_t>(st.st_size) > MaxFileBytes)
        return Failed(TooLargeReason);
    size = static_cast<std::uint64_t>(st.st_size);
    return Succeeded();
}

// Reads all of an open file into data, which starts size bytes long
// (grow(n) makes it n bytes long, keeping its content); got counts the bytes.
template <typename Data>
FileResult ReadAllInto(Fd& fd, Data& data, std::size_t& got)
{
    constexpr uint64_t maxBytes = MaxFileBytes;
    got = 0;
    for (;;) {
        if (got == data.size()) {
            // The file may have grown since fstat: look before making room,
            // since making room may copy everything read so far.
            char probe[1 << 12];
            const ssize_t n = ::read(fd.get(), probe, sizeof probe);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Failed(Reason(errno));
            if (n == 0)
                break;
            const auto more = static_cast<std::size_t>(n);
            if (data.size() + more > maxBytes)
                return Failed(TooLargeReason);
            data.grow(std::min<uint64_t>(maxBytes, std::max<uint64_t>(data.size() + more, data.size() + data.size() / 8)));
            std::memcpy(data.data() + got, probe, more);
            got += more;
            continue;
        }
        const std::size_t want = std::min(data.size() - got, std::size_t{1} << 30);
        const ssize_t n = ::read(fd.get(), data.data() + got, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Failed(Reason(errno));
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return Succeeded();
}

struct StringData {
    std::string& s;
    std::size_t size() const { return s.size(); }
    char* data() { return s.data(); }
    void grow(std::size_t n) { s.resize(n); }
};

} // namespace

FileResult ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    Fd fd;
    std::uint64_t size = 0;
    FileResult r = OpenForWholeRead(path, fd, size);
    if (!r)
        return r;
    try {
        std::string data;
        data.resize(static_cast<std::size_t>(size));
        StringData d{data};
        std::size_t got = 0;
        r = ReadAllInto(fd, d, got);
        if (!r)
            return r;
        data.resize(got);
        bytes.swap(data);
    } catch (const std::bad_alloc&) {
        return Failed(NoMemoryReason);
    } catch (const std::length_error&) {
        return Failed(TooLargeReason);
    }
    return Succeeded();
}

FileResult ReadWholeFile(const std::string& path, ByteBuffer& bytes)
{
    bytes = ByteBuffer();
    Fd fd;
    std::uint64_t size = 0;
    FileResult r = OpenForWholeRead(path, fd, size);
    if (!r)
        return r;
    try {
        ByteBuffer data(static_cast<std::size_t>(size));
        std::size_t got = 0;
        r = ReadAllInto(fd, data, got);
        if (!r)
            return r;
        data.truncate(got);
        bytes = std::move(data);
    } catch (const std::bad_alloc&) {
        return Failed(NoMemoryReason);
    } catch (const std::length_error&) {
        return Failed(TooLargeReason);
    }
    return Succeeded();
}

FileResult WriteFileAtomic(const std::string& path, std::string_view bytes)
{
    return WriteFileAtomic(path, WholePiece(bytes));
}

FileResult WriteFileWithBackup(const std::string& path, std::string_view bytes, const std::string& backupPath)
{
    return WriteFileWithBackup(path, WholePiece(bytes), backupPath);
}

FileResult WriteFileAtomic(const std::string& path, const PieceSource& source)
{
    Target t;
    FileResult r = PrepareTarget(path, t);
    if (!r)
        return r;
    std::string temp;
    r = WriteTemp(t, source, temp);
    if (!r)
        return r;
    if (::rename(temp.c_str(), t.path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Failed(Reason(err));
    }
    SyncFolder(FolderOf(t.path));
    return Succeeded();
}

FileResult WriteFileWithBackup(const std::string& path, const PieceSource& source, const std::string& backupPath)
{
    Target t;
    FileResult r = PrepareTarget(path, t);
    if (!r)
        return r;
    if (t.exists) {
        if (backupPath.empty())
            return Failed(Reason(ENOENT));
        struct stat bst {};
        if (::stat(backupPath.c_str(), &bst) == 0) {
            if (S_ISDIR(bst.st_mode))
                return Failed(Reason(EISDIR));
            if (bst.st_dev == t.st.st_dev && bst.st_ino == t.st.st_ino)
                return Failed(SameAsBackupReason);
        }
    }

    std::string temp;
    r = WriteTemp(t, source, temp);
    if (!r)
        return r;
    std::string tempBackup;
    if (t.exists) {
        r = KeepOldContent(t, backupPath, tempBackup);
        if (!r) {
            ::unlink(temp.c_str());
            return r;
        }
    }
    if (::rename(temp.c_str(), t.path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        if (!tempBackup.empty())
            ::unlink(tempBackup.c_str());
        return Failed(Reason(err));
    }
    SyncFolder(FolderOf(t.path));
    if (!tempBackup.empty()) {
        // The new content is in place; a backup that cannot take its name
        // leaves the earlier one as it was.
        if (::rename(tempBackup.c_str(), backupPath.c_str()) != 0)
            ::unlink(tempBackup.c_str());
        else if (FolderOf(backupPath) != FolderOf(t.path))
            SyncFolder(FolderOf(backupPath));
    }
    return Succeeded();
}

bool LoadLinesRetry(std::vector<std::string>* list, const std::string& path)
{
    if (!list)
        return false;
    list->clear();
    // A missing, locked or read-only file fails at once, without retrying.
    if (!FileIsThere(path) || !CanOpenReadWrite(path))
        return false;
    std::vector<std::string> lines;
    const bool ok = Retry([&] {
        return FileIsThere(path) && CanOpenReadWrite(path) && ReadSplitLines(path, lines);
    });
    if (ok)
        list->swap(lines);
    return ok;
}

bool SaveLinesRetry(const std::vector<std::string>* list, const std::string& path)
{
    if (!list || path.empty())
        return false;
    std::string bytes;
    try {
        bytes = JoinLinesCrLf(*list);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return Retry([&] { return static_cast<bool>(WriteFileAtomic(path, bytes)); });
}

std::string LoadTextRetry(const std::string& path, bool dropFinalLineBreak)
{
    if (!FileIsThere(path))
        return {};
    std::string text;
    const bool ok = Retry([&] { return FileIsThere(path) && static_cast<bool>(ReadWholeFile(path, text)); });
    if (!ok)
        return {};
    if (dropFinalLineBreak && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

bool SaveTextRetry(std::string_view text, const std::string& path)
{
    if (path.empty())
        return false;
    return Retry([&] { return static_cast<bool>(WriteFileAtomic(path, text)); });
}

std::string ExecutablePath()
{
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buf.size()) {
            buf.resize(static_cast<std::size_t>(n));
            return buf;
        }
        if (buf.size() > (1u << 20))
            return {};
        buf.resize(buf.size() * 2);
    }
}

const std::string& ExeFolder()
{
    if (const auto& folder = ExeFolderOverride())
        return *folder;
    static const std::string folder = ComputeExeFolder();
    return folder;
}

void SetExeFolderForTesting(const std::string& folder)
{
    if (folder.empty())
        ExeFolderOverride().reset();
    else
        ExeFolderOverride() = WithTrailingBackslash(folder);
}

} // namespace rasmik
