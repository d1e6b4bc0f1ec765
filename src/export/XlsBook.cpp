// .xls (BIFF5 and BIFF8 in an OLE2 compound file). FreeXL reads the cells;
// before it does, the compound file's directory and the workbook stream's
// records are walked here, so that a workbook encrypted with a password is
// said to be so, a sheet that declares more cells than its file could hold
// is refused before FreeXL sets room aside for every declared cell, and the
// cells FreeXL shows as plain numbers (TRUE and FALSE, error values, fixed
// and percent formats) read as a spreadsheet program shows them.

#include "export/CellText.h"
#include "export/WorkbookBooks.h"
#include "text/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rasmik {

namespace {

constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t FreeSector = 0xFFFFFFFF;
// What FreeXL keeps for each declared cell, with its own bookkeeping.
constexpr std::uint64_t FreeXlCellBytes = 24;

std::uint16_t U16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// The streams of an OLE2 compound file, read whole from memory.
class CompoundFile {
public:
    explicit CompoundFile(std::string_view bytes) : file_(bytes) { }

    // Reads the header, the allocation table and the directory; false when
    // the file is no sound compound file.
    bool open()
    {
        if (file_.size() < 512)
            return false;
        const auto* h = reinterpret_cast<const unsigned char*>(file_.data());
        const unsigned shift = U16(h + 30);
        const unsigned miniShift = U16(h + 32);
        if ((shift != 9 && shift != 12) || miniShift != 6 || U16(h + 28) != 0xFFFE)
            return false;
        sector_ = std::size_t{1} << shift;
        sectorCount_ = (file_.size() + sector_ - 1) / sector_; // an upper bound of every chain
        miniCutoff_ = U32(h + 56);
        // The allocation table's sectors: 109 in the header, the rest in a chain.
        std::vector<std::uint32_t> fatSectors;
        const std::uint32_t fatCount = U32(h + 44);
        if (fatCount > sectorCount_)
            return false;
        for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(U32(h + 76 + 4 * i));
        std::uint32_t difat = U32(h + 68);
        for (std::size_t steps = 0; fatSectors.size() < fatCount && difat < EndOfChain; ++steps) {
            const unsigned char* s = sectorAt(difat);
            if (!s || steps > sectorCount_)
                return false;
            for (std::size_t i = 0; i + 1 < sector_ / 4 && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(U32(s + 4 * i));
            difat = U32(s + sector_ - 4);
        }
        for (std::uint32_t f : fatSectors) {
            const unsigned char* s = sectorAt(f);
            if (!s)
                return false;
            for (std::size_t i = 0; i < sector_ / 4; ++i)
                fat_.push_back(U32(s + 4 * i));
        }
        std::string dir;
        if (!chain(U32(h + 48), fat_, dir, std::uint64_t(-1)))
            return false;
        for (std::size_t off = 0; off + 128 <= dir.size(); off += 128) {
            const auto* e = reinterpret_cast<const unsigned char*>(dir.data() + off);
            const std::size_t nameBytes = std::min<std::size_t>(U16(e + 64), 64);
            std::string name;
            for (std::size_t i = 0; i + 1 < nameBytes; i += 2) {
                const std::uint16_t c = U16(e + i);
                if (c == 0)
                    break;
                name += c < 0x80 ? static_cast<char>(c) : '?';
            }
            Entry entry{name, e[66], U32(e + 116), U32(e + 120)};
            if (entry.type == 5)
                root_ = entry;
            entries_.push_back(entry);
        }
        // The small streams live in the root's stream, cut in 64-byte pieces.
        std::string miniFat;
        if (U32(h + 60) < EndOfChain && !chain(U32(h + 60), fat_, miniFat, std::uint64_t(-1)))
            return false;
        for (std::size_t i = 0; i + 4 <= miniFat.size(); i += 4)
            miniFat_.push_back(U32(reinterpret_cast<const unsigned char*>(miniFat.data() + i)));
        return true;
    }

    bool has(std::string_view name) const
    {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.type == 2 && Same(e.name, name); });
    }

    // The stream named name, whole; false when missing or broken.
    bool stream(std::string_view name, std::string& out)
    {
        for (const Entry& e : entries_) {
            if (e.type != 2 || !Same(e.name, name))
                continue;
            if (e.size >= miniCutoff_)
                return chain(e.start, fat_, out, e.size);
            std::string mini;
            if (!chain(root_.start, fat_, mini, std::uint64_t(-1)))
                return false;
            out.clear();
            std::uint32_t s = e.start;
            for (std::size_t steps = 0; out.size() < e.size; ++steps) {
                if (s >= miniFat_.size() || steps > miniFat_.size() || (std::size_t(s) + 1) * 64 > mini.size())
                    return false;
                out.append(mini, std::size_t(s) * 64, 64);
                s = miniFat_[s];
            }
            out.resize(e.size);
            return true;
        }
        return false;
    }

private:
    struct Entry {
        std::string name;
        unsigned char type = 0;
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };

    static bool Same(std::string_view a, std::string_view b)
    {
        return a.size() == b.size()
            && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
    }

    const unsigned char* sectorAt(std::uint32_t n) const
    {
        const std::uint64_t off = (std::uint64_t(n) + 1) * sector_;
        if (n >= EndOfChain - 3 || off + sector_ > file_.size())
            return nullptr;
        return reinterpret_cast<const unsigned char*>(file_.data() + off);
    }

    bool chain(std::uint32_t start, const std::vector<std::uint32_t>& table, std::string& out, std::uint64_t size) const
    {
        out.clear();
        std::uint32_t s = start;
        for (std::size_t steps = 0; s != EndOfChain && out.size() < size; ++steps) {
            const unsigned char* p = sectorAt(s);
            if (!p || steps > sectorCount_ || s >= table.size())
                return false;
            out.append(reinterpret_cast<const char*>(p), sector_);
            s = table[s];
            if (s == FreeSector)
                return false;
        }
        if (size != std::uint64_t(-1)) {
            if (out.size() < size)
                return false;
            out.resize(static_cast<std::size_t>(size));
        }
        return true;
    }

    std::string_view file_;
    std::size_t sector_ = 512;
    std::uint64_t sectorCount_ = 0;
    std::uint32_t miniCutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<Entry> entries_;
    Entry root_;
};

// A cell whose text FreeXL does not give as a spreadsheet shows it.
struct CellNote {
    std::uint32_t row;
    std::uint16_t column;
    std::uint16_t format; // index into BiffFacts::formats; 0: General, or text holds the text
    bool number = false;  // a formula's number, value
    double value = 0;
    std::string text;
};

const char* ErrorText(unsigned code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#N/A";
    }
}

// What the walk of the workbook stream found.
struct BiffFacts {
    bool encrypted = false;
    std::uint64_t declaredCells = 0;
    bool outOfRange = false;
    std::string outOfRangeCell;
    std::vector<NumberFormat> formats{NumberFormat{}}; // [0] unused
    std::vector<std::vector<CellNote>> notes;          // by sheet
};

BiffFacts WalkBiff(std::string_view stream)
{
    BiffFacts facts;
    const auto* p = reinterpret_cast<const unsigned char*>(stream.data());
    const std::size_t size = stream.size();
    bool biff8 = true;
    std::map<int, std::string> codes;
    std::vector<int> xfFormats;
    std::vector<std::uint16_t> xfNote; // index into facts.formats by XF, 0 when plain
    bool globals = true;
    bool seenGlobals = false;
    int depth = 0;
    int sheet = -1;
    auto noteOf = [&](std::uint16_t xf) -> std::uint16_t { return xf < xfNote.size() ? xfNote[xf] : 0; };
    std::vector<std::uint16_t> xfShown; // the same for every format but General, for formulas
    auto add = [&](std::uint32_t row, std::uint16_t col, std::uint16_t format, std::string text) {
        if (sheet >= 0 && depth == 1)
            facts.notes[static_cast<std::size_t>(sheet)].push_back({row, col, format, false, 0, std::move(text)});
    };
    auto numberCell = [&](std::uint32_t row, std::uint16_t col, std::uint16_t xf) {
        if (const std::uint16_t f = noteOf(xf))
            add(row, col, f, {});
    };
    bool pendingString = false;
    std::uint32_t pendingRow = 0;
    std::uint16_t pendingColumn = 0;
    for (std::size_t pos = 0; pos + 4 <= size;) {
        const std::uint16_t type = U16(p + pos);
        const std::size_t len = U16(p + pos + 2);
        const unsigned char* b = p + pos + 4;
        if (pos + 4 + len > size)
            break;
        pos += 4 + len;
        switch (type) {
        case 0x0809: // BOF: the globals, then each sheet (a chart inside a sheet nests)
            if (len >= 4)
                biff8 = U16(b) == 0x0600;
            if (depth++ != 0 || seenGlobals) {
                if (depth == 1) {
                    ++sheet;
                    facts.notes.emplace_back();
                }
                break;
            }
            seenGlobals = true;
            break;
        case 0x000A: // EOF
            if (depth > 0 && --depth == 0 && globals) {
                globals = false;
                // Formats are known now: which XFs need a note.
                for (int id : xfFormats) {
                    const auto it = codes.find(id);
                    const NumberFormat f = it != codes.end() ? NumberFormatOfCode(it->second) : BuiltInNumberFormat(id);
                    const bool shows = f.kind == NumberFormat::Kind::Number || f.kind == NumberFormat::Kind::Percent;
                    if (f.kind != NumberFormat::Kind::General && f.kind != NumberFormat::Kind::Text
                        && facts.formats.size() < 0xFFFF) {
                        facts.formats.push_back(f);
                        const auto at = static_cast<std::uint16_t>(facts.formats.size() - 1);
                        xfNote.push_back(shows ? at : 0);
                        xfShown.push_back(at);
                    } else {
                        xfNote.push_back(0);
                        xfShown.push_back(0);
                    }
                }
            }
            break;
        case 0x002F: facts.encrypted = true; return facts; // FILEPASS: the rest is ciphertext
        case 0x041E:                                       // FORMAT
            if (len >= 3) {
                const int id = U16(b);
                std::string code;
                if (biff8 && len >= 5) {
                    const std::size_t chars = U16(b + 2);
                    const bool wide = b[4] & 1;
                    for (std::size_t i = 0; i < chars && 5 + (i + 1) * (wide ? 2 : 1) <= len; ++i) {
                        const unsigned c = wide ? U16(b + 5 + 2 * i) : b[5 + i];
                        code += c < 0x80 ? static_cast<char>(c) : '?';
                    }
                } else {
                    const std::size_t chars = b[2];
                    for (std::size_t i = 0; i < chars && 3 + i < len; ++i)
                        code += static_cast<char>(b[3 + i]);
                }
                codes[id] = code;
            }
            break;
        case 0x00E0: // XF
            if (len >= 4 && globals)
                xfFormats.push_back(U16(b + 2));
            break;
        case 0x0200: { // DIMENSIONS
            std::uint64_t rows = 0, cols = 0;
            if (biff8 && len >= 14) {
                rows = U32(b + 4);
                cols = U16(b + 10);
            } else if (len >= 8) {
                rows = U16(b + 2);
                cols = U16(b + 6);
            }
            if (rows > XlsMaxRows || cols > XlsMaxColumns) {
                facts.outOfRange = true;
                facts.outOfRangeCell = "R" + std::to_string(rows) + "C" + std::to_string(cols);
            }
            facts.declaredCells += rows * cols;
            break;
        }
        case 0x0205: // BOOLERR
            if (len >= 8)
                add(U16(b), U16(b + 2), 0, b[7] ? ErrorText(b[6]) : (b[6] ? "TRUE" : "FALSE"));
            break;
        case 0x0006: // FORMULA: its last value
            if (len >= 14) {
                const unsigned char* v = b + 6;
                const std::uint16_t row = U16(b), col = U16(b + 2), xf = U16(b + 4);
                if (U16(v + 6) == 0xFFFF) {
                    if (v[0] == 0) {
                        pendingString = true; // the text follows in a STRING record
                        pendingRow = row;
                        pendingColumn = col;
                    } else if (v[0] == 1) {
                        add(row, col, 0, v[2] ? "TRUE" : "FALSE");
                    } else if (v[0] == 2) {
                        add(row, col, 0, ErrorText(v[2]));
                    }
                } else if (sheet >= 0 && depth == 1) {
                    // FreeXL leaves formulas out: their last value.
                    double value = 0;
                    std::memcpy(&value, v, sizeof value);
                    facts.notes[static_cast<std::size_t>(sheet)].push_back(
                        {row, col, xf < xfShown.size() ? xfShown[xf] : std::uint16_t(0), true, value, {}});
                }
            }
            break;
        case 0x0207: // STRING: a formula's text
            if (pendingString && len >= 2) {
                pendingString = false;
                std::string text;
                if (biff8 && len >= 3) {
                    const std::size_t chars = U16(b);
                    const bool wide = b[2] & 1;
                    for (std::size_t i = 0; i < chars && 3 + (i + 1) * (wide ? 2 : 1) <= len; ++i) {
                        char32_t c = wide ? U16(b + 3 + 2 * i) : b[3 + i];
                        if (wide && c >= 0xD800 && c <= 0xDBFF && 3 + (i + 2) * 2 <= len) {
                            const char32_t low = U16(b + 3 + 2 * (i + 1));
                            if (low >= 0xDC00 && low <= 0xDFFF) {
                                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                                ++i;
                            }
                        }
                        AppendUtf8(text, (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c);
                    }
                } else {
                    for (std::size_t i = 0; i < b[0] && 1 + i < len; ++i)
                        AppendUtf8(text, b[1 + i]);
                }
                add(pendingRow, pendingColumn, 0, std::move(text));
            }
            break;
        case 0x0203: // NUMBER
        case 0x027E: // RK
            if (len >= 6)
                numberCell(U16(b), U16(b + 2), U16(b + 4));
            break;
        case 0x00BD: // MULRK: row, first column, (xf, rk) each, last column
            if (len >= 6) {
                const std::uint16_t row = U16(b);
                const std::uint16_t first = U16(b + 2);
                for (std::size_t i = 0; 4 + i * 6 + 6 <= len - 2; ++i)
                    numberCell(row, static_cast<std::uint16_t>(first + i), U16(b + 4 + i * 6));
            }
            break;
        default: break;
        }
    }
    for (auto& n : facts.notes)
        std::stable_sort(n.begin(), n.end(), [](const CellNote& a, const CellNote& b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        });
    return facts;
}

FileStatus FreeXlFailure(int code, const std::string& path)
{
    if (code == FREEXL_INSUFFICIENT_MEMORY)
        return FileStatus(FileErrorCode::NoMemory, path);
    return BookFailure(FileErrorCode::WorkbookDamaged, path, {}, "FreeXL error " + std::to_string(code));
}

struct FreeXlHandle {
    const void* handle = nullptr;
    ~FreeXlHandle()
    {
        if (handle)
            freexl_close(handle);
    }
};

// FreeXL runs in a child process of its own: on crafted files it reads past
// its buffers, and a fault there must end only the child, never the
// program. The child sends what it read through a pipe as messages of a
// kind byte, a length and that many bytes, and ends with Done.
enum Message : char {
    Failed = 'F', // FreeXL's error code
    Protected = 'P',
    DateMode = 'M', // 1904 or 1900
    Name = 'N',     // a sheet's name
    Cell = 'C',     // row, column, FreeXL's type, its value
    Done = 'Z',
};

class MessageWriter {
public:
    explicit MessageWriter(int fd) : fd_(fd) { }
    ~MessageWriter() { flush(); }
    void send(char kind, std::string_view payload)
    {
        const auto size = static_cast<std::uint32_t>(payload.size());
        buffer_ += kind;
        buffer_.append(reinterpret_cast<const char*>(&size), sizeof size);
        buffer_.append(payload);
        if (buffer_.size() >= (std::size_t{1} << 16))
            flush();
    }
    void flush()
    {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(3);
            done += static_cast<std::size_t>(n);
        }
        buffer_.clear();
    }

private:
    int fd_;
    std::string buffer_;
};

template <typename T>
void Put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Take(std::string_view& in)
{
    T value{};
    if (in.size() >= sizeof value) {
        std::memcpy(&value, in.data(), sizeof value);
        in.remove_prefix(sizeof value);
    }
    return value;
}

// Runs job in a child process and hands each of its messages to onMessage
// (false: stop the child). Empty when the child sent Done and ended well,
// else why not.
std::string RunIsolated(const std::function<void(MessageWriter&)>& job,
                        const std::function<bool(char, std::string_view)>& onMessage)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return "no process";
    }
    if (pid == 0) {
        ::close(fds[0]);
        // FreeXL counts every day of a date one by one: minutes of work at
        // worst, never without end.
        const struct rlimit cpu = {600, 600};
        ::setrlimit(RLIMIT_CPU, &cpu);
        // A fault leaves no core file behind.
        const struct rlimit core = {0, 0};
        ::setrlimit(RLIMIT_CORE, &core);
        {
            MessageWriter writer(fds[1]);
            job(writer);
            writer.send(Done, {});
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string reason;
    std::string pending;
    bool done = false;
    char piece[1 << 16];
    for (;;) {
        struct pollfd p {
            fds[0], POLLIN, 0
        };
        // A child that says nothing for two minutes is stuck.
        const int ready = ::poll(&p, 1, 120000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            reason = "the .xls reader stopped answering";
            break;
        }
        const ssize_t n = ::read(fds[0], piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(piece, static_cast<std::size_t>(n));
        std::size_t at = 0;
        bool stop = false;
        while (pending.size() - at >= 5) {
            std::uint32_t size = 0;
            std::memcpy(&size, pending.data() + at + 1, sizeof size);
            if (pending.size() - at - 5 < size)
                break;
            const char kind = pending[at];
            if (kind == Done)
                done = true;
            else if (!onMessage(kind, std::string_view(pending).substr(at + 5, size)))
                stop = true;
            at += 5 + size;
            if (stop)
                break;
        }
        pending.erase(0, at);
        if (stop) {
            reason = "stopped";
            break;
        }
    }
    ::close(fds[0]);
    if (!reason.empty())
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (reason.empty() && (!done || !WIFEXITED(status) || WEXITSTATUS(status) != 0))
        reason = WIFSIGNALED(status)
            ? "the .xls reader failed on this file (signal " + std::to_string(WTERMSIG(status)) + ")"
            : std::string("the .xls reader failed on this file");
    return reason;
}

class XlsBook : public WorkbookBook {
public:
    std::string path;
    BiffFacts facts;
    bool date1904 = false;

    WorkbookKind kind() const override { return WorkbookKind::Xls; }

    FileStatus readSheet(std::size_t index, RowCollector& rows, const ProgressFn& progress) override
    {
        static const std::vector<CellNote> none;
        const std::vector<CellNote>& notes = index < facts.notes.size() ? facts.notes[index] : none;
        std::size_t next = 0;
        std::string shown;
        std::int64_t lastRow = -1;
        int failure = 0;
        bool cancelled = false;
        FileStatus rowFailure;
        const std::string& file = path;
        // The child sends the cells FreeXL has, row by row.
        auto job = [&file, index](MessageWriter& out) {
            FreeXlHandle xl;
            std::string m;
            auto fail = [&](int rc) {
                m.clear();
                Put<std::int32_t>(m, rc);
                out.send(Failed, m);
            };
            if (const int rc = freexl_open(file.c_str(), &xl.handle); rc != FREEXL_OK)
                return fail(rc);
            if (const int rc = freexl_select_active_worksheet(xl.handle, static_cast<unsigned short>(index));
                rc != FREEXL_OK)
                return fail(rc);
            unsigned int height = 0;
            unsigned short width = 0;
            if (const int rc = freexl_worksheet_dimensions(xl.handle, &height, &width); rc != FREEXL_OK)
                return fail(rc);
            for (unsigned int r = 0; r < height; ++r) {
                for (unsigned short c = 0; c < width; ++c) {
                    FreeXL_CellValue cell;
                    if (freexl_get_cell_value(xl.handle, r, c, &cell) != FREEXL_OK || cell.type == FREEXL_CELL_NULL)
                        continue;
                    m.clear();
                    Put<std::uint32_t>(m, r);
                    Put<std::uint16_t>(m, c);
                    Put<std::uint8_t>(m, cell.type);
                    if (cell.type == FREEXL_CELL_INT)
                        Put<std::int32_t>(m, cell.value.int_value);
                    else if (cell.type == FREEXL_CELL_DOUBLE)
                        Put<double>(m, cell.value.double_value);
                    else if (cell.value.text_value)
                        m += cell.value.text_value;
                    out.send(Cell, m);
                }
            }
        };
        // Cells FreeXL leaves out (formulas) come from the notes, in order.
        auto noteCellsUpTo = [&](std::uint32_t row, std::uint16_t column, bool including) {
            while (next < notes.size()
                   && (notes[next].row < row || (notes[next].row == row && notes[next].column < column)
                       || (including && notes[next].row == row && notes[next].column == column))) {
                const CellNote& n = notes[next++];
                shown.clear();
                if (n.number)
                    AppendFormattedNumber(shown, n.value, n.format ? facts.formats[n.format] : NumberFormat{},
                                          date1904);
                else if (n.format == 0)
                    shown = n.text;
                if (!shown.empty() && !addCell(rows, n.row, n.column, shown, lastRow))
                    return false;
            }
            return true;
        };
        auto onMessage = [&](char kind, std::string_view m) {
            if (kind == Failed) {
                failure = Take<std::int32_t>(m);
                return false;
            }
            if (kind != Cell)
                return true;
            const auto r = Take<std::uint32_t>(m);
            const auto c = Take<std::uint16_t>(m);
            const auto type = Take<std::uint8_t>(m);
            if (progress && r != lastRow && (r & 1023) == 0 && !progress(r, XlsMaxRows)) {
                cancelled = true;
                return false;
            }
            if (!noteCellsUpTo(r, c, false))
                return false;
            const CellNote* note =
                next < notes.size() && notes[next].row == r && notes[next].column == c ? &notes[next++] : nullptr;
            shown.clear();
            if (note && (note->number || note->format == 0)) {
                if (note->number)
                    AppendFormattedNumber(shown, note->value,
                                          note->format ? facts.formats[note->format] : NumberFormat{}, date1904);
                else
                    shown = note->text; // TRUE, an error, a formula's text
            } else if (type == FREEXL_CELL_INT) {
                const auto v = Take<std::int32_t>(m);
                if (note)
                    AppendFormattedNumber(shown, v, facts.formats[note->format], false);
                else
                    shown = std::to_string(v);
            } else if (type == FREEXL_CELL_DOUBLE) {
                const auto v = Take<double>(m);
                if (note)
                    AppendFormattedNumber(shown, v, facts.formats[note->format], false);
                else
                    AppendGeneralNumber(shown, v);
            } else if (type == FREEXL_CELL_DATE || type == FREEXL_CELL_DATETIME || type == FREEXL_CELL_TIME) {
                shown = ShortTime(std::string(m));
            } else {
                shown = m;
            }
            return shown.empty() || addCell(rows, r, c, shown, lastRow);
        };
        const std::string reason = RunIsolated(job, onMessage);
        if (rows.failed())
            return rows.status();
        if (cancelled)
            return FileStatus(FileErrorCode::Cancelled, path);
        if (failure != 0)
            return FreeXlFailure(failure, path);
        if (!reason.empty())
            return BookFailure(FileErrorCode::WorkbookDamaged, path, {}, reason);
        if (!noteCellsUpTo(XlsMaxRows, 0, false))
            return rows.status();
        if (lastRow >= 0 && !rows.endRow())
            return rows.status();
        return {};
    }

    static bool addCell(RowCollector& rows, std::uint32_t row, std::uint16_t column, const std::string& text,
                        std::int64_t& lastRow)
    {
        if (row != lastRow) {
            if (lastRow >= 0 && !rows.endRow())
                return false;
            if (!rows.beginRow(row))
                return false;
            lastRow = row;
        }
        return rows.addCell(column, text);
    }

    // FreeXL's "2024-03-20 14:30:00" and "14:30:00" without seconds that are zero.
    static std::string ShortTime(std::string text)
    {
        if (text.size() >= 8 && text.compare(text.size() - 3, 3, ":00") == 0 && text[text.size() - 6] == ':')
            text.resize(text.size() - 3);
        return text;
    }
};

} // namespace

FileStatus OpenXlsBook(const std::string& path, std::unique_ptr<WorkbookBook>& out)
{
    std::string bytes;
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return ErrnoError(errno, path);
        struct stat st { };
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return FileStatus(FileErrorCode::NotRegularFile, path);
        }
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                const int err = got < 0 ? errno : EIO;
                ::close(fd);
                return ErrnoError(err, path);
            }
            done += static_cast<std::size_t>(got);
        }
        ::close(fd);
    }
    CompoundFile cfb(bytes);
    if (!cfb.open())
        return BookFailure(FileErrorCode::WorkbookDamaged, path, {}, "a broken compound file");
    // An encrypted .xlsx or .ods is kept in a compound file as well.
    if (cfb.has("EncryptionInfo") || cfb.has("EncryptedPackage"))
        return FileStatus(FileErrorCode::PasswordProtected, path);
    std::string stream;
    if (!cfb.stream("Workbook", stream) && !cfb.stream("Book", stream)) {
        if (cfb.has("Workbook") || cfb.has("Book"))
            return BookFailure(FileErrorCode::WorkbookDamaged, path, "Workbook", "the stream is cut off");
        return FileStatus(FileErrorCode::NotWorkbook, path);
    }
    auto book = std::make_unique<XlsBook>();
    book->path = path;
    book->fileSize = bytes.size();
    book->facts = WalkBiff(stream);
    if (book->facts.encrypted)
        return FileStatus(FileErrorCode::PasswordProtected, path);
    if (book->facts.outOfRange)
        return BookFailure(FileErrorCode::CellOutOfRange, path, book->facts.outOfRangeCell);
    // FreeXL sets room aside for every declared cell of every sheet.
    const std::uint64_t room = (std::uint64_t{64} << 20) + bytes.size() * 64;
    if (book->facts.declaredCells * FreeXlCellBytes > room) {
        FileError e(FileErrorCode::TooLarge, path);
        e.count = book->facts.declaredCells;
        e.limit = room / FreeXlCellBytes;
        return e;
    }
    bytes.clear();
    bytes.shrink_to_fit();

    int failure = 0;
    bool password = false;
    const std::string reason = RunIsolated(
        [&path](MessageWriter& out) {
            FreeXlHandle xl;
            std::string m;
            if (const int rc = freexl_open_info(path.c_str(), &xl.handle); rc != FREEXL_OK) {
                Put<std::int32_t>(m, rc);
                return out.send(Failed, m);
            }
            unsigned int value = 0;
            if (freexl_get_info(xl.handle, FREEXL_BIFF_PASSWORD, &value) == FREEXL_OK
                && value == FREEXL_BIFF_OBFUSCATED)
                return out.send(Protected, {});
            if (freexl_get_info(xl.handle, FREEXL_BIFF_DATEMODE, &value) == FREEXL_OK) {
                Put<std::uint32_t>(m, value);
                out.send(DateMode, m);
            }
            unsigned int count = 0;
            if (const int rc = freexl_get_info(xl.handle, FREEXL_BIFF_SHEET_COUNT, &count); rc != FREEXL_OK) {
                m.clear();
                Put<std::int32_t>(m, rc);
                return out.send(Failed, m);
            }
            for (unsigned int i = 0; i < count; ++i) {
                const char* name = nullptr;
                if (freexl_get_worksheet_name(xl.handle, static_cast<unsigned short>(i), &name) != FREEXL_OK) {
                    m.clear();
                    Put<std::int32_t>(m, FREEXL_BIFF_ILLEGAL_SHEET_INDEX);
                    return out.send(Failed, m);
                }
                out.send(Name, name ? name : "");
            }
        },
        [&](char kind, std::string_view m) {
            if (kind == Failed)
                failure = Take<std::int32_t>(m);
            else if (kind == Protected)
                password = true;
            else if (kind == DateMode)
                book->date1904 = Take<std::uint32_t>(m) == FREEXL_BIFF_DATEMODE_1904;
            else if (kind == Name)
                book->sheetNames.emplace_back(m);
            return true;
        });
    if (password)
        return FileStatus(FileErrorCode::PasswordProtected, path);
    if (failure != 0)
        return FreeXlFailure(failure, path);
    if (!reason.empty())
        return BookFailure(FileErrorCode::WorkbookDamaged, path, {}, reason);
    if (book->sheetNames.empty())
        return BookFailure(FileErrorCode::WorkbookDamaged, path, {}, "no worksheet");
    out = std::move(book);
    return {};
}

} // namespace rasmik
