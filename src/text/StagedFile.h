#pragma once
// The one way the program replaces a file: the new content goes to a
// temporary file beside the target, is flushed to disk and renamed over the
// target, so the target holds either its old or its new content, never half
// of it. While the temporary is written the existing target is checked
// (a regular file, not read-only, writable by us) and held under an
// exclusive advisory lock. A replaced file keeps its mode and, where
// permitted, its owner; a new one gets 0666 less the umask; a symbolic link
// stays a link to the new content. Whatever is not committed is removed.
//
// A writable file in a folder we may not write to cannot have a temporary
// beside it. Where the caller allows it, such a file is written in place
// instead: the new content is held in memory until commit, then written over
// the file and flushed; when that write fails the old content is put back.

#include "text/FileError.h"
#include "text/PosixFile.h"

#include <string>
#include <string_view>

namespace rasmik {

// What open does when no temporary file may be made beside the target.
enum class NoTemporary {
    Fail,         // the open fails (a caller that writes the temporary by name)
    WriteInPlace, // an existing, writable target is written in place
};

class StagedFile {
public:
    StagedFile() = default;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    // Removes an uncommitted temporary file.
    ~StagedFile();

    // Checks and locks target and creates the temporary file. Fails without
    // touching anything for a folder, a read-only or unwritable file, or one
    // another process holds a lock on.
    FileStatus open(const std::string& target, NoTemporary noTemporary = NoTemporary::Fail);
    // Like open; on commit the old content of an existing target becomes
    // backupPath (replacing an earlier backup) in the same step. A backup
    // that cannot be made (backupPath is a folder or the target itself, or
    // cannot be written) does not stop the save: backupError() says why.
    FileStatus openWithBackup(const std::string& target, const std::string& backupPath,
                              NoTemporary noTemporary = NoTemporary::Fail);

    // The open temporary file, for writing; -1 when not open or written in place.
    int fd() const { return temp_.get(); }
    // Its name, for a writer that opens files by name (it must write to this
    // same file, not replace it); empty when written in place.
    const std::string& tempPath() const { return tempPath_; }
    // The target as given to open.
    const std::string& target() const { return given_; }
    // Whether the target is written in place (no temporary could be made).
    bool writesInPlace() const { return inPlace_; }
    // Why the backup asked for was not made (code None when it was, or when
    // none was asked for); its path is the backup's.
    const FileError& backupError() const { return backupError_; }

    // For tests: the next temporary files beside a target fail to be
    // created with err (0: created normally again).
    static void failTemporaryForTesting(int err);

    // Appends bytes to the temporary file.
    FileStatus write(std::string_view bytes);
    // Flushes the temporary file to disk, makes the backup, renames it over
    // the target and flushes the folder. On failure the target and any
    // earlier backup are as they were.
    FileStatus commit();
    // Removes the temporary file and releases the target.
    void discard();

private:
    FileStatus prepareTarget(const std::string& target);
    FileStatus createTemp(NoTemporary noTemporary);
    FileStatus commitInPlace();
    void noBackup(FileError why);
    FileStatus keepOldContent(std::string& tempBackup);
    FileStatus copyOldContent(std::string& tempBackup);
    FileStatus fail(FileErrorCode code) const { return FileStatus(code, given_); }
    FileStatus failErrno(int err) const { return ErrnoError(err, given_); }

    std::string given_;   // the target as named by the caller
    std::string path_;    // symbolic links resolved, so the link stays a link
    std::string backup_;  // empty: no backup
    bool exists_ = false; // the target exists (and st_ describes it)
    struct stat st_ { };
    UniqueFd lock_; // holds the exclusive lock on the existing target
    UniqueFd temp_;
    std::string tempPath_;
    bool inPlace_ = false;
    std::string pending_; // the new content, written in place at commit
    FileError backupError_;
};

} // namespace rasmik
