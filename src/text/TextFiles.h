#pragma once
// Whole-file reading and writing with a short bounded retry, advisory locks in
// place of sharing modes, and the program's own folder. Helpers report failure
// by their result only; they never throw and never show anything.

#include "text/ByteBuffer.h"
#include "text/FileError.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

constexpr std::chrono::milliseconds RetryWindow{300};
constexpr std::chrono::milliseconds RetryPause{50};

// The clock the retrying helpers measure RetryWindow on, and their pause of
// RetryPause between attempts.
std::chrono::steady_clock::time_point RetryClock();
void PauseBeforeRetry();
// Tests step that time instead of waiting for it: now replaces the clock and
// pause the sleep; an empty function stands for the real one.
struct RetryTime {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> pause;
};
void SetRetryTimeForTesting(RetryTime time);

// Largest file ReadWholeFile reads: a table keeps 32-bit byte offsets
// (equal to TableLines::MaxBytes, which this layer cannot see).
constexpr std::uint64_t MaxFileBytes = 0xFFFFFFFFull;

// Splits bytes into lines at CR LF, lone CR or lone LF; a final line break adds
// no empty line; a NUL byte ends the text.
std::vector<std::string> SplitLines(std::string_view bytes);
// Each line followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// True for a regular file (through symbolic links); folders, devices and
// pipes are not files here.
bool FileIsThere(const std::string& path);
// True for anything at path (through symbolic links): a file, a folder, a
// device or a pipe.
bool PathIsThere(const std::string& path);
// Opens the existing file read-write without blocking: false for a missing,
// read-only (no write permission bit at all, even for the superuser) or
// unwritable file, and for one another process holds under an exclusive lock.
bool CanOpenReadWrite(const std::string& path);

bool LoadLinesRetry(std::vector<std::string>* list, const std::string& path);
bool SaveLinesRetry(const std::vector<std::string>* list, const std::string& path);
std::string LoadTextRetry(const std::string& path, bool dropFinalLineBreak);
bool SaveTextRetry(std::string_view text, const std::string& path);

// Reads the whole file; fails for a missing file, a folder, a file that cannot
// be read, one that another process holds under an exclusive lock (Locked),
// or one larger than MaxFileBytes (TooLarge). bytes is empty on failure.
FileStatus ReadWholeFile(const std::string& path, std::string& bytes);
// The same into a buffer that is not cleared first (for large tables).
FileStatus ReadWholeFile(const std::string& path, ByteBuffer& bytes);

// The bytes of a file handed out piece by piece: the source points piece at
// its next bytes (valid until it is asked again) and answers More, Last (this
// is the last piece) or Stop (cancel: the write fails as Cancelled).
enum class Piece { More, Last, Stop };
using PieceSource = std::function<Piece(std::string_view& piece)>;

// Writes bytes through a StagedFile: path holds either its old or its new
// content, and nothing is left beside it on failure. An existing file that
// may be written, in a folder that takes no new file, is written in place;
// if that write fails its old content is put back (NotRestored when even
// that fails).
FileStatus WriteFileAtomic(const std::string& path, std::string_view bytes);

// Like WriteFileAtomic; when path exists its old content becomes backupPath
// (replacing an earlier backup) before the new content takes its name. When
// path does not exist no backup is made. On failure the target is left as it
// was, and so is any earlier backup unless the failure came after the backup
// was made (it then holds the target's content). A backup that cannot be made (backupPath is a folder or the file
// itself, or cannot be written) does not stop the write: the result is a
// success whose warning() says why, about backupPath.
FileStatus WriteFileWithBackup(const std::string& path, std::string_view bytes, const std::string& backupPath);
// The same with the bytes from a source. A source that stops leaves the
// target and any backup as they were.
// whileLocked (when given) runs once the target is locked, before anything
// is written: a failure it answers ends the write with nothing changed.
using LockedCheck = std::function<FileStatus()>;
FileStatus WriteFileAtomic(const std::string& path, const PieceSource& source, const LockedCheck& whileLocked = {});
FileStatus WriteFileWithBackup(const std::string& path, const PieceSource& source, const std::string& backupPath,
                               const LockedCheck& whileLocked = {});

// The path's folder part, up to and including the last '/'; empty when none.
std::string FolderOf(const std::string& path);

// Whether both paths name one file: equal, or the same device and inode.
bool SameFile(const std::string& a, const std::string& b);
// The path with "//", "/./" and "name/.." taken out, by its letters only.
std::string LexicallyClean(const std::string& path);
// The absolute, lexically clean form of a table's path (relative to the
// working folder). Links are not resolved, except a folder whose ".." would
// otherwise lead to another file.
std::string CleanTablePath(const std::string& path);

// The program's folder for settings and scratch files, with a trailing '/':
// the executable's folder when it is writable, else ~/.local/share/Rasmik/.
const std::string& ExeFolder();
// The executable's own full path.
std::string ExecutablePath();
// For tests: makes ExeFolder() answer folder (with a trailing '/'); an empty
// folder restores the real one.
void SetExeFolderForTesting(const std::string& folder);

} // namespace rasmik
