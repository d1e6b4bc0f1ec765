#pragma once
// The temporary files the staged writer makes beside a target, named
// ".NAME.XXXXXXXX.tmp": their names, a fixed table of the ones this process
// is writing (so that SIGTERM, SIGINT and SIGHUP can remove them before the
// program ends), and the removal of those that a killed writer left behind.
// A live temporary is held under an exclusive flock for as long as it is
// written, which is how another process tells it from a leftover.

#include <string>
#include <string_view>

#include <sys/stat.h>

namespace rasmik {

// A hidden name beside target that no file has yet, within the name limit.
std::string TemporaryNameBeside(const std::string& target);
// Whether a file name (no folder) has the temporaries' pattern.
bool IsTemporaryName(std::string_view name);

// What a registered temporary holds. On termination new contents are
// removed before backups' second names: a commit renames the backup first,
// so it can never find its backup gone and its new content still there.
enum class TemporaryKind { NewContent, Backup };

// Enters path in the table of temporaries to remove on termination; the
// slot to forget it by, or -1 when the table is full (the file is then left
// to the next writer in its folder). Call while a TerminationHold lives.
int RegisterTemporary(const std::string& path, TemporaryKind kind);
// Takes a slot out of the table (-1 is nothing) and sets it to -1.
void ForgetTemporary(int& slot);

// While one lives, a terminating signal waits: the steps it covers (making
// and registering a temporary, the renames of a commit, a write in place)
// are either done whole or not begun when the program ends.
class TerminationHold {
public:
    TerminationHold();
    ~TerminationHold();
    TerminationHold(const TerminationHold&) = delete;
    TerminationHold& operator=(const TerminationHold&) = delete;
};

// Makes SIGTERM, SIGINT and SIGHUP remove the registered temporaries and then
// end the program as the signal does by default. A signal ignored when this
// is called stays ignored. Call once, early in main.
void RemoveTemporariesOnTermination();

// Removes from folder ("" for the current one, else ending in '/') the
// temporaries that no process holds a lock on, except this process's own.
// ours: a file this process holds locked, whose leftover second names
// (a killed save's backup link) count as held by nobody; or null.
void RemoveStaleTemporaries(const std::string& folder, const struct stat* ours);

// Locks a new temporary so that others see it is being written; false when
// another process holds it (a writer removing it as stale). A file system
// without locks counts as locked: nobody can remove it as stale there.
bool LockNewTemporary(int fd);

} // namespace rasmik
