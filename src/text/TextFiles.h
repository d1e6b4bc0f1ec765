#pragma once
// Whole-file reading and writing with a short bounded retry, advisory locks in
// place of sharing modes, and the program's own folder. Helpers report failure
// by their result only; they never throw and never show anything.

#include "text/ByteBuffer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

constexpr std::chrono::milliseconds RetryWindow{300};
constexpr std::chrono::milliseconds RetryPause{50};

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
// Opens the existing file read-write without blocking: false for a missing,
// read-only (no write permission bit at all, even for the superuser) or
// unwritable file, and for one another process holds under an exclusive lock.
bool CanOpenReadWrite(const std::string& path);

bool LoadLinesRetry(std::vector<std::string>* list, const std::string& path);
bool SaveLinesRetry(const std::vector<std::string>* list, const std::string& path);
std::string LoadTextRetry(const std::string& path, bool dropFinalLineBreak);
bool SaveTextRetry(std::string_view text, const std::string& path);

// Result of an operation whose failure a user may need to read about.
struct FileResult {
    bool ok = false;
    std::string error; // the system's reason, empty when ok
    explicit operator bool() const { return ok; }
};

// Reads the whole file; fails for a missing file, a folder, a file that cannot
// be read, one that another process holds under an exclusive lock ("locked by
// another program"), or one larger than MaxFileBytes ("too large"). bytes is
// empty on failure.
FileResult ReadWholeFile(const std::string& path, std::string& bytes);
// The same into a buffer that is not cleared first (for large tables).
FileResult ReadWholeFile(const std::string& path, ByteBuffer& bytes);

// The bytes of a file handed out piece by piece: the source points piece at
// its next bytes (valid until it is asked again) and answers More, Last (this
// is the last piece) or Stop (cancel: the write fails with CancelledReason).
enum class Piece { More, Last, Stop };
using PieceSource = std::function<Piece(std::string_view& piece)>;
inline constexpr const char* CancelledReason = "cancelled";

// Writes bytes to a temporary file in the target's folder, flushes it to disk
// and renames it over path, so path holds either its old or its new content;
// the temporary file is removed on failure. Holds an exclusive lock on the
// existing target while it writes. A replaced file keeps its mode (a new one
// gets 0666 less the umask); a symbolic link stays a link to the new content.
// Fails without touching anything for a folder, a read-only or unwritable
// file, or one another process holds a lock on.
FileResult WriteFileAtomic(const std::string& path, std::string_view bytes);

// Like WriteFileAtomic; when path exists its old content becomes backupPath
// (replacing an earlier backup) in the same step. When path does not exist no
// backup is made. On failure the target and any earlier backup are left as
// they were; a backupPath that is a folder or the file itself is a failure.
FileResult WriteFileWithBackup(const std::string& path, std::string_view bytes,
                               const std::string& backupPath);
// The same with the bytes from a source. A source that stops leaves the
// target and any backup as they were.
FileResult WriteFileAtomic(const std::string& path, const PieceSource& source);
FileResult WriteFileWithBackup(const std::string& path, const PieceSource& source, const std::string& backupPath);

// The program's folder for settings and scratch files, with a trailing '/':
// the executable's folder when it is writable, else ~/.local/share/Rasmik/.
const std::string& ExeFolder();
// The executable's own full path.
std::string ExecutablePath();
// For tests: makes ExeFolder() answer folder (with a trailing '/'); an empty
// folder restores the real one.
void SetExeFolderForTesting(const std::string& folder);

} // namespace rasmik
