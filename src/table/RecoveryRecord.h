#pragma once
// The recovery record of an open table with unsaved changes, kept in the
// program's folder so that a crash, a kill or a lost session does not take
// the changes with it. It holds the recorded edits and what they start
// from: the table's file, as long as the file still holds what they were
// made on, else the base's own bytes beside it. A background thread writes
// it through the staged writer; the editing thread only hands over a few
// bytes per edit.
//
// Files, for a record named STEM: STEM.rec (the edits), STEM.base (the
// base's bytes, when the file cannot give them) and STEM.lock, locked for
// as long as its program runs, which tells a record left by a program
// that ended from one in use.

#include "table/EditRecord.h"
#include "text/FileError.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rasmik {

inline constexpr const char* RecoveryFilePrefix = "Recovery-";

class RecoveryRecorder final : public EditRecorder {
public:
    // Writes its record into folder (ending in '/'). delay is how long it
    // gathers edits before it writes them.
    explicit RecoveryRecorder(std::string folder, std::chrono::milliseconds delay = std::chrono::milliseconds(150));
    // Removes the record, unless keepOnExit() was called.
    ~RecoveryRecorder() override;
    RecoveryRecorder(const RecoveryRecorder&) = delete;
    RecoveryRecorder& operator=(const RecoveryRecorder&) = delete;

    void baseChanged(const EditBase& base) override;
    void edited(std::string_view edit) override;
    void saved(const FileIdentity& file) override;

    // Whether the table has unsaved changes: only then is a record kept.
    void setModified(bool modified);
    // The program ends without the user being asked about the changes (a
    // session that ended): the record stays for the next start.
    void keepOnExit();
    // A record this one carries on (restored from it): removed once this
    // one is on disk, or when this one goes.
    void takeOver(const std::string& stem);
    // Waits until everything told so far is written; false on timeout.
    bool waitWritten(std::chrono::milliseconds timeout);
    const std::string& stem() const { return stem_; }
    // How the last write went.
    FileStatus lastWrite() const;

private:
    struct State;
    void run();
    void write(State& state);
    void removeFiles();

    const std::string folder_;
    const std::string stem_;
    const std::chrono::milliseconds delay_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    // Told by the editing thread, under mutex_.
    std::uint64_t generation_ = 0;
    EditBase base_;
    std::string pending_;
    bool restart_ = false;
    FileIdentity file_;
    bool modified_ = false;
    bool dirty_ = false;
    // A save or a return to the saved state: the record follows at once,
    // so that a kill just after it leaves no record of edits already saved.
    bool urgent_ = false;
    bool stop_ = false;
    bool keep_ = false;
    std::vector<std::string> takenOver_;
    std::uint64_t told_ = 0;
    std::uint64_t done_ = 0;
    FileStatus lastWrite_;
    std::unique_ptr<State> state_;
    std::thread thread_;
};

// A record whose program has ended.
struct FoundRecord {
    std::string stem;
    std::string tablePath; // empty for the empty grid of a new window
    std::string sheet;
    std::int64_t writtenNs = 0;
};

// The records in folder that no running program keeps, newest first.
std::vector<FoundRecord> LeftRecords(const std::string& folder);

// A record read back.
struct RecordContent {
    EditBase base;
    // What the table's file held when the record was written.
    FileIdentity file;
    std::string edits;
};

// Reads the record; fails (Unreadable) when it is damaged, or when it needs
// its base's bytes and they are gone or damaged.
FileStatus ReadRecoveryRecord(const std::string& folder, const std::string& stem, RecordContent& out);

// How a record can be restored: over its table (the file holds what it
// held when the record was written, or there is no file), as a table of its
// own (the file changed since, and the record has the base's bytes), or not
// at all (the file changed and nothing else can give the base).
enum class RecordFit { InPlace, Separate, Unusable };
// now (when given) receives what the table's file holds now.
RecordFit FitOfRecord(const RecordContent& record, FileIdentity* now = nullptr);

// The name a record restored as a table of its own gets: beside its table,
// one that does not exist yet.
std::string RecoveredTablePath(const std::string& path);

// Takes the record's files away.
void RemoveRecoveryRecord(const std::string& folder, const std::string& stem);

} // namespace rasmik
