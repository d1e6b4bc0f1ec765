#pragma once
// The one way the program replaces a file: the new content goes to a
// temporary file beside the target, is flushed to disk and renamed over the
// target, so the target holds either its old or its new content, never half
// of it. While the temporary is written the existing target is checked
// (a regular file, not read-only, writable by us) and held under an
// exclusive advisory lock, and the temporary under one of its own, which
// tells other writers it is not a leftover (those they remove). A replaced
// file keeps its mode, its extended attributes and ACL and, where permitted,
// its owner; a new one gets 0666 less the umask; a symbolic link, dangling
// or not, stays a link to the new content. Whatever is not committed is
// removed, also when SIGTERM, SIGINT or SIGHUP ends the program (see
// RemoveTemporariesOnTermination).
//
// A file with several hard links (that we may read) keeps them: its new
// content is copied over the old one at commit. A writable file in a folder we may not write to
// cannot have a temporary beside it; where the caller allows it, such a file
// is written in place too, its new content held in memory until commit.
// Written in place, a file is flushed, and its old content is put back when
// the write fails.

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
    // that cannot be made (backupPath is a folder, the target's own name or
    // a symbolic link to it, or cannot be written) does not stop the save:
    // backupError() says why. A backup that is a hard link of the target
    // holds the old content already and stays, the target getting a new file.
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
    // the target and flushes the folder. The old content becomes the backup
    // before the new one takes the target's name, so it is always one of
    // them. On failure the target is as it was; so is an earlier backup,
    // unless the very last step failed (then the backup holds the target's
    // content too).
    FileStatus commit();
    // Removes the temporary file and releases the target.
    void discard();

private:
    FileStatus prepareTarget(const std::string& target);
    FileStatus createTemp(NoTemporary noTemporary);
    FileStatus commitInPlace();
    void noBackup(FileError why);
    FileStatus keepOldContent(std::string& tempBackup, int& slot);
    FileStatus copyOldContent(std::string& tempBackup, int& slot);
    void backUpInPlace(const std::string& old);
    FileStatus fail(FileErrorCode code) const { return FileStatus(code, given_); }
    FileStatus failErrno(int err) const { return ErrnoError(err, given_); }

    std::string given_;         // the target as named by the caller
    std::string path_;          // symbolic links resolved, so the link stays a link
    std::string backup_;        // empty: no backup
    bool backupIsLink_ = false; // the backup is a second name of the target: it holds the old content already
    bool exists_ = false;       // the target exists (and st_ describes it)
    struct stat st_ { };
    UniqueFd lock_;     // holds the exclusive lock on the existing target
    bool held_ = false; // the lock was taken (not every file system has locks)
    UniqueFd temp_;
    UniqueFd tempHold_; // keeps the temporary locked once temp_ is closed
    std::string tempPath_;
    int tempSlot_ = -1; // in the table of temporaries to remove on termination
    bool inPlace_ = false;
    std::string pending_; // the new content, written in place at commit
    FileError backupError_;
};

} // namespace rasmik
