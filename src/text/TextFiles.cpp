#include "text/TextFiles.h"

#include "text/PosixFile.h"
#include "text/StagedFile.h"
#include "text/StringHelpers.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

RetryTime& TestRetryTime()
{
    static RetryTime time;
    return time;
}

} // namespace

std::chrono::steady_clock::time_point RetryClock()
{
    const RetryTime& time = TestRetryTime();
    return time.now ? time.now() : std::chrono::steady_clock::now();
}

void PauseBeforeRetry()
{
    const RetryTime& time = TestRetryTime();
    if (time.pause)
        time.pause(RetryPause);
    else
        std::this_thread::sleep_for(RetryPause);
}

void SetRetryTimeForTesting(RetryTime time)
{
    TestRetryTime() = std::move(time);
}

namespace {

// All the bytes in one piece.
PieceSource WholePiece(std::string_view bytes)
{
    return [bytes](std::string_view& piece) {
        piece = bytes;
        return Piece::Last;
    };
}

template <class Attempt>
bool Retry(Attempt attempt)
{
    const auto start = RetryClock();
    for (;;) {
        if (attempt())
            return true;
        PauseBeforeRetry();
        if (RetryClock() - start > RetryWindow)
            return false;
    }
}

// Fills an open staged file from source and commits it.
FileStatus WriteStaged(StagedFile& staged, FileStatus opened, const PieceSource& source,
                       const LockedCheck& whileLocked = {})
{
    if (!opened)
        return opened;
    if (whileLocked)
        if (FileStatus checked = whileLocked(); !checked)
            return checked;
    for (;;) {
        std::string_view piece;
        const Piece more = source(piece);
        if (more == Piece::Stop)
            return FileStatus(FileErrorCode::Cancelled, staged.target());
        if (FileStatus r = staged.write(piece); !r)
            return r;
        if (more == Piece::Last)
            break;
    }
    FileStatus r = staged.commit();
    if (r && staged.backupError().code != FileErrorCode::None)
        return FileStatus::okWithWarning(staged.backupError());
    return r;
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
    struct passwd pw { };
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
    struct stat st { };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathIsThere(const std::string& path)
{
    struct stat st { };
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool CanOpenReadWrite(const std::string& path)
{
    if (path.empty())
        return false;
    UniqueFd fd(OpenFile(path, O_RDWR | O_NONBLOCK));
    if (!fd.valid())
        return false;
    struct stat st { };
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
FileStatus OpenForWholeRead(const std::string& path, UniqueFd& fd, std::uint64_t& size)
{
    if (path.empty())
        return FileStatus(FileErrorCode::NoFileName, path);
    fd.reset(OpenFile(path, O_RDONLY | O_NONBLOCK));
    if (!fd.valid())
        return ErrnoError(errno, path);
    struct stat st { };
    if (::fstat(fd.get(), &st) != 0)
        return ErrnoError(errno, path);
    if (S_ISDIR(st.st_mode))
        return ErrnoError(EISDIR, path);
    if (!S_ISREG(st.st_mode))
        return FileStatus(FileErrorCode::NotRegularFile, path);
    if (LockedByOther(fd.get(), true))
        return FileStatus(FileErrorCode::Locked, path);
    if (static_cast<uint64_t>(st.st_size) > MaxFileBytes)
        return FileStatus(FileErrorCode::TooLarge, path);
    size = static_cast<std::uint64_t>(st.st_size);
    return {};
}

// Reads all of an open file into data, which starts size bytes long
// (grow(n) makes it n bytes long, keeping its content); got counts the bytes.
template <typename Data>
FileStatus ReadAllInto(const std::string& path, UniqueFd& fd, Data& data, std::size_t& got)
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
                return ErrnoError(errno, path);
            if (n == 0)
                break;
            const auto more = static_cast<std::size_t>(n);
            if (data.size() + more > maxBytes)
                return FileStatus(FileErrorCode::TooLarge, path);
            data.grow(
                std::min<uint64_t>(maxBytes, std::max<uint64_t>(data.size() + more, data.size() + data.size() / 8)));
            std::memcpy(data.data() + got, probe, more);
            got += more;
            continue;
        }
        const std::size_t want = std::min(data.size() - got, std::size_t{1} << 30);
        const ssize_t n = ::read(fd.get(), data.data() + got, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ErrnoError(errno, path);
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

struct StringData {
    std::string& s;
    std::size_t size() const { return s.size(); }
    char* data() { return s.data(); }
    void grow(std::size_t n) { s.resize(n); }
};

} // namespace

FileStatus ReadWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    UniqueFd fd;
    std::uint64_t size = 0;
    FileStatus r = OpenForWholeRead(path, fd, size);
    if (!r)
        return r;
    try {
        std::string data;
        data.resize(static_cast<std::size_t>(size));
        StringData d{data};
        std::size_t got = 0;
        r = ReadAllInto(path, fd, d, got);
        if (!r)
            return r;
        data.resize(got);
        bytes.swap(data);
    } catch (const std::bad_alloc&) {
        return FileStatus(FileErrorCode::NoMemory, path);
    } catch (const std::length_error&) {
        return FileStatus(FileErrorCode::TooLarge, path);
    }
    return {};
}

FileStatus ReadWholeFile(const std::string& path, ByteBuffer& bytes)
{
    bytes = ByteBuffer();
    UniqueFd fd;
    std::uint64_t size = 0;
    FileStatus r = OpenForWholeRead(path, fd, size);
    if (!r)
        return r;
    try {
        ByteBuffer data(static_cast<std::size_t>(size));
        std::size_t got = 0;
        r = ReadAllInto(path, fd, data, got);
        if (!r)
            return r;
        data.truncate(got);
        bytes = std::move(data);
    } catch (const std::bad_alloc&) {
        return FileStatus(FileErrorCode::NoMemory, path);
    } catch (const std::length_error&) {
        return FileStatus(FileErrorCode::TooLarge, path);
    }
    return {};
}

FileStatus WriteFileAtomic(const std::string& path, std::string_view bytes)
{
    return WriteFileAtomic(path, WholePiece(bytes));
}

FileStatus WriteFileWithBackup(const std::string& path, std::string_view bytes, const std::string& backupPath)
{
    return WriteFileWithBackup(path, WholePiece(bytes), backupPath);
}

FileStatus WriteFileAtomic(const std::string& path, const PieceSource& source, const LockedCheck& whileLocked)
{
    StagedFile staged;
    return WriteStaged(staged, staged.open(path, NoTemporary::WriteInPlace), source, whileLocked);
}

FileStatus WriteFileWithBackup(const std::string& path, const PieceSource& source, const std::string& backupPath,
                               const LockedCheck& whileLocked)
{
    StagedFile staged;
    return WriteStaged(staged, staged.openWithBackup(path, backupPath, NoTemporary::WriteInPlace), source, whileLocked);
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
    const bool ok = Retry([&] { return FileIsThere(path) && CanOpenReadWrite(path) && ReadSplitLines(path, lines); });
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

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

std::string LexicallyClean(const std::string& path)
{
    if (path.empty())
        return path;
    const bool absolute = path.front() == '/';
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    const std::string_view all(path);
    while (start <= all.size()) {
        std::size_t end = all.find('/', start);
        if (end == std::string_view::npos)
            end = all.size();
        const std::string_view part = all.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part); // a relative path may climb above its start
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += '/';
        out += parts[i];
    }
    return out.empty() ? std::string(".") : out;
}

std::string CleanTablePath(const std::string& path)
{
    if (path.empty())
        return path;
    std::string absolute = path;
    if (absolute.front() != '/') {
        std::vector<char> buf(4096);
        while (!::getcwd(buf.data(), buf.size())) {
            if (errno != ERANGE)
                return path;
            buf.resize(buf.size() * 2);
        }
        absolute = std::string(buf.data()) + "/" + path;
    }
    std::string clean = LexicallyClean(absolute);
    // "link/.." is the link target's parent, not the folder the link is in:
    // where the short form names another file, the folder is resolved.
    if (clean != absolute && FileIsThere(absolute) && !SameFile(clean, absolute)) {
        const std::size_t slash = absolute.rfind('/');
        if (char* real = ::realpath(absolute.substr(0, slash + 1).c_str(), nullptr)) {
            std::string folder = real;
            std::free(real);
            if (folder.empty() || folder.back() != '/')
                folder += '/';
            clean = folder + absolute.substr(slash + 1);
        } else {
            clean = absolute;
        }
    }
    return clean;
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
