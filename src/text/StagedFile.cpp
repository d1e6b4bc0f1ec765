#include "text/StagedFile.h"

#include "text/TextFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

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
std::string TempNameBeside(const std::string& target)
{
    std::string name = NameOf(target);
    if (name.size() > 100)
        name.resize(100);
    return FolderOf(target) + "." + name + "." + RandomSuffix() + ".tmp";
}

// Writes everything; 0 or the error number.
int WriteAll(int fd, std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const std::size_t chunk = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
        const ssize_t n = ::write(fd, p, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

// The whole content of an open file; 0 or the error number.
int ReadAllAt(int fd, std::string& out)
{
    out.clear();
    char buf[1 << 16];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EBADF ? EACCES : errno; // a write-only file
        if (n == 0)
            return 0;
        try {
            out.append(buf, static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
            return ENOMEM;
        }
        offset += n;
    }
}

// Makes the open file hold exactly bytes, flushed; 0 or the error number.
int Overwrite(int fd, std::string_view bytes)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return errno;
    if (const int err = WriteAll(fd, bytes); err != 0)
        return err;
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fdatasync(fd) != 0)
        return errno;
    return 0;
}

// Failures of making temporary files, for tests.
std::atomic<int> TemporaryFailure{0};

void SyncFolder(const std::string& folder)
{
    UniqueFd dir(OpenFile(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY));
    if (dir.valid())
        ::fsync(dir.get());
}

// Creates a new file named like a temporary beside target; made like the
// existing file st when there is one.
int CreateBeside(const std::string& target, const struct stat* like, UniqueFd& fd, std::string& tempPath)
{
    for (int tries = 0; tries < 32; ++tries) {
        tempPath = TempNameBeside(target);
        // A new file gets 0666 less the umask; a replacement keeps the old mode.
        fd.reset(OpenFile(tempPath, O_WRONLY | O_CREAT | O_EXCL, like ? 0600 : 0666));
        if (fd.valid())
            break;
        if (errno != EEXIST)
            return errno;
    }
    if (!fd.valid()) {
        tempPath.clear();
        return EEXIST;
    }
    if (like) {
        // Keep the owner where permitted (the superuser saving a user's file).
        if (::fchown(fd.get(), like->st_uid, like->st_gid) != 0) { }
        if (::fchmod(fd.get(), like->st_mode & 07777) != 0) { }
    }
    return 0;
}

} // namespace

StagedFile::~StagedFile()
{
    discard();
}

void StagedFile::failTemporaryForTesting(int err)
{
    TemporaryFailure = err;
}

void StagedFile::discard()
{
    temp_.reset();
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
    lock_.reset();
    exists_ = false;
    inPlace_ = false;
    std::string().swap(pending_);
}

void StagedFile::noBackup(FileError why)
{
    backupError_ = std::move(why);
    backup_.clear();
}

FileStatus StagedFile::prepareTarget(const std::string& target)
{
    discard();
    given_ = target;
    path_ = target;
    backup_.clear();
    backupError_ = FileError();
    if (target.empty())
        return fail(FileErrorCode::NoFileName);
    struct stat lst { };
    if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            path_ = real;
            std::free(real);
        }
    }
    if (::stat(path_.c_str(), &st_) != 0) {
        if (errno != ENOENT)
            return failErrno(errno);
        return {};
    }
    if (S_ISDIR(st_.st_mode))
        return failErrno(EISDIR);
    if (!S_ISREG(st_.st_mode))
        return fail(FileErrorCode::NotRegularFile);

    lock_.reset(OpenFile(path_, O_RDONLY | O_NONBLOCK));
    if (!lock_.valid() && errno == EACCES)
        lock_.reset(OpenFile(path_, O_WRONLY | O_NONBLOCK)); // a write-only file
    if (!lock_.valid())
        return failErrno(errno);
    if (LockedByOther(lock_.get(), false))
        return fail(FileErrorCode::Locked);
    if (IsReadOnly(st_))
        return fail(FileErrorCode::ReadOnly);
    if (::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0)
        return failErrno(errno);
    exists_ = true;
    return {};
}

FileStatus StagedFile::createTemp(NoTemporary noTemporary)
{
    int err = TemporaryFailure.load();
    if (err == 0)
        err = CreateBeside(path_, exists_ ? &st_ : nullptr, temp_, tempPath_);
    if (err == 0)
        return {};
    // No right to add a file to the folder: a file we may write can still
    // be written where it is.
    if ((err == EACCES || err == EPERM) && exists_ && noTemporary == NoTemporary::WriteInPlace) {
        inPlace_ = true;
        return {};
    }
    return failErrno(err);
}

FileStatus StagedFile::open(const std::string& target, NoTemporary noTemporary)
{
    FileStatus r = prepareTarget(target);
    if (r)
        r = createTemp(noTemporary);
    if (!r)
        discard();
    return r;
}

FileStatus StagedFile::openWithBackup(const std::string& target, const std::string& backupPath, NoTemporary noTemporary)
{
    FileStatus r = prepareTarget(target);
    if (r && exists_) {
        backup_ = backupPath;
        struct stat bst { };
        if (backupPath.empty()) {
            noBackup(FileError(FileErrorCode::NoFileName, backupPath));
        } else if (::stat(backupPath.c_str(), &bst) == 0) {
            if (S_ISDIR(bst.st_mode))
                noBackup(ErrnoError(EISDIR, backupPath));
            else if (bst.st_dev == st_.st_dev && bst.st_ino == st_.st_ino)
                noBackup(FileError(FileErrorCode::BackupIsTarget, backupPath));
        }
    }
    if (r)
        r = createTemp(noTemporary);
    if (!r) {
        discard();
        return r;
    }
    return r;
}

FileStatus StagedFile::write(std::string_view bytes)
{
    if (inPlace_) {
        try {
            pending_.append(bytes);
        } catch (const std::bad_alloc&) {
            return failErrno(ENOMEM);
        }
        return {};
    }
    if (!temp_.valid())
        return failErrno(EBADF);
    if (const int err = WriteAll(temp_.get(), bytes); err != 0)
        return failErrno(err);
    return {};
}

// Copies the locked target into a new temporary file beside the backup.
FileStatus StagedFile::copyOldContent(std::string& tempBackup)
{
    UniqueFd fd;
    if (const int err = CreateBeside(backup_, &st_, fd, tempBackup); err != 0)
        return ErrnoError(err, backup_);
    char buf[1 << 16];
    off_t offset = 0;
    int err = 0;
    for (;;) {
        const ssize_t n = ::pread(lock_.get(), buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) {
            if (::fdatasync(fd.get()) != 0 || fd.close() != 0)
                err = errno;
            break;
        }
        if ((err = WriteAll(fd.get(), std::string_view(buf, static_cast<std::size_t>(n)))) != 0)
            break;
        offset += n;
    }
    if (err != 0) {
        fd.reset();
        ::unlink(tempBackup.c_str());
        tempBackup.clear();
        return ErrnoError(err, backup_);
    }
    return {};
}

// Gives the existing target a second name beside the backup: a hard link,
// or a copy where linking is impossible.
FileStatus StagedFile::keepOldContent(std::string& tempBackup)
{
    for (int tries = 0; tries < 32; ++tries) {
        tempBackup = TempNameBeside(backup_);
        if (::link(path_.c_str(), tempBackup.c_str()) == 0)
            return {};
        if (errno != EEXIST)
            return copyOldContent(tempBackup);
    }
    tempBackup.clear();
    return ErrnoError(EEXIST, backup_);
}

FileStatus StagedFile::commitInPlace()
{
    // The old content: the backup's, and put back if the write fails.
    std::string old;
    if (const int err = ReadAllAt(lock_.get(), old); err != 0) {
        const FileStatus r = failErrno(err);
        discard();
        return r;
    }
    if (!backup_.empty()) {
        // The folder takes no new file, but an existing backup may be written.
        UniqueFd bak(OpenFile(backup_, O_WRONLY | O_CREAT, st_.st_mode & 0666));
        struct stat bst { };
        int err = bak.valid() ? 0 : errno;
        if (err == 0 && (::fstat(bak.get(), &bst) != 0 || !S_ISREG(bst.st_mode)))
            err = EISDIR;
        if (err == 0)
            err = Overwrite(bak.get(), old);
        if (err == 0 && bak.close() != 0)
            err = errno;
        if (err != 0)
            noBackup(ErrnoError(err, backup_));
    }
    UniqueFd out(OpenFile(path_, O_WRONLY));
    if (!out.valid()) {
        const FileStatus r = failErrno(errno);
        discard();
        return r;
    }
    int err = Overwrite(out.get(), pending_);
    if (err == 0 && out.close() != 0)
        err = errno;
    if (err != 0) {
        if (!out.valid())
            out.reset(OpenFile(path_, O_WRONLY));
        const bool restored = out.valid() && Overwrite(out.get(), old) == 0;
        discard();
        if (!restored) {
            FileError e(FileErrorCode::NotRestored, given_);
            e.sysErrno = err;
            return e;
        }
        return failErrno(err);
    }
    discard();
    return {};
}

FileStatus StagedFile::commit()
{
    if (inPlace_)
        return commitInPlace();
    if (!temp_.valid())
        return failErrno(EBADF);
    if (::fdatasync(temp_.get()) != 0 || temp_.close() != 0) {
        const FileStatus r = failErrno(errno);
        discard();
        return r;
    }
    std::string tempBackup;
    if (!backup_.empty()) {
        // A backup that cannot be made does not stop the save.
        if (FileStatus r = keepOldContent(tempBackup); !r) {
            noBackup(r.error());
            tempBackup.clear();
        }
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const FileStatus r = failErrno(errno);
        if (!tempBackup.empty())
            ::unlink(tempBackup.c_str());
        discard();
        return r;
    }
    tempPath_.clear();
    SyncFolder(FolderOf(path_));
    if (!tempBackup.empty()) {
        // The new content is in place; a backup that cannot take its name
        // leaves the earlier one as it was.
        if (::rename(tempBackup.c_str(), backup_.c_str()) != 0) {
            const int err = errno;
            ::unlink(tempBackup.c_str());
            noBackup(ErrnoError(err, backup_));
        } else if (FolderOf(backup_) != FolderOf(path_))
            SyncFolder(FolderOf(backup_));
    }
    discard();
    return {};
}

} // namespace rasmik
