#include "table/RecoveryRecord.h"

#include "text/PosixFile.h"
#include "text/TextFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace rasmik {

namespace {

constexpr std::string_view RecordMagic = "RASMIKR1";
constexpr std::string_view BaseMagic = "RASMIKB1";
constexpr std::int64_t RecordVersion = 1;

std::int64_t NowNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

std::string NewStem()
{
    // The process and the moment: two programs, or one program's two
    // windows, never share a name, and a reused process number never
    // meets its predecessor's record.
    static std::uint64_t serial = 0;
    char name[80];
    std::snprintf(name, sizeof name, "%s%ld-%llx-%llu", RecoveryFilePrefix, static_cast<long>(::getpid()),
                  static_cast<unsigned long long>(NowNs()), static_cast<unsigned long long>(++serial));
    return name;
}

void PutHash(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t GetHash(std::string_view in)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= std::uint64_t{static_cast<unsigned char>(in[static_cast<std::size_t>(i)])} << (8 * i);
    return v;
}

void PutIdentity(EditEncoder& e, const FileIdentity& id)
{
    e.number(id.known ? 1 : 0)
        .number(static_cast<std::int64_t>(id.device))
        .number(static_cast<std::int64_t>(id.inode))
        .number(static_cast<std::int64_t>(id.size))
        .number(id.modifiedNs)
        .number(static_cast<std::int64_t>(id.hash));
}

bool GetIdentity(EditDecoder& d, FileIdentity& id)
{
    std::int64_t known = 0, device = 0, inode = 0, size = 0, hash = 0;
    if (!d.number(known) || !d.number(device) || !d.number(inode) || !d.number(size) || !d.number(id.modifiedNs)
        || !d.number(hash))
        return false;
    id.known = known != 0;
    id.device = static_cast<std::uint64_t>(device);
    id.inode = static_cast<std::uint64_t>(inode);
    id.size = static_cast<std::uint64_t>(size);
    id.hash = static_cast<std::uint64_t>(hash);
    return true;
}

bool SameBytes(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.size == b.size && a.hash == b.hash;
}

// Whether the file at path may no longer be the one known: its place,
// size or time differ. Cheap; a touch alone counts.
bool LooksChanged(const std::string& path, const FileIdentity& known)
{
    struct stat st { };
    if (!known.known || ::stat(path.c_str(), &st) != 0)
        return true;
    const std::int64_t ns = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return static_cast<std::uint64_t>(st.st_dev) != known.device || static_cast<std::uint64_t>(st.st_ino) != known.inode
        || static_cast<std::uint64_t>(st.st_size) != known.size || ns != known.modifiedNs;
}

// The file gives the base as long as it holds what the edits were made on.
bool NeedsBytes(const EditBase& base, const FileIdentity& file)
{
    return !base.emptyGrid && base.bytes
        && (!base.file.known || !SameBytes(base.file, file) || LooksChanged(base.path, file));
}

std::string EncodeHeader(const EditBase& base, const FileIdentity& file, bool withBytes, std::uint64_t bytesHash)
{
    EditEncoder e;
    e.number(RecordVersion).number(NowNs()).number(base.emptyGrid ? 1 : 0).text(base.path).text(base.sheet);
    e.number(base.form.separator).number(base.form.quoted ? 1 : 0);
    e.number(static_cast<std::int64_t>(base.encoding.encoding)).number(base.encoding.byteOrderMark ? 1 : 0);
    const TextEnd& end = base.textEnd;
    e.number(static_cast<std::int64_t>(end.fileBytes))
        .number(end.cut ? 1 : 0)
        .number(static_cast<std::int64_t>(end.cutAt))
        .number(end.halfCharacter ? 1 : 0)
        .number(end.strayByte);
    e.text(base.lineBreak).number(base.lastLineEnded ? 1 : 0).text(base.cellWidths);
    e.number(static_cast<std::int64_t>(base.columnOrder.size()));
    for (const int c : base.columnOrder)
        e.number(c);
    PutIdentity(e, base.file);
    e.number(base.readEncoding ? 1 : 0).number(base.readEncoding ? static_cast<std::int64_t>(*base.readEncoding) : 0);
    e.number(base.readForm ? 1 : 0)
        .number(base.readForm ? base.readForm->separator : 0)
        .number(base.readForm && base.readForm->quoted ? 1 : 0);
    PutIdentity(e, file);
    e.number(withBytes ? 1 : 0)
        .number(static_cast<std::int64_t>(bytesHash))
        .number(withBytes && base.bytes ? static_cast<std::int64_t>(base.bytes->size()) : 0);
    return e.bytes();
}

struct Header {
    std::int64_t writtenNs = 0;
    bool withBytes = false;
    std::uint64_t bytesHash = 0;
    std::int64_t bytesSize = 0;
};

bool DecodeHeader(EditDecoder& d, RecordContent& out, Header& h)
{
    std::int64_t version = 0, flag = 0, n = 0, m = 0;
    std::string_view s;
    if (!d.number(version) || version != RecordVersion || !d.number(h.writtenNs))
        return false;
    EditBase& b = out.base;
    if (!d.number(flag))
        return false;
    b.emptyGrid = flag != 0;
    if (!d.text(s))
        return false;
    b.path.assign(s);
    if (!d.text(s))
        return false;
    b.sheet.assign(s);
    if (!d.number(n) || !d.number(flag))
        return false;
    b.form.separator = static_cast<char>(n);
    b.form.quoted = flag != 0;
    if (!d.number(n) || !d.number(flag) || n < 0 || n > static_cast<std::int64_t>(TextEncoding::Utf16BE))
        return false;
    b.encoding.encoding = static_cast<TextEncoding>(n);
    b.encoding.byteOrderMark = flag != 0;
    std::int64_t fileBytes = 0, cut = 0, cutAt = 0, half = 0, stray = 0;
    if (!d.number(fileBytes) || !d.number(cut) || !d.number(cutAt) || !d.number(half) || !d.number(stray))
        return false;
    b.textEnd.fileBytes = static_cast<std::uint64_t>(fileBytes);
    b.textEnd.cut = cut != 0;
    b.textEnd.cutAt = static_cast<std::uint64_t>(cutAt);
    b.textEnd.halfCharacter = half != 0;
    b.textEnd.strayByte = static_cast<unsigned char>(stray);
    if (!d.text(s))
        return false;
    b.lineBreak.assign(s);
    if (!d.number(flag))
        return false;
    b.lastLineEnded = flag != 0;
    if (!d.text(s))
        return false;
    b.cellWidths.assign(s);
    if (!d.number(n) || n < 0 || n > (1 << 24))
        return false;
    b.columnOrder.resize(static_cast<std::size_t>(n));
    for (int& c : b.columnOrder) {
        if (!d.number(m))
            return false;
        c = static_cast<int>(m);
    }
    if (!GetIdentity(d, b.file))
        return false;
    if (!d.number(flag) || !d.number(n) || n < 0 || n > static_cast<std::int64_t>(TextEncoding::Utf16BE))
        return false;
    if (flag)
        b.readEncoding = static_cast<TextEncoding>(n);
    std::int64_t separator = 0;
    if (!d.number(flag) || !d.number(separator) || !d.number(m))
        return false;
    if (flag)
        b.readForm = TableForm{static_cast<char>(separator), m != 0};
    if (!GetIdentity(d, out.file))
        return false;
    std::int64_t hash = 0;
    if (!d.number(flag) || !d.number(hash) || !d.number(h.bytesSize))
        return false;
    h.withBytes = flag != 0;
    h.bytesHash = static_cast<std::uint64_t>(hash);
    return true;
}

// The record's bytes: its magic, a hash of the rest, then the rest.
FileStatus ReadChecked(const std::string& path, std::string_view magic, std::string& body)
{
    std::string all;
    if (FileStatus read = ReadWholeFile(path, all); !read)
        return read;
    const std::size_t head = magic.size() + 8;
    if (all.size() < head || std::string_view(all).substr(0, magic.size()) != magic
        || GetHash(std::string_view(all).substr(magic.size(), 8)) != HashBytes(std::string_view(all).substr(head)))
        return FileStatus(FileErrorCode::RecordDamaged, path);
    body = all.substr(head);
    return {};
}

void RemoveIfThere(const std::string& path)
{
    ::unlink(path.c_str());
}

// Whether a running program holds the lock file. One that cannot be looked
// at (another user's, in a shared portable folder) counts as held.
bool HeldByProgram(const std::string& lockPath)
{
    UniqueFd lock(OpenFile(lockPath, O_RDONLY));
    if (!lock.valid())
        return errno != ENOENT;
    return ::flock(lock.get(), LOCK_SH | LOCK_NB) != 0;
}

} // namespace

// What the writing thread keeps of its own.
struct RecoveryRecorder::State {
    std::uint64_t generation = ~std::uint64_t{0};
    EditBase base;
    std::string edits;
    FileIdentity file;
    bool modified = false;
    // The base whose bytes are in STEM.base, and their hash.
    std::uint64_t bytesGeneration = ~std::uint64_t{0};
    std::uint64_t bytesHash = 0;
    bool onDisk = false;
    bool wroteWithBytes = false;
    UniqueFd lock;
    std::vector<std::string> takenOver;
};

RecoveryRecorder::RecoveryRecorder(std::string folder, std::chrono::milliseconds delay)
    : folder_(std::move(folder)), stem_(NewStem()), delay_(delay), state_(std::make_unique<State>())
{
    thread_ = std::thread([this] { run(); });
}

RecoveryRecorder::~RecoveryRecorder()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RecoveryRecorder::baseChanged(const EditBase& base)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++generation_;
        base_ = base;
        file_ = base.file;
        pending_.clear();
        restart_ = true;
        dirty_ = true;
        ++told_;
    }
    wake_.notify_all();
}

void RecoveryRecorder::edited(std::string_view edit)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        AppendFramedEdit(pending_, edit);
        dirty_ = true;
        ++told_;
    }
    wake_.notify_all();
}

void RecoveryRecorder::saved(const FileIdentity& file)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        file_ = file;
        dirty_ = true;
        urgent_ = true;
        ++told_;
    }
    wake_.notify_all();
}

void RecoveryRecorder::setModified(bool modified)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (modified_ == modified)
            return;
        modified_ = modified;
        dirty_ = true;
        urgent_ = urgent_ || !modified;
        ++told_;
    }
    wake_.notify_all();
}

void RecoveryRecorder::keepOnExit()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    keep_ = true;
}

void RecoveryRecorder::takeOver(const std::string& stem)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        takenOver_.push_back(stem);
        dirty_ = true;
        ++told_;
    }
    wake_.notify_all();
}

bool RecoveryRecorder::waitWritten(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t want = told_;
    return written_.wait_for(lock, timeout, [&] { return done_ >= want; });
}

FileStatus RecoveryRecorder::lastWrite() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return lastWrite_;
}

void RecoveryRecorder::run()
{
    State& s = *state_;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Wakes for a change, and every second while a record without the
        // base's bytes is kept, to see whether the table's file still holds
        // the base; idle otherwise.
        const auto told = [&] { return stop_ || dirty_; };
        if (s.onDisk && !s.wroteWithBytes)
            wake_.wait_for(lock, std::chrono::seconds(1), told);
        else
            wake_.wait(lock, told);
        if (dirty_ && !stop_ && !urgent_)
            // A moment more gathers the edits of a burst of typing into one write.
            wake_.wait_for(lock, delay_, [&] { return stop_ || urgent_; });
        urgent_ = false;
        if (stop_)
            break;
        const std::uint64_t toldNow = told_;
        const bool changed = dirty_;
        dirty_ = false;
        if (restart_) {
            s.edits.clear();
            restart_ = false;
        }
        s.edits += pending_;
        pending_.clear();
        s.generation = generation_;
        s.base = base_;
        s.file = file_;
        s.modified = modified_;
        for (std::string& stem : takenOver_)
            s.takenOver.push_back(std::move(stem));
        takenOver_.clear();
        lock.unlock();
        // Another program changed the file under the edits: the base's own
        // bytes go beside the record.
        if (changed || (s.onDisk && !s.wroteWithBytes && NeedsBytes(s.base, s.file)))
            write(s);
        lock.lock();
        done_ = std::max(done_, toldNow);
        written_.notify_all();
    }
    const bool keep = keep_;
    for (std::string& stem : takenOver_)
        s.takenOver.push_back(std::move(stem));
    takenOver_.clear();
    // Edits told since the last write still count when the record stays.
    if (keep) {
        if (restart_)
            s.edits.clear();
        s.edits += pending_;
        s.generation = generation_;
        s.base = base_;
        s.file = file_;
        s.modified = modified_;
    }
    lock.unlock();
    if (keep && s.modified)
        write(s);
    else
        removeFiles();
    // A record this one carried on is settled with it.
    for (const std::string& stem : s.takenOver)
        RemoveRecoveryRecord(folder_, stem);
}

void RecoveryRecorder::write(State& s)
{
    if (!s.modified) {
        if (s.onDisk)
            removeFiles();
        return;
    }
    const std::string stem = folder_ + stem_;
    // The lock first: a record is never seen without its program's lock. A
    // program that looked for leftovers between the open and the lock may
    // have taken the file away: then it is made again.
    for (int attempt = 0; !s.lock.valid() && attempt < 5; ++attempt) {
        s.lock.reset(OpenFile(stem + ".lock", O_RDWR | O_CREAT, 0644));
        if (!s.lock.valid())
            break;
        while (::flock(s.lock.get(), LOCK_EX) != 0 && errno == EINTR) { }
        struct stat held { };
        struct stat named { };
        if (::fstat(s.lock.get(), &held) != 0 || ::stat((stem + ".lock").c_str(), &named) != 0
            || held.st_ino != named.st_ino || held.st_dev != named.st_dev)
            s.lock.reset();
    }
    const EditBase& base = s.base;
    const bool withBytes = NeedsBytes(s.base, s.file);
    FileStatus status;
    if (withBytes && s.bytesGeneration != s.generation) {
        const std::string_view bytes = base.bytes->view();
        s.bytesHash = HashBytes(bytes);
        std::string head(BaseMagic);
        PutHash(head, s.bytesHash);
        int piece = 0;
        status = WriteFileAtomic(stem + ".base", [&](std::string_view& out) {
            out = piece++ == 0 ? std::string_view(head) : bytes;
            return piece == 1 ? Piece::More : Piece::Last;
        });
        if (status)
            s.bytesGeneration = s.generation;
    }
    if (status) {
        std::string body = EncodeHeader(base, s.file, withBytes, s.bytesHash);
        body += EditEncoder().text(s.edits).bytes();
        std::string all(RecordMagic);
        PutHash(all, HashBytes(body));
        all += body;
        status = WriteFileAtomic(stem + ".rec", all);
    }
    if (status) {
        s.onDisk = true;
        s.wroteWithBytes = withBytes;
        if (!withBytes && s.bytesGeneration != ~std::uint64_t{0}) {
            RemoveIfThere(stem + ".base");
            s.bytesGeneration = ~std::uint64_t{0};
        }
        for (const std::string& old : s.takenOver)
            RemoveRecoveryRecord(folder_, old);
        s.takenOver.clear();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    lastWrite_ = status;
}

void RecoveryRecorder::removeFiles()
{
    State& s = *state_;
    const std::string stem = folder_ + stem_;
    RemoveIfThere(stem + ".rec");
    RemoveIfThere(stem + ".base");
    s.onDisk = false;
    s.bytesGeneration = ~std::uint64_t{0};
    if (s.lock.valid()) {
        RemoveIfThere(stem + ".lock");
        s.lock.reset();
    }
}

std::vector<FoundRecord> LeftRecords(const std::string& folder)
{
    std::vector<FoundRecord> found;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return found;
    std::vector<std::string> stems;
    std::vector<std::string> others;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (!name.starts_with(RecoveryFilePrefix))
            continue;
        if (name.ends_with(".rec"))
            stems.emplace_back(name.substr(0, name.size() - 4));
        else if (name.ends_with(".lock") || name.ends_with(".base"))
            others.emplace_back(name.substr(0, name.rfind('.')));
    }
    ::closedir(dir);
    // A program that ended while it took its record away leaves the rest of
    // it, which nothing reads: taken away too.
    for (const std::string& stem : others) {
        if (std::find(stems.begin(), stems.end(), stem) != stems.end())
            continue;
        if (HeldByProgram(folder + stem + ".lock"))
            continue;
        RemoveIfThere(folder + stem + ".base");
        RemoveIfThere(folder + stem + ".lock");
    }
    for (const std::string& stem : stems) {
        // A record whose lock another program holds is that program's.
        if (HeldByProgram(folder + stem + ".lock"))
            continue;
        RecordContent content;
        std::string body;
        if (!ReadChecked(folder + stem + ".rec", RecordMagic, body)) {
            // A damaged record is still offered, to be thrown away.
            found.push_back(FoundRecord{stem, {}, {}, 0});
            continue;
        }
        EditDecoder d(body);
        Header h;
        if (!DecodeHeader(d, content, h))
            h.writtenNs = 0;
        found.push_back(FoundRecord{stem, content.base.path, content.base.sheet, h.writtenNs});
    }
    std::sort(found.begin(), found.end(),
              [](const FoundRecord& a, const FoundRecord& b) { return a.writtenNs > b.writtenNs; });
    return found;
}

FileStatus ReadRecoveryRecord(const std::string& folder, const std::string& stem, RecordContent& out)
{
    const std::string path = folder + stem + ".rec";
    std::string body;
    if (FileStatus read = ReadChecked(path, RecordMagic, body); !read)
        return read;
    EditDecoder d(body);
    Header h;
    std::string_view edits;
    out = {};
    if (!DecodeHeader(d, out, h) || !d.text(edits) || !d.atEnd())
        return FileStatus(FileErrorCode::RecordDamaged, path);
    out.edits.assign(edits);
    if (h.withBytes) {
        std::string bytes;
        if (FileStatus read = ReadChecked(folder + stem + ".base", BaseMagic, bytes); !read)
            return FileStatus(FileErrorCode::RecordDamaged, path);
        // The base file's own hash was checked; this one ties it to the record.
        if (HashBytes(bytes) != h.bytesHash || static_cast<std::int64_t>(bytes.size()) != h.bytesSize)
            return FileStatus(FileErrorCode::RecordDamaged, path);
        out.base.bytes = std::make_shared<const ByteBuffer>(std::string_view(bytes));
    }
    return {};
}

RecordFit FitOfRecord(const RecordContent& record, FileIdentity* now)
{
    const EditBase& base = record.base;
    const bool hasBytes = base.bytes != nullptr;
    if (base.emptyGrid)
        return RecordFit::InPlace;
    // A sheet is never written over its workbook: its bytes are the base.
    if (!base.sheet.empty())
        return hasBytes ? RecordFit::InPlace : RecordFit::Unusable;
    FileIdentity known = record.file;
    if (known.known && CheckFileOnDisk(base.path, known, now) == DiskState::Unchanged
        && (hasBytes || SameBytes(record.file, base.file)))
        return RecordFit::InPlace;
    return hasBytes ? RecordFit::Separate : RecordFit::Unusable;
}

std::string RecoveredTablePath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : std::string();
    for (int n = 1;; ++n) {
        const std::string name =
            stem + " (بازیابی" + (n == 1 ? std::string() : " " + std::to_string(n)) + ")" + extension;
        struct stat st { };
        if (::lstat(name.c_str(), &st) != 0 && errno == ENOENT)
            return name;
        if (n > 10000)
            return name;
    }
}

void RemoveRecoveryRecord(const std::string& folder, const std::string& stem)
{
    RemoveIfThere(folder + stem + ".rec");
    RemoveIfThere(folder + stem + ".base");
    RemoveIfThere(folder + stem + ".lock");
}

} // namespace rasmik
