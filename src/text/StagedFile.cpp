#include "text/StagedFile.h"

#include "text/TemporaryFiles.h"
#include "text/TextFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace rasmik {

namespace {

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

// Makes the open file hold exactly what from holds, flushed; 0 or the error
// number.
int OverwriteFrom(int fd, int from)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return errno;
    char buf[1 << 16];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        if (const int err = WriteAll(fd, std::string_view(buf, static_cast<std::size_t>(n))); err != 0)
            return err;
        offset += n;
    }
    if (::ftruncate(fd, offset) != 0 || ::fdatasync(fd) != 0)
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

constexpr char AccessAcl[] = "system.posix_acl_access";

// The names of from's extended attributes, each ended by a NUL.
std::vector<char> AttributeNames(int from)
{
    std::vector<char> names;
    for (int tries = 0; tries < 4; ++tries) {
        const ssize_t size = ::flistxattr(from, nullptr, 0);
        if (size <= 0)
            return {};
        names.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            return names;
        }
        if (errno != ERANGE)
            return {};
    }
    return {};
}

// Gives to the extended attributes of from, its ACL among them, as far as
// this process may set them; the rest are passed over.
void CopyAttributes(int from, int to)
{
    const std::vector<char> names = AttributeNames(from);
    bool hasAcl = false;
    std::vector<char> value;
    for (std::size_t i = 0; i < names.size(); i += std::strlen(names.data() + i) + 1) {
        const char* name = names.data() + i;
        hasAcl = hasAcl || std::strcmp(name, AccessAcl) == 0;
        ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(static_cast<std::size_t>(size));
        size = ::fgetxattr(from, name, value.data(), value.size());
        if (size < 0)
            continue;
        if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0) { }
    }
    // An ACL the new file took from its folder's default is not the old file's.
    if (!hasAcl && ::fremovexattr(to, AccessAcl) != 0) { }
}

// Creates and locks a new file named like a temporary beside target, and
// registers it for removal on termination; made like the existing file st,
// with the attributes of the open file attributesFrom, when there is one.
int CreateBeside(const std::string& target, const struct stat* like, int attributesFrom, TemporaryKind kind,
                 UniqueFd& fd, std::string& tempPath, int& slot)
{
    for (int tries = 0; tries < 32; ++tries) {
        tempPath = TemporaryNameBeside(target);
        int err = 0;
        {
            TerminationHold hold;
            // A new file gets 0666 less the umask; a replacement keeps the old mode.
            fd.reset(OpenFile(tempPath, O_RDWR | O_CREAT | O_EXCL, like ? 0600 : 0666));
            if (fd.valid())
                slot = RegisterTemporary(tempPath, kind);
            else
                err = errno;
        }
        if (err == EEXIST)
            continue;
        if (err != 0) {
            tempPath.clear();
            return err;
        }
        // Between its making and its lock another writer may have taken the
        // new file for a leftover: then it is not ours any more.
        struct stat mine {
        }, named{};
        if (LockNewTemporary(fd.get()) && ::fstat(fd.get(), &mine) == 0 && ::lstat(tempPath.c_str(), &named) == 0
            && mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            break;
        TerminationHold hold;
        fd.reset();
        ForgetTemporary(slot);
    }
    if (!fd.valid()) {
        tempPath.clear();
        return EEXIST;
    }
    if (like) {
        // Keep the owner where permitted (the superuser saving a user's file).
        if (::fchown(fd.get(), like->st_uid, like->st_gid) != 0) { }
        if (::fchmod(fd.get(), like->st_mode & 07777) != 0) { }
        if (attributesFrom >= 0)
            CopyAttributes(attributesFrom, fd.get());
    }
    return 0;
}

// Removes a registered temporary.
void RemoveTemporary(std::string& path, int& slot)
{
    TerminationHold hold;
    if (!path.empty())
        ::unlink(path.c_str());
    path.clear();
    ForgetTemporary(slot);
}

// Whether two paths are one name in one folder (not merely one file).
bool SameEntry(const std::string& a, const std::string& b)
{
    const auto name = [](const std::string& path) { return path.substr(FolderOf(path).size()); };
    const auto folder = [](const std::string& path) {
        const std::string f = FolderOf(path);
        return f.empty() ? std::string(".") : f;
    };
    struct stat fa {
    }, fb{};
    return name(a) == name(b) && ::stat(folder(a).c_str(), &fa) == 0 && ::stat(folder(b).c_str(), &fb) == 0
        && fa.st_dev == fb.st_dev && fa.st_ino == fb.st_ino;
}

// Where a path leads through symbolic links, the last one possibly
// dangling: the link stays, its target gets the new content.
int FollowLinks(const std::string& path, std::string& out)
{
    out = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st { };
        if (::lstat(out.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(out.c_str(), to.data(), to.size());
            if (n < 0)
                return errno;
            if (static_cast<std::size_t>(n) < to.size()) {
                to.resize(static_cast<std::size_t>(n));
                break;
            }
            to.resize(to.size() * 2);
        }
        out = !to.empty() && to.front() == '/' ? to : FolderOf(out) + to;
    }
    return ELOOP;
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
    RemoveTemporary(tempPath_, tempSlot_);
    tempHold_.reset();
    lock_.reset();
    held_ = false;
    exists_ = false;
    backupIsLink_ = false;
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
    if (const int err = FollowLinks(target, path_); err != 0)
        return failErrno(err);
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
    if (::flock(lock_.get(), LOCK_EX | LOCK_NB) == 0)
        held_ = true;
    else if (errno == EWOULDBLOCK)
        return fail(FileErrorCode::Locked);
    // (where locks are not supported nobody can hold one either)
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
        err = CreateBeside(path_, exists_ ? &st_ : nullptr, lock_.get(), TemporaryKind::NewContent, temp_, tempPath_,
                           tempSlot_);
    if (err == 0) {
        // The folder takes files: what killed writers left there goes.
        RemoveStaleTemporaries(FolderOf(path_), held_ ? &st_ : nullptr);
        return {};
    }
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
            struct stat lst { };
            if (S_ISDIR(bst.st_mode)) {
                noBackup(ErrnoError(EISDIR, backupPath));
            } else if (bst.st_dev == st_.st_dev && bst.st_ino == st_.st_ino) {
                // A second name of the target (a save ended between its
                // renames leaves one) already holds the old content.
                if (::lstat(backupPath.c_str(), &lst) == 0 && S_ISREG(lst.st_mode) && !SameEntry(backupPath, path_))
                    backupIsLink_ = true;
                else
                    noBackup(FileError(FileErrorCode::BackupIsTarget, backupPath));
            }
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
FileStatus StagedFile::copyOldContent(std::string& tempBackup, int& slot)
{
    UniqueFd fd;
    if (const int err = CreateBeside(backup_, &st_, lock_.get(), TemporaryKind::Backup, fd, tempBackup, slot); err != 0)
        return ErrnoError(err, backup_);
    if (FolderOf(backup_) != FolderOf(path_))
        RemoveStaleTemporaries(FolderOf(backup_), held_ ? &st_ : nullptr);
    int err = OverwriteFrom(fd.get(), lock_.get());
    if (err == 0 && fd.close() != 0)
        err = errno;
    if (err != 0) {
        fd.reset();
        RemoveTemporary(tempBackup, slot);
        return ErrnoError(err == EBADF ? EACCES : err, backup_); // EBADF: a write-only file
    }
    return {};
}

// Gives the existing target a second name beside the backup: a hard link,
// or a copy where linking is impossible.
FileStatus StagedFile::keepOldContent(std::string& tempBackup, int& slot)
{
    for (int tries = 0; tries < 32; ++tries) {
        tempBackup = TemporaryNameBeside(backup_);
        int err = 0;
        {
            TerminationHold hold;
            if (::link(path_.c_str(), tempBackup.c_str()) == 0)
                slot = RegisterTemporary(tempBackup, TemporaryKind::Backup);
            else
                err = errno;
        }
        if (err == 0) {
            if (FolderOf(backup_) != FolderOf(path_))
                RemoveStaleTemporaries(FolderOf(backup_), held_ ? &st_ : nullptr);
            return {};
        }
        if (err != EEXIST)
            return copyOldContent(tempBackup, slot);
    }
    tempBackup.clear();
    return ErrnoError(EEXIST, backup_);
}

// Writes the old content to the backup before the target is written in
// place: through a temporary beside the backup where its folder takes one,
// else over an existing backup file.
void StagedFile::backUpInPlace(const std::string& old)
{
    UniqueFd fd;
    std::string tempBackup;
    int slot = -1;
    int err = CreateBeside(backup_, &st_, lock_.get(), TemporaryKind::Backup, fd, tempBackup, slot);
    if (err == 0) {
        err = Overwrite(fd.get(), old);
        if (err == 0 && fd.close() != 0)
            err = errno;
        if (err == 0) {
            TerminationHold hold;
            if (::rename(tempBackup.c_str(), backup_.c_str()) == 0) {
                tempBackup.clear();
                ForgetTemporary(slot);
            } else {
                err = errno;
            }
        }
        fd.reset();
        RemoveTemporary(tempBackup, slot);
        if (err == 0)
            SyncFolder(FolderOf(backup_));
    } else if ((err == EACCES || err == EPERM) && backupIsLink_) {
        err = 0; // written in place, the backup would get the new content too
        noBackup(FileError(FileErrorCode::BackupIsTarget, backup_));
    } else if (err == EACCES || err == EPERM) {
        // The folder takes no new file, but an existing backup may be written.
        UniqueFd bak(OpenFile(backup_, O_WRONLY | O_CREAT, st_.st_mode & 0666));
        struct stat bst { };
        err = bak.valid() ? 0 : errno;
        if (err == 0 && (::fstat(bak.get(), &bst) != 0 || !S_ISREG(bst.st_mode)))
            err = EISDIR;
        if (err == 0)
            err = Overwrite(bak.get(), old);
        if (err == 0 && bak.close() != 0)
            err = errno;
    }
    if (err != 0)
        noBackup(ErrnoError(err, backup_));
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
    if (!backup_.empty())
        backUpInPlace(old);
    // Ended now the file would be torn: a terminating signal waits.
    TerminationHold hold;
    UniqueFd out(OpenFile(path_, O_WRONLY));
    if (!out.valid()) {
        const FileStatus r = failErrno(errno);
        discard();
        return r;
    }
    // The new content is held in memory, or in the temporary when there is one.
    int err = tempHold_.valid() ? OverwriteFrom(out.get(), tempHold_.get()) : Overwrite(out.get(), pending_);
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
    // The lock stays on the temporary after its writing descriptor is closed.
    tempHold_.reset(::fcntl(temp_.get(), F_DUPFD_CLOEXEC, 0));
    if (::fdatasync(temp_.get()) != 0 || temp_.close() != 0) {
        const FileStatus r = failErrno(errno);
        discard();
        return r;
    }
    // A rename would part a file with several names from its others (the
    // backup's name aside). Written in place, its old content must be
    // readable, to be put back on failure; a write-only one is renamed.
    struct stat now { };
    if (exists_ && tempHold_.valid() && ::fstat(lock_.get(), &now) == 0 && now.st_nlink > (backupIsLink_ ? 2u : 1u)
        && (::fcntl(lock_.get(), F_GETFL) & O_ACCMODE) != O_WRONLY)
        return commitInPlace();

    // The old content takes the backup's name before the new content takes
    // the target's, so at every moment it is the target or the backup.
    std::string tempBackup;
    int backupSlot = -1;
    if (!backup_.empty() && !backupIsLink_) {
        // A backup that cannot be made does not stop the save.
        if (FileStatus r = keepOldContent(tempBackup, backupSlot); !r)
            noBackup(r.error());
    }
    {
        TerminationHold hold;
        if (!tempBackup.empty()) {
            if (::rename(tempBackup.c_str(), backup_.c_str()) == 0) {
                tempBackup.clear();
                ForgetTemporary(backupSlot);
                SyncFolder(FolderOf(backup_));
            } else {
                noBackup(ErrnoError(errno, backup_));
                RemoveTemporary(tempBackup, backupSlot);
            }
        }
        if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
            const FileStatus r = failErrno(errno);
            discard();
            return r;
        }
        tempPath_.clear();
        ForgetTemporary(tempSlot_);
    }
    SyncFolder(FolderOf(path_));
    discard();
    return {};
}

} // namespace rasmik
