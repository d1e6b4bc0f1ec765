#include "table/TableLayout.h"

#include "table/TableForm.h"
#include "table/TextAlphabet.h"
#include "text/StringHelpers.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rasmik {

HeaderBlock ReadHeaderBlock(TableLines& lines)
{
    HeaderBlock h;
    if (lines.empty() || lines.front().substr(0, HeaderMagic.size()) != HeaderMagic)
        return h;
    h.found = true;
    h.lines.emplace_back(lines.front());
    std::string_view rest = lines.front().substr(HeaderMagic.size());
    lines.dropFront(1);
    h.closeOnKey = TakeFlagToken(rest);
    h.panelCount = std::min(MaxHeaderPanels, TakeIntToken(rest, 0));
    for (int i = 0; i < 3 * std::max(h.panelCount, 0); ++i) {
        if (lines.empty()) {
            h.labels.emplace_back();
        } else {
            h.labels.emplace_back(lines.front());
            h.lines.emplace_back(lines.front());
            lines.dropFront(1);
        }
    }
    return h;
}

std::vector<int> ParseCellWidths(std::string_view cellWidths)
{
    std::vector<int> widths;
    while (!cellWidths.empty())
        widths.push_back(TakeIntToken(cellWidths, 0));
    return widths;
}

std::string_view SplitNextField(std::string_view& line, std::string_view& lineWidths, TextEncoding held)
{
    return detail::NextField(line, TakeIntToken(lineWidths, 0), held);
}

void SplitNextField(std::string& line, std::string& lineWidths, std::string& field, TextEncoding held)
{
    std::string_view l = line;
    std::string_view w = lineWidths;
    field = std::string(SplitNextField(l, w, held));
    line = std::string(l);
    lineWidths = std::string(w);
}

int CountFields(std::string_view line, const std::vector<int>& widths, TextEncoding held)
{
    int n = 0;
    ForEachField(line, widths, held, [&](std::string_view) { ++n; });
    return n;
}

namespace {

// Below this many lines a second thread for the cells costs more than it saves.
constexpr std::size_t ThreadedLines = 100000;
// The column count is taken from this many first lines; a later line with
// more fields adds columns afterwards.
constexpr std::size_t SampledLines = 4096;

} // namespace

namespace {

// ForEachField without fixed widths: each TAB-separated field of line.
template <typename F>
void ForEachTabField(std::string_view line, F&& onField)
{
    const char* const data = line.data();
    const std::size_t n = line.size();
    std::size_t start = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: most fields are short, and a call a field costs more than them.
    const __m128i tab = _mm_set1_epi8('\t');
    for (; i + 16 <= n; i += 16) {
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), tab)));
        while (mask) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
            onField(std::string_view(data + start, at - start));
            start = at + 1;
            mask &= mask - 1;
        }
    }
#endif
    for (; i < n; ++i)
        if (data[i] == '\t') {
            onField(std::string_view(data + start, i - start));
            start = i + 1;
        }
    if (start < n)
        onField(std::string_view(data + start, n - start));
}

// In which alphabet a cell's bytes were added up for its quick bound.
enum class SumForm : unsigned char { Bytes, Alphabet, None };

// What each byte adds to a cell's quick bound (TextBounds::quickSumTable):
// the grid's bytes, and for a UTF-8 grid also the Persian alphabet's
// characters, looked up by their UTF-8 sequences.
struct QuickSums {
    // A UTF-8 cell in the alphabet's bytes, made while it is added up.
    struct InAlphabet {
        char bytes[TextBounds::QuickSumLength];
        std::size_t size = 0;
        std::string_view view() const { return {bytes, size}; }
    };
    const std::uint64_t* bytes = nullptr;
    bool utf8 = false;
    const std::uint64_t* alphabet = nullptr; // the Persian alphabet's own sums, by its bytes

    // The sum of a field of at most TextBounds::QuickSumLength bytes, and
    // in which alphabet (None: a character outside the alphabet; Alphabet:
    // the field in the alphabet's bytes is in converted).
    [[gnu::always_inline]] SumForm add(std::string_view field, std::uint64_t& sum, InAlphabet& converted) const
    {
        const auto* b = reinterpret_cast<const unsigned char*>(field.data());
        const std::size_t size = field.size();
        // Two sums, so that the loads do not wait on one addition.
        std::uint64_t s[2] = {0, 0};
        std::size_t i = 0;
        if (!utf8) {
            for (; i + 2 <= size; i += 2) {
                s[0] += bytes[b[i]];
                s[1] += bytes[b[i + 1]];
            }
            if (i < size)
                s[0] += bytes[b[i]];
            sum = s[0] + s[1];
            return SumForm::Bytes;
        }
        // Most UTF-8 cells are ASCII: added up as bytes until a character
        // that is not.
        for (; i + 2 <= size; i += 2) {
            if ((b[i] | b[i + 1]) & 0x80)
                break;
            s[0] += bytes[b[i]];
            s[1] += bytes[b[i + 1]];
        }
        if (i + 1 == size && b[i] < 0x80)
            s[0] += bytes[b[i++]];
        if (i == size) {
            sum = s[0] + s[1];
            return SumForm::Bytes;
        }
        return addInAlphabet(b, size, sum, converted);
    }

    // A UTF-8 cell that is not all ASCII: the whole cell in the alphabet's
    // bytes (as TextAlphabet::fromUtf8 makes them), or in none.
    [[gnu::noinline]] SumForm addInAlphabet(const unsigned char* b, std::size_t size, std::uint64_t& sum,
                                            InAlphabet& converted) const
    {
        std::uint64_t total = 0;
        char* to = converted.bytes;
        if (!TextAlphabet::persian().forEachByteOfUtf8(std::string_view(reinterpret_cast<const char*>(b), size),
                                                       [&](unsigned char byte) {
                                                           *to++ = static_cast<char>(byte);
                                                           total += alphabet[byte];
                                                       }))
            return SumForm::None;
        converted.size = static_cast<std::size_t>(to - converted.bytes);
        sum = total;
        return SumForm::Alphabet;
    }
};

// What a plain layout tells of its cells: nothing.
struct NoCellWatch {
    static std::size_t firstRows(std::size_t) { return 0; }
    template <typename FullySet>
    bool ready(const CoreGrid&, std::size_t, int, FullySet)
    {
        return true;
    }
    void cell(int, int, int, std::string_view) { }
    static const QuickSums* quickSums() { return nullptr; }
    void cellOfSum(int, int, int, std::string_view, std::uint64_t, SumForm, std::string_view) { }
    void cellOf(const CoreGrid&, int, int) { }
    void forget(int) { }
};

// Lays out the cells, telling watch of each cell as it is set: firstRows(n)
// rows are laid out first, then ready() is called once (parts: how many
// threads lay out the rest), and each later cell goes to cell(part, col, row,
// text) while its bytes are at hand; the cells set only after all rows
// (rows laid out again, copied fields) go to cellOf(grid, col, row).
template <typename Watch>
bool LayOutCells(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths, const ProgressFn& progress,
                 Watch& watch)
{
    const TableForm form = lines.form();
    // Fixed widths cut tab-separated tables only.
    const std::vector<int> widths = form.quoted ? std::vector<int>{} : ParseCellWidths(cellWidths);
    const TextEncoding held = lines.heldForm();
    const std::size_t n = lines.size();
    const std::size_t rows = std::max<std::size_t>(1, n);
    if (rows > static_cast<std::size_t>(INT32_MAX))
        return false;
    // Calls onField(view, raw, kind) for each field of a line.
    const bool tabsOnly = !form.quoted && std::all_of(widths.begin(), widths.end(), [](int w) { return w <= 0; });
    const auto cutLine = [&](std::string_view line, auto&& onField) {
        if (form.quoted)
            ForEachQuotedField(line, form.separator, onField);
        else if (tabsOnly)
            ForEachTabField(line, [&](std::string_view field) { onField(field, field, FieldKind::Plain); });
        else
            ForEachField(line, widths, held, [&](std::string_view field) { onField(field, field, FieldKind::Plain); });
    };
    int guess = 1;
    for (std::size_t r = 0; r < std::min(n, SampledLines); ++r)
        guess = std::max(
            guess, form.quoted ? CountQuotedFields(lines[r], form.separator) : CountFields(lines[r], widths, held));
    grid.BeginBuild(lines.buffer(), static_cast<int>(rows), guess);
    grid.SetEncoding(held);
    // A Unicode or a quoted table keeps its fields as read, so that a save
    // can give them back; fixed-width fields are trimmed and so are not as read.
    grid.SetKeepsFields(form.quoted
                        || (held != TextEncoding::Windows1256
                            && std::none_of(widths.begin(), widths.end(), [](int w) { return w > 0; })));
    // A line ending in a TAB ends with an empty field, which a grid that
    // keeps its fields holds too (a quoted form's fields count it already).
    const bool keep = grid.KeepsFields() && !form.quoted;
    const auto emptyLastField = [keep](std::string_view line) { return keep && !line.empty() && line.back() == '\t'; };
    if (n == 0) {
        grid.SetPadCell(0, 0);
        grid.EndBuild(1);
        return true;
    }
    const char* const base = lines.buffer()->data();
    // What an empty field and a cell past the end of a line hold.
    const std::string_view padText = grid.KeepsFields() ? std::string_view() : std::string_view(" ");
    const auto blankText = [&](FieldKind kind) {
        return kind == FieldKind::QuotedEmpty ? std::string_view() : padText;
    };

    std::atomic<bool> stop{false};
    // A field of the first pass whose text is not a view (quotes doubled in
    // it, text after its closing quote): made afterwards, on one thread.
    struct CopyField {
        std::uint32_t row;
        std::uint32_t col;
        std::uint32_t off;
        std::uint32_t len;
    };
    // A row of more such fields is laid out again whole, which holds less.
    constexpr std::size_t MostCopiesOfRow = 4;
    // The bytes of the fields are added up as they are cut, when the watch
    // takes such sums.
    const QuickSums* sums = nullptr;
    // The sum of a pad's text, which every empty field and pad adds.
    std::uint64_t padSum = 0;
    QuickSums::InAlphabet padInAlphabet;
    // Lays out rows [from, to); rows whose cells do not all fit the first
    // pass (more fields than columns, a cell too long) are listed in later,
    // and the other rows' fields to be copied in copies.
    // The rows of the share that the reporting thread lays out, in one go
    // or in two.
    std::pair<std::size_t, std::size_t> reported{0, n};
    // part: the watch's part for the cells, or -1 for none.
    auto layRows = [&](std::size_t from, std::size_t to, std::vector<std::size_t>& later,
                       std::vector<CopyField>& copies, int& most, bool reports, int part) {
        constexpr std::size_t ReportEvery = 1u << 16;
        for (std::size_t r = from; r < to; ++r) {
            if ((r - from) % ReportEvery == ReportEvery - 1) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                // This thread does its share; the other does about as much.
                const std::uint64_t done = std::min<std::uint64_t>(
                    n, (r - reported.first) * n / std::max<std::size_t>(1, reported.second - reported.first));
                if (reports && progress && !progress(done, n)) {
                    stop.store(true);
                    return;
                }
            }
            const std::string_view line = lines[r];
            const int row = static_cast<int>(r);
            grid.SetRowStart(row, static_cast<std::uint32_t>(line.data() - base));
            int col = 0;
            bool again = false;
            const std::size_t rowCopies = copies.size();
            QuickSums::InAlphabet inAlphabet;
            // Inlined into each way of cutting: a call a field costs more
            // than most fields.
            const auto onField = [&](std::string_view field, std::string_view raw, FieldKind kind)
                __attribute__((always_inline))
            {
                if (col >= guess)
                    again = true;
                else if (kind == FieldKind::Copy)
                    copies.push_back({static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(col),
                                      static_cast<std::uint32_t>(raw.data() - base),
                                      static_cast<std::uint32_t>(raw.size())});
                else if (!grid.TrySetSourceCell(col, row, static_cast<std::uint32_t>(field.data() - base),
                                                static_cast<std::uint32_t>(field.size()),
                                                kind == FieldKind::QuotedEmpty))
                    again = true;
                else if (part >= 0 && sums && field.empty()) {
                    const std::string_view blank = blankText(kind);
                    watch.cellOfSum(part, col, row, blank, blank.empty() ? 0 : padSum, SumForm::Bytes, {});
                } else if (part >= 0 && sums) {
                    // The bytes added up while they are at hand.
                    std::uint64_t sum = 0;
                    const SumForm sumForm =
                        field.size() <= TextBounds::QuickSumLength ? sums->add(field, sum, inAlphabet) : SumForm::None;
                    watch.cellOfSum(part, col, row, field, sum, sumForm, inAlphabet.view());
                } else if (part >= 0)
                    watch.cell(part, col, row, field.empty() ? blankText(kind) : field);
                ++col;
            };
            cutLine(line, onField);
            if (emptyLastField(line)) {
                if (col >= guess) {
                    again = true;
                } else {
                    grid.SetEmptyCell(col, row);
                    if (part >= 0)
                        watch.cell(part, col, row, {});
                }
                ++col;
            }
            most = std::max(most, col);
            for (int c = col; c < guess; ++c) {
                grid.SetPadCell(c, row);
                if (part >= 0 && sums)
                    watch.cellOfSum(part, c, row, padText, padSum, SumForm::Bytes, {});
                else if (part >= 0)
                    watch.cell(part, c, row, padText);
            }
            if (again || copies.size() - rowCopies > MostCopiesOfRow) {
                // The whole row is laid out again, its copies with it.
                copies.resize(rowCopies);
                later.push_back(r);
            }
        }
    };

    std::vector<std::size_t> later;
    std::vector<CopyField> copies;
    int most = guess;
    std::vector<std::size_t> laterOther;
    std::vector<CopyField> copiesOther;
    int mostOther = guess;
    const std::size_t head = std::min(n, watch.firstRows(n));
    const bool threaded = n >= ThreadedLines && std::thread::hardware_concurrency() >= 2;
    // The first rows are laid out before the other thread starts: both
    // threads end about together.
    const std::size_t mid = threaded ? head + (n - head) / 2 : n;
    reported = {0, mid};
    if (head > 0) {
        layRows(0, head, later, copies, most, true, -1);
        if (stop.load())
            return false;
        // Rows in order, as both lists are.
        std::size_t nextLater = 0;
        std::size_t nextCopy = 0;
        const auto fullySet = [&](int row) {
            const auto r = static_cast<std::size_t>(row);
            while (nextLater < later.size() && later[nextLater] < r)
                ++nextLater;
            while (nextCopy < copies.size() && copies[nextCopy].row < r)
                ++nextCopy;
            return !(nextLater < later.size() && later[nextLater] == r)
                && !(nextCopy < copies.size() && copies[nextCopy].row == r);
        };
        if (!watch.ready(std::as_const(grid), head, mid < n ? 2 : 1, fullySet))
            return false;
        sums = watch.quickSums();
        if (sums)
            sums->add(padText, padSum, padInAlphabet);
    }
    std::jthread worker;
    bool workerDone = mid == n;
    if (mid < n) {
        try {
            worker = std::jthread([&](std::stop_token leaving) {
                // The caller leaving early (an exception) stops this half too.
                const std::stop_callback stopRows(leaving, [&] { stop.store(true); });
                try {
                    layRows(mid, n, laterOther, copiesOther, mostOther, false, head > 0 ? 1 : -1);
                    workerDone = true;
                } catch (...) {
                    // Its rows are laid out again below.
                }
            });
        } catch (const std::system_error&) {
        }
    }
    layRows(head, mid, later, copies, most, true, head > 0 ? 0 : -1);
    if (worker.joinable())
        worker.join();
    if (stop.load())
        return false;
    if (!workerDone) {
        laterOther.clear();
        copiesOther.clear();
        watch.forget(1);
        reported = {mid, n};
        layRows(mid, n, laterOther, copiesOther, mostOther, true, head > 0 ? 1 : -1);
        if (stop.load())
            return false;
    }
    later.insert(later.end(), laterOther.begin(), laterOther.end());
    copies.insert(copies.end(), copiesOther.begin(), copiesOther.end());
    if (!later.empty() || !copies.empty()) {
        // Lines with more fields, or with cells that need the side table.
        grid.AddColumns(std::max(most, mostOther));
        // Rows in order, as both lists are, so the changed cells are stored
        // in the order of a full second pass.
        std::size_t nextCopy = 0;
        const auto copyUpTo = [&](std::size_t end) {
            for (; nextCopy < copies.size() && copies[nextCopy].row < end; ++nextCopy) {
                const CopyField& f = copies[nextCopy];
                grid.SetCell(static_cast<int>(f.col), static_cast<int>(f.row),
                             UnquoteField(std::string_view(base + f.off, f.len)));
                watch.cellOf(std::as_const(grid), static_cast<int>(f.col), static_cast<int>(f.row));
            }
        };
        for (const std::size_t r : later) {
            copyUpTo(r);
            int col = 0;
            cutLine(lines[r], [&](std::string_view field, std::string_view raw, FieldKind kind) {
                if (kind == FieldKind::Copy)
                    grid.SetCell(col++, static_cast<int>(r), UnquoteField(raw));
                else
                    grid.SetSourceCell(col++, static_cast<int>(r), static_cast<std::uint32_t>(field.data() - base),
                                       static_cast<std::uint32_t>(field.size()), kind == FieldKind::QuotedEmpty);
            });
            if (emptyLastField(lines[r]))
                grid.SetEmptyCell(col, static_cast<int>(r));
            for (int c = 0; c < grid.ColCount(); ++c)
                watch.cellOf(std::as_const(grid), c, static_cast<int>(r));
        }
        copyUpTo(n);
    }
    grid.EndBuild(1);
    return true;
}

} // namespace

bool LayoutGridCells(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths, const ProgressFn& progress)
{
    NoCellWatch none;
    return LayOutCells(grid, lines, cellWidths, progress, none);
}

namespace {

// Up to this many cells every one is measured.
constexpr std::uint64_t DirectlyMeasuredCells = 4096;
// Below this many cells a second thread costs more than it saves.
constexpr std::uint64_t ThreadedCells = 200000;
constexpr int CheckEvery = 1 << 16;
// The rows whose widest cells give each column the width to beat.
constexpr int SampleRows = 1 << 16;
// Candidates of one column on one thread beyond which it is sized on its own.
constexpr std::size_t MaxCandidates = std::size_t{1} << 15;
// The cells of the widest bounds that are taken in order of their bounds.
constexpr std::size_t TopCandidates = 4096;

// What is known of the texts of a column: a bound, or the exact width.
// Keys are views into the grid, which outlives the sizing.
class TextCache {
public:
    struct Entry {
        std::uint64_t hash = 0; // 0: free
        const char* data = nullptr;
        std::size_t size = 0;
        int value = 0;
        bool exact = false;
    };

    void clear()
    {
        slots_.assign(1024, Entry{});
        used_ = 0;
    }

    // The entry of text, made with value v when missing.
    Entry& get(std::string_view text, bool& found)
    {
        if (slots_.empty())
            clear();
        const std::uint64_t h = hashOf(text);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Entry& e = slots_[i];
            if (e.hash == 0) {
                if (2 * (used_ + 1) > slots_.size()) {
                    grow();
                    return get(text, found);
                }
                ++used_;
                e.hash = h;
                e.data = text.data();
                e.size = text.size();
                found = false;
                return e;
            }
            if (e.hash == h && e.size == text.size() && std::memcmp(e.data, text.data(), text.size()) == 0) {
                found = true;
                return e;
            }
        }
    }

private:
    static std::uint64_t hashOf(std::string_view s)
    {
        std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            std::uint64_t x;
            std::memcpy(&x, s.data() + i, 8);
            h = (h ^ x) * 0xBF58476D1CE4E5B9ull;
            h ^= h >> 29;
        }
        std::uint64_t tail = 0;
        if (i < s.size())
            std::memcpy(&tail, s.data() + i, s.size() - i);
        h = (h ^ tail) * 0x94D049BB133111EBull;
        h ^= h >> 32;
        return h ? h : 1;
    }

    void grow()
    {
        std::vector<Entry> old;
        old.swap(slots_);
        slots_.assign(old.size() * 2, Entry{});
        const std::size_t mask = slots_.size() - 1;
        for (const Entry& e : old) {
            if (e.hash == 0)
                continue;
            std::size_t i = e.hash & mask;
            while (slots_[i].hash != 0)
                i = (i + 1) & mask;
            slots_[i] = e;
        }
    }

    std::vector<Entry> slots_;
    std::size_t used_ = 0;
};

// A huge cell (a whole file on one line) would take seconds to measure;
// once its beginning alone is far wider than the cap, the column is the cap
// wide whatever the rest holds. The margin covers the different form the
// last letter of the beginning may take.
template <typename Measure>
int CappedWidth(std::string_view text, bool unicode, int cap, Measure measure)
{
    constexpr std::size_t LongText = 4096;
    constexpr int Margin = 64;
    if (text.size() > LongText) {
        const int head =
            measure(CutAtCharacter(text, LongText, unicode ? TextEncoding::Utf8 : TextEncoding::Windows1256));
        if (head > cap + Margin)
            return head;
    }
    return measure(text);
}

// A small table's cells are simply measured, each distinct text once: the
// font's bounds would cost more than all of them.
std::vector<int> MeasureEveryCell(const CoreGrid& grid, const TextMetrics& metrics, int cap)
{
    const bool unicode = grid.Encoding() != TextEncoding::Windows1256;
    std::vector<int> widths;
    std::unordered_map<std::string_view, int> seen;
    for (int c = 0; c < grid.ColCount(); ++c) {
        int w = MinColumnWidth;
        seen.clear();
        for (int r = 0; r < grid.RowCount() && w < cap; ++r) {
            const std::string_view text = grid.Cell(c, r);
            auto [it, added] = seen.try_emplace(text, 0);
            if (added)
                it->second = CappedWidth(text, unicode, cap, [&](std::string_view t) {
                    return unicode ? metrics.utf8TextWidth(t) : metrics.textWidth(t);
                });
            w = std::max(w, it->second);
        }
        widths.push_back(std::min(w, cap));
    }
    return widths;
}

// A cell that may be wider than its column's width so far.
struct RowBound {
    std::uint32_t row;
    std::uint32_t bound;
};

// Sizes columns one after the other for one thread.
class ColumnSizer {
public:
    // alphabetBounds: for the texts of a UTF-8 grid in the Persian alphabet.
    ColumnSizer(const CoreGrid& grid, const TextBounds& textBounds, const TextBounds* alphabetBounds, int cap,
                TextMeasurer& measurer)
        : grid_(grid)
        , textBounds_(textBounds)
        , alphabetBounds_(alphabetBounds)
        , cap_(cap)
        , measurer_(measurer)
        , utf8_(grid.Encoding() != TextEncoding::Windows1256)
    {
    }

    // The column's width, or -1 when stopped.
    int width(int col, const std::atomic<bool>& stop)
    {
        const int rows = grid_.RowCount();
        int w = MinColumnWidth;
        if (w >= cap_)
            return cap_;
        // Bounds above the cap all count the same: the cap ends the search.
        const std::uint32_t ceiling = static_cast<std::uint32_t>(std::min(cap_, 65534)) + 1;
        bounds_.resize(static_cast<std::size_t>(rows));
        std::uint32_t maxBound = 0;
        int maxRow = 0;
        // Quick bounds first: most cells are ruled out by them once the
        // widest is measured, the rest get the tighter bounds.
        for (int r = 0; r < rows; ++r) {
            if ((r & (CheckEvery - 1)) == 0 && stop.load(std::memory_order_relaxed))
                return -1;
            const std::uint32_t b = std::min(quickBoundOf(grid_.Cell(col, r)), ceiling);
            bounds_[static_cast<std::size_t>(r)] = static_cast<std::uint16_t>(b);
            if (b > maxBound) {
                maxBound = b;
                maxRow = r;
            }
        }
        if (below(maxBound, w))
            return w;
        // The cell of the widest bound first: its width rules out most others.
        cache_.clear();
        w = std::max(w, exactWidth(grid_.Cell(col, maxRow)));
        if (w >= cap_)
            return cap_;
        maxBound = 0;
        for (int r = 0; r < rows; ++r) {
            if ((r & (CheckEvery - 1)) == 0 && stop.load(std::memory_order_relaxed))
                return -1;
            std::uint16_t& b = bounds_[static_cast<std::size_t>(r)];
            if (!below(b, w))
                b = static_cast<std::uint16_t>(
                    std::min<std::uint32_t>(b, std::min(boundOf(grid_.Cell(col, r)), ceiling)));
            maxBound = std::max<std::uint32_t>(maxBound, b);
        }

        // The widest bounds first, sorted: they settle the width soonest.
        const std::uint32_t low = static_cast<std::uint32_t>(w) + 1;
        if (maxBound < low)
            return w;
        counts_.assign(maxBound - low + 1, 0);
        for (int r = 0; r < rows; ++r) {
            const std::uint32_t b = bounds_[static_cast<std::size_t>(r)];
            if (b >= low)
                ++counts_[b - low];
        }
        std::uint32_t top = maxBound + 1; // rows with bounds from top up are sorted
        std::size_t taken = 0;
        while (top > low && taken + counts_[top - 1 - low] <= TopCandidates) {
            --top;
            taken += counts_[top - low];
        }
        order_.clear();
        for (int r = 0; r < rows; ++r)
            if (bounds_[static_cast<std::size_t>(r)] >= top)
                order_.push_back(static_cast<std::uint32_t>(r));
        std::sort(order_.begin(), order_.end(), [this](std::uint32_t x, std::uint32_t y) {
            return bounds_[x] > bounds_[y] || (bounds_[x] == bounds_[y] && x < y);
        });
        for (const std::uint32_t r : order_) {
            if (below(bounds_[r], w) || w >= cap_)
                return std::min(w, cap_);
            w = consider(col, static_cast<int>(r), w);
        }
        // The rest in row order, which reads the table's bytes front to back.
        for (int r = 0; r < rows && w < cap_; ++r) {
            if ((r & (CheckEvery - 1)) == 0 && stop.load(std::memory_order_relaxed))
                return -1;
            const std::uint32_t b = bounds_[static_cast<std::size_t>(r)];
            if (!below(b, w) && b < top)
                w = consider(col, r, w);
        }
        return std::min(w, cap_);
    }

    std::uint32_t quickBound(std::string_view text) { return quickBoundOf(text); }
    // Whether a cell of this bound cannot be wider than w.
    bool ruledOut(std::uint32_t bound, int w) const { return below(bound, w); }

    // For the pass over the rows: a cell's bound when it may be wider than
    // w, else 0 (the quick bound first, the tighter one only when needed).
    std::uint32_t boundAbove(std::string_view text, int w, std::uint32_t ceiling)
    {
        const Form form = formOf(text); // converted once for both bounds
        const std::uint32_t q = std::min(quickBoundOf(form, text), ceiling);
        if (below(q, w))
            return 0;
        const std::uint32_t b = std::min(q, std::min(boundOf(form, text), ceiling));
        return below(b, w) ? 0 : b;
    }

    // The exact width of the text, as far as the cap.
    int measured(std::string_view text)
    {
        cache_.clear();
        return std::min(exactWidth(text), cap_);
    }

    // The column's width from w, given every cell that may be wider (its
    // row and bound), widest bound first.
    int widthOfCandidates(int col, int w, std::vector<RowBound>& candidates)
    {
        std::sort(candidates.begin(), candidates.end(), [](const RowBound& x, const RowBound& y) {
            return x.bound > y.bound || (x.bound == y.bound && x.row < y.row);
        });
        cache_.clear();
        for (const RowBound& c : candidates) {
            if (below(c.bound, w) || w >= cap_)
                break;
            w = consider(col, static_cast<int>(c.row), w);
        }
        return std::min(w, cap_);
    }

private:
    // Whether a cell of this stored bound cannot be wider than w. Bounds are
    // kept in 16 bits: the largest value stands for any larger bound too.
    bool below(std::uint32_t bound, int w) const
    {
        return bound <= static_cast<std::uint32_t>(w) && (bound < 65535 || cap_ < 65535);
    }

    // How a cell of a UTF-8 grid is bounded and measured: ASCII as it is;
    // text whose every character is in the Persian alphabet bounded in that
    // form and measured from its UTF-8; text whose every character has its
    // Windows-1256 byte through that form (the same characters, so the same
    // drawing); anything else only exactly from its UTF-8.
    enum class Form { Bytes, Alphabet, Converted, Unicode };
    Form formOf(std::string_view text)
    {
        if (!utf8_)
            return Form::Bytes;
        bool ascii = true;
        for (const char c : text)
            if (static_cast<unsigned char>(c) >= 0x80) {
                ascii = false;
                break;
            }
        if (ascii)
            return Form::Bytes;
        if (alphabetBounds_ && TextAlphabet::persian().fromUtf8(text, converted_))
            return Form::Alphabet;
        return Utf8ToCp1256Exactly(text, converted_) ? Form::Converted : Form::Unicode;
    }

    std::uint32_t boundOf(std::string_view text) { return boundOf(formOf(text), text); }
    std::uint32_t boundOf(Form form, std::string_view text) { return boundIn(form, text, &TextBounds::bound); }
    std::uint32_t quickBoundOf(std::string_view text) { return quickBoundOf(formOf(text), text); }
    std::uint32_t quickBoundOf(Form form, std::string_view text)
    {
        return boundIn(form, text, &TextBounds::quickBound);
    }

    // The text's bound in its form, by one of TextBounds' bounds.
    std::uint32_t boundIn(Form form, std::string_view text, std::uint32_t (TextBounds::*bound)(std::string_view) const)
    {
        switch (form) {
        case Form::Bytes: return (textBounds_.*bound)(text);
        case Form::Alphabet: return (alphabetBounds_->*bound)(converted_);
        case Form::Converted: return (textBounds_.*bound)(converted_);
        case Form::Unicode: break;
        }
        return UINT32_MAX;
    }

    int measurerBound(std::string_view text)
    {
        switch (formOf(text)) {
        case Form::Bytes: return measurer_.bound(text);
        case Form::Converted: return measurer_.bound(converted_);
        case Form::Alphabet:
        case Form::Unicode: break;
        }
        return INT_MAX;
    }

    // The width so far after looking at one more cell.
    int consider(int col, int row, int w)
    {
        const std::string_view text = grid_.Cell(col, row);
        bool found = false;
        TextCache::Entry& e = cache_.get(text, found);
        if (!found)
            e.value = measurerBound(text);
        if (!e.exact) {
            if (e.value <= w)
                return w;
            e.value = cappedWidth(text);
            e.exact = true;
        }
        return std::max(w, e.value);
    }

    int exactWidth(std::string_view text)
    {
        bool found = false;
        TextCache::Entry& e = cache_.get(text, found);
        if (!e.exact) {
            e.value = cappedWidth(text);
            e.exact = true;
        }
        return e.value;
    }

    int cappedWidth(std::string_view text)
    {
        switch (formOf(text)) {
        case Form::Bytes: return cappedWidth(text, false);
        case Form::Converted: return cappedWidth(converted_, false);
        case Form::Alphabet:
        case Form::Unicode: break;
        }
        return cappedWidth(text, true);
    }

    int cappedWidth(std::string_view text, bool unicode)
    {
        return CappedWidth(text, unicode, cap_,
                           [&](std::string_view t) { return unicode ? measurer_.utf8Width(t) : measurer_.width(t); });
    }

    const CoreGrid& grid_;
    const TextBounds& textBounds_;
    const TextBounds* const alphabetBounds_;
    const int cap_;
    TextMeasurer& measurer_;
    const bool utf8_;
    std::string converted_; // the Persian alphabet's or Windows-1256 form of the last UTF-8 text
    std::vector<std::uint16_t, LargeAllocator<std::uint16_t>> bounds_;
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> order_;
    TextCache cache_;
};

// The search for every column's exact width: the width each cell must beat,
// raised as cells are seen by one or more threads (parts), the cells that
// may beat it, and the widths from those at the end.
class ColumnWidthSearch {
public:
    ColumnWidthSearch(const CoreGrid& grid, const TextMetrics& metrics, int cap, int parts)
        : grid_(grid)
        , textBounds_(metrics)
        , cap_(cap)
        , ceiling_(static_cast<std::uint32_t>(std::min(cap, 65534)) + 1)
        , cols_(grid.ColCount())
        , result_(static_cast<std::size_t>(cols_), -1)
        , crowded_(static_cast<std::size_t>(cols_))
    {
        if (grid.Encoding() != TextEncoding::Windows1256)
            alphabetBounds_.emplace(metrics, TextAlphabet::persian());
        for (int t = 0; t < std::max(1, parts); ++t) {
            auto part = std::make_unique<Part>();
            part->measurer = metrics.measurer();
            part->sizer.emplace(grid, textBounds_, alphabet(), cap, *part->measurer);
            parts_.push_back(std::move(part));
        }
        start_.assign(static_cast<std::size_t>(cols_), MinColumnWidth);
        for (auto& part : parts_)
            forget(*part);
    }

    // The widest-looking cell of each column among the rows [0, rows) that
    // fullySet(row) says hold all their cells, measured: the width the other
    // cells must beat. Before any cell is seen.
    template <typename RowFilter>
    void startFrom(int rows, RowFilter fullySet)
    {
        ColumnSizer& sizer = *parts_[0]->sizer;
        std::vector<std::uint32_t> widest(at(cols_), 0);
        std::vector<int> widestRow(at(cols_), -1);
        for (int r = 0; r < rows; ++r) {
            if (!fullySet(r))
                continue;
            for (int c = 0; c < cols_; ++c)
                if (const std::uint32_t q = sizer.quickBound(grid_.Cell(c, r)); q > widest[at(c)]) {
                    widest[at(c)] = q;
                    widestRow[at(c)] = r;
                }
        }
        for (int c = 0; c < cols_; ++c) {
            if (widestRow[at(c)] >= 0)
                start_[at(c)] = std::max(MinColumnWidth, sizer.measured(grid_.Cell(c, widestRow[at(c)])));
            if (start_[at(c)] >= cap_)
                result_[at(c)] = cap_;
        }
        for (auto& part : parts_)
            forget(*part);
    }

    // Part t looks at cell (col, row), whose text is text: a candidate when
    // it may be wider than the column's width to beat.
    void see(int t, int col, int row, std::string_view text)
    {
        if (col >= cols_ || result_[at(col)] >= 0 || crowded_[at(col)].load(std::memory_order_relaxed))
            return;
        Part& part = *parts_[at(t)];
        offer(part, col, row, part.sizer->boundAbove(text, part.bars[at(col)], ceiling_));
    }

    // The same for a text whose bytes are added up (QuickSums::add) in sum.
    // Most cells end at the first test, on the layout's own path.
    // inAlphabet: for SumForm::Alphabet, the text in the alphabet's bytes.
    [[gnu::always_inline]] void seeSum(int t, int col, int row, std::string_view text, std::uint64_t sum, SumForm form,
                                       std::string_view inAlphabet)
    {
        const std::uint64_t v = TextBounds::QuickSum64(sum);
        if (form == SumForm::None || text.size() > TextBounds::QuickSumLength || v == TextBounds::UnknownSum) {
            see(t, col, row, text); // not bounded by these sums alone
            return;
        }
        if (col >= cols_)
            return;
        // The quick bound, (v + 32) / 64, cannot beat the bar.
        if (v > parts_[at(t)]->sumBars[at(col)])
            seeAboveBar(t, col, row, text, sum, v, form == SumForm::Alphabet ? &inAlphabet : nullptr);
    }

    // A cell whose quick bound may beat its column's bar.
    [[gnu::noinline]] void seeAboveBar(int t, int col, int row, std::string_view text, std::uint64_t sum,
                                       std::uint64_t v, const std::string_view* inAlphabet)
    {
        Part& part = *parts_[at(t)];
        if (result_[at(col)] >= 0 || crowded_[at(col)].load(std::memory_order_relaxed))
            return;
        // The tighter bound, from the last text of these sums when it is the
        // same (a table's values often repeat).
        const int bar = part.bars[at(col)];
        Part::Tight& seen = part.tight[(sum ^ (sum >> 29) ^ text.size()) & (Part::TightSlots - 1)];
        std::uint32_t b;
        if (seen.sum == sum && seen.size == text.size() && std::memcmp(seen.data, text.data(), text.size()) == 0) {
            b = seen.bound;
        } else {
            // A text of letters is first bounded by the sums that take each
            // letter's form from the next byte (one more load a byte, so
            // only for the texts the plain sums leave), then by its forms:
            // in the alphabet's bytes for a UTF-8 text beyond ASCII, else
            // in its bytes.
            const TextBounds& bounds = inAlphabet ? *alphabetBounds_ : textBounds_;
            const std::string_view letters = inAlphabet ? *inAlphabet : text;
            if ((sum >> 24) & 0xFF)
                v = std::min(v,
                             TextBounds::QuickSum64(
                                 TextBounds::PairSum(bounds.quickPairTable(), bounds.nextJoinClass(), letters)));
            b = std::min(static_cast<std::uint32_t>((v + 32) >> 6), ceiling_);
            if (!part.sizer->ruledOut(b, bar))
                b = std::min(b, bounds.bound(letters));
            seen = {sum, text.data(), text.size(), b};
        }
        offer(part, col, row, part.sizer->ruledOut(b, bar) ? 0 : b);
    }

    // The grid's bytes' bounds, and for a UTF-8 grid the Persian
    // alphabet's, whose sums QuickSums adds up.
    const TextBounds& textBounds() const { return textBounds_; }
    const TextBounds* alphabetBounds() const { return alphabet(); }

private:
    struct Part;

    // A cell of this bound (0: ruled out) in part's candidates.
    void offer(Part& part, int col, int row, std::uint32_t b)
    {
        if (b == 0)
            return;
        ColumnSizer& sizer = *part.sizer;
        std::vector<RowBound>& list = part.found[at(col)];
        list.push_back({static_cast<std::uint32_t>(row), b});
        if (list.size() < MaxCandidates)
            return;
        // Too many: the widest-looking of them, measured, raises the bar (a
        // width some cell has), and those below it go.
        const auto widest = std::max_element(list.begin(), list.end(),
                                             [](const RowBound& x, const RowBound& y) { return x.bound < y.bound; });
        int& bar = part.bars[at(col)];
        bar = std::max(bar, sizer.measured(grid_.Cell(col, static_cast<int>(widest->row))));
        const int w = bar;
        part.sumBars[at(col)] = sumBar(col, w);
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [w](const RowBound& x) { return x.bound <= static_cast<std::uint32_t>(w); }),
                   list.end());
        if (w >= cap_ || list.size() > MaxCandidates / 2) {
            crowded_[at(col)].store(true);
            part.sumBars[at(col)] = UINT32_MAX;
            std::vector<RowBound>().swap(list);
        }
    }

    // The largest sum of quick bounds, in 1/64 pixel, that cannot beat w;
    // any sum for a column whose width is known.
    std::uint32_t sumBar(int col, int w) const
    {
        if (result_[at(col)] >= 0)
            return UINT32_MAX;
        return static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t{w} * 64 + 31, UINT32_MAX));
    }

public:
    // Everything part t has seen is to be seen again.
    void forget(int t) { forget(*parts_[at(t)]); }

    // The widths: each column from its candidates, widest bound first; a
    // crowded column, or one added after the search began, sized on its own.
    // Empty when stopped or cancelled.
    std::vector<int> finish(const std::atomic<bool>& stop, const ProgressFn& progress, std::uint64_t total)
    {
        ColumnSizer& sizer = *parts_[0]->sizer;
        std::vector<int> result = result_;
        result.resize(at(grid_.ColCount()), -1);
        std::vector<RowBound> candidates;
        for (int c = 0; c < grid_.ColCount(); ++c) {
            if (result[at(c)] >= 0)
                continue;
            if (c >= cols_ || crowded_[at(c)].load()) {
                result[at(c)] = sizer.width(c, stop);
            } else {
                candidates.clear();
                int w = start_[at(c)];
                for (const auto& part : parts_) {
                    candidates.insert(candidates.end(), part->found[at(c)].begin(), part->found[at(c)].end());
                    w = std::max(w, part->bars[at(c)]);
                }
                result[at(c)] = sizer.widthOfCandidates(c, w, candidates);
            }
            if (result[at(c)] < 0 || (progress && !progress(total, total)))
                return {};
        }
        if (progress && !progress(total, total))
            return {};
        return result;
    }

private:
    struct Part {
        std::unique_ptr<TextMeasurer> measurer;
        std::optional<ColumnSizer> sizer;
        std::vector<std::vector<RowBound>> found; // per column
        std::vector<int> bars;                    // per column: the start, raised as it goes
        std::vector<std::uint32_t> sumBars;       // per column: sumBar of its bar
        // The tighter bounds of texts seen last, by their sums.
        struct Tight {
            std::uint64_t sum = 0;
            const char* data = nullptr;
            std::size_t size = SIZE_MAX;
            std::uint32_t bound = 0;
        };
        static constexpr std::size_t TightSlots = 1024;
        std::vector<Tight> tight = std::vector<Tight>(TightSlots);
    };

    static std::size_t at(int i) { return static_cast<std::size_t>(i); }
    const TextBounds* alphabet() const { return alphabetBounds_ ? &*alphabetBounds_ : nullptr; }
    void forget(Part& part)
    {
        part.found.assign(at(cols_), {});
        part.bars = start_;
        part.sumBars.resize(at(cols_));
        for (int c = 0; c < cols_; ++c)
            part.sumBars[at(c)] = sumBar(c, start_[at(c)]);
    }

    const CoreGrid& grid_;
    const TextBounds textBounds_;
    std::optional<TextBounds> alphabetBounds_;
    const int cap_;
    const std::uint32_t ceiling_;
    const int cols_; // the columns when the search began
    std::vector<int> start_;
    std::vector<int> result_; // known before any cell is seen: the cap
    std::vector<std::atomic<bool>> crowded_;
    std::vector<std::unique_ptr<Part>> parts_;
};

int WidthCap(int gridWidth)
{
    return static_cast<int>(std::lround(0.8 * gridWidth));
}

} // namespace

std::vector<int> ComputeColumnWidths(const CoreGrid& grid, const TextMetrics& metrics, int gridWidth,
                                     const ProgressFn& progress, int threads)
{
    const int cap = WidthCap(gridWidth);
    const int cols = grid.ColCount();
    const std::uint64_t rows = static_cast<std::uint64_t>(grid.RowCount());
    const std::uint64_t total = static_cast<std::uint64_t>(cols) * rows;
    if (threads <= 0 && total <= DirectlyMeasuredCells) {
        std::vector<int> widths = MeasureEveryCell(grid, metrics, cap);
        if (progress && !progress(total, total))
            return {};
        return widths;
    }
    if (threads <= 0)
        threads = total >= ThreadedCells && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    if (!metrics.concurrentMeasurers())
        threads = 1;
    threads = std::max(1, std::min(threads, cols));

    const int rowCount = grid.RowCount();
    ColumnWidthSearch search(grid, metrics, cap, threads);
    search.startFrom(std::min(rowCount, SampleRows), [](int) { return true; });

    // One pass over the rows, in row ranges, one per thread: reading the
    // rows front to back reads the table's bytes once.
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> rowsDone{0};
    auto pass = [&](int t, int first, int last, bool reports) {
        for (int r = first; r < last; ++r) {
            if (((r - first) & (CheckEvery - 1)) == 0 && r != first) {
                rowsDone.fetch_add(CheckEvery);
                if (stop.load(std::memory_order_relaxed))
                    return;
                if (reports && progress && !progress(rowsDone.load() * static_cast<std::uint64_t>(cols), total))
                    stop.store(true);
            }
            for (int c = 0; c < cols; ++c)
                search.see(t, c, r, grid.Cell(c, r));
        }
    };
    {
        const int share = (rowCount + threads - 1) / threads;
        std::vector<std::pair<int, int>> ranges;
        for (int t = 0; t < threads; ++t)
            ranges.emplace_back(std::min(rowCount, t * share), std::min(rowCount, (t + 1) * share));
        // Declared after what they use: whatever happens on this thread, the
        // others are stopped and joined before it goes.
        std::vector<std::jthread> workers;
        std::vector<std::atomic<bool>> finished(static_cast<std::size_t>(threads));
        for (int t = 1; t < threads; ++t) {
            try {
                workers.emplace_back([&, t](std::stop_token leaving) {
                    const std::stop_callback stopRows(leaving, [&stop] { stop.store(true); });
                    try {
                        pass(t, ranges[static_cast<std::size_t>(t)].first, ranges[static_cast<std::size_t>(t)].second,
                             false);
                        finished[static_cast<std::size_t>(t)].store(true);
                    } catch (...) {
                        // Its rows are gone over again by the calling thread below.
                    }
                });
            } catch (const std::system_error&) {
                break; // no more threads to be had
            }
        }
        pass(0, ranges[0].first, ranges[0].second, true);
        finished[0].store(true);
        for (auto& w : workers)
            w.join();
        for (int t = 1; t < threads && !stop.load(); ++t) {
            if (finished[static_cast<std::size_t>(t)].load())
                continue;
            search.forget(t);
            // Seen by the calling thread as that part.
            pass(t, ranges[static_cast<std::size_t>(t)].first, ranges[static_cast<std::size_t>(t)].second, true);
        }
    }
    if (stop.load())
        return {};
    return search.finish(stop, progress, total);
}

namespace {

// Bounds each cell of a large table while the layout has its bytes at hand,
// so that the widths need not read them again: the first rows give the
// widths to beat, every later cell is a candidate or not as it is set.
class WidthWatch {
public:
    WidthWatch(const std::function<const TextMetrics&()>& metrics, int gridWidth)
        : metrics_(metrics), gridWidth_(gridWidth)
    {
    }

    static std::size_t firstRows(std::size_t n) { return n > SampleRows ? SampleRows : 0; }

    template <typename FullySet>
    bool ready(const CoreGrid& grid, std::size_t head, int parts, FullySet fullySet)
    {
        const TextMetrics& metrics = metrics_();
        // Measurers that cannot share the threads: the widths come after the layout.
        if (parts > 1 && !metrics.concurrentMeasurers())
            return true;
        const int rows = static_cast<int>(head);
        std::vector<char> full(head);
        for (int r = 0; r < rows; ++r)
            full[static_cast<std::size_t>(r)] = fullySet(r) ? 1 : 0;
        const auto isFull = [&full](int r) { return full[static_cast<std::size_t>(r)] != 0; };
        search_.emplace(grid, metrics, WidthCap(gridWidth_), parts);
        search_->startFrom(rows, isFull);
        for (int r = 0; r < rows; ++r)
            if (isFull(r))
                for (int c = 0; c < grid.ColCount(); ++c)
                    search_->see(0, c, r, grid.Cell(c, r));
        makeSums(grid.Encoding() != TextEncoding::Windows1256);
        return true;
    }

    void cell(int part, int col, int row, std::string_view text)
    {
        if (search_)
            search_->see(part, col, row, text);
    }
    const QuickSums* quickSums() const { return sums_ ? &*sums_ : nullptr; }
    void cellOfSum(int part, int col, int row, std::string_view text, std::uint64_t sum, SumForm form,
                   std::string_view inAlphabet)
    {
        search_->seeSum(part, col, row, text, sum, form, inAlphabet);
    }
    void cellOf(const CoreGrid& grid, int col, int row)
    {
        if (search_)
            search_->see(0, col, row, grid.Cell(col, row));
    }
    void forget(int part)
    {
        if (search_)
            search_->forget(part);
    }

    std::vector<int> widths(const CoreGrid& grid, const ProgressFn& progress)
    {
        if (!search_)
            return ComputeColumnWidths(grid, metrics_(), gridWidth_, progress);
        const std::atomic<bool> stop{false};
        const std::uint64_t total =
            static_cast<std::uint64_t>(grid.ColCount()) * static_cast<std::uint64_t>(grid.RowCount());
        return search_->finish(stop, progress, total);
    }

private:
    void makeSums(bool utf8)
    {
        QuickSums sums;
        sums.bytes = search_->textBounds().quickSumTable();
        sums.utf8 = utf8;
        if (!sums.bytes)
            return;
        if (utf8) {
            const TextBounds* alphabet = search_->alphabetBounds();
            if (!alphabet || !alphabet->quickSumTable())
                return;
            sums.alphabet = alphabet->quickSumTable();
        }
        sums_ = std::move(sums);
    }

    const std::function<const TextMetrics&()>& metrics_;
    const int gridWidth_;
    std::optional<ColumnWidthSearch> search_;
    std::optional<QuickSums> sums_;
};

} // namespace

bool LayoutGridCellsAndWidths(CoreGrid& grid, const TableLines& lines, std::string_view cellWidths,
                              const std::function<const TextMetrics&()>& metrics, int gridWidth,
                              std::vector<int>& widths, const ProgressFn& cellProgress, const ProgressFn& widthProgress)
{
    WidthWatch watch(metrics, gridWidth);
    if (!LayOutCells(grid, lines, cellWidths, cellProgress, watch))
        return false;
    widths = watch.widths(std::as_const(grid), widthProgress);
    return true;
}

void FinishLayout(CoreGrid& grid, const std::vector<int>& widths, int rowHeight)
{
    for (int c = 0; c < grid.ColCount() && c < static_cast<int>(widths.size()); ++c)
        grid.SetColWidth(c, widths[static_cast<std::size_t>(c)]);
    grid.SetDefaultRowHeight(rowHeight);
    grid.SetFixedRows(grid.RowCount() > 1 ? 1 : 0);
    grid.ClampCursor();
}

} // namespace rasmik
