#include "table/Search.h"

#include "text/StringHelpers.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <stop_token>
#include <system_error>
#include <thread>

namespace rasmik {

namespace {

constexpr std::array<unsigned char, 256> makeFold()
{
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    return t;
}
constexpr std::array<unsigned char, 256> Fold = makeFold();

// Probes are built for many rows at once so that a word is looked for with
// one call over the block instead of one per row.
constexpr std::size_t BlockBytes = 64 * 1024;
// Below this many cells a second thread costs more than it saves.
constexpr long long ThreadedCells = 400000;

const char* findIn(const char* hay, std::size_t hayLen, const std::string& word)
{
    if (word.size() > hayLen)
        return nullptr;
    if (word.size() == 1)
        return static_cast<const char*>(std::memchr(hay, word[0], hayLen));
    return static_cast<const char*>(memmem(hay, hayLen, word.data(), word.size()));
}

constexpr std::uint64_t Ones = 0x0101010101010101ull;
constexpr std::uint64_t Highs = 0x8080808080808080ull;

// Upper-cases the ASCII letters of 8 bytes at once; other bytes stay.
inline std::uint64_t foldWord(std::uint64_t x)
{
    const std::uint64_t high = x & Highs;
    const std::uint64_t low7 = x & ~Highs;
    const std::uint64_t atLeastA = low7 + (0x80 - 'a') * Ones;   // high bit: byte >= 'a'
    const std::uint64_t aboveZ = low7 + (0x80 - 'z' - 1) * Ones; // high bit: byte > 'z'
    const std::uint64_t lower = atLeastA & ~aboveZ & ~high & Highs;
    return x ^ (lower >> 2); // clears 0x20 of every lower-case letter
}

inline bool hasSpace(std::uint64_t x)
{
    const std::uint64_t t = x ^ (0x20 * Ones);
    return ((t - Ones) & ~t & Highs) != 0;
}

// Appends text without spaces and folded; buf grows as needed, len counts the
// bytes in use. Leaves room for two more bytes (a separator).
inline void appendFolded(std::string& buf, std::size_t& len, std::string_view text)
{
    if (len + text.size() + 16 > buf.size())
        buf.resize(std::max(buf.size() * 2, len + text.size() + 16));
    unsigned char* out = reinterpret_cast<unsigned char*>(buf.data()) + len;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::size_t j = 0;
    // Eight bytes at a time while they hold no space (the output never runs
    // ahead of the input, so the 8-byte store stays inside the room made above).
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::memcpy(&x, in + i, 8);
        if (hasSpace(x)) {
            for (std::size_t k = 0; k < 8; ++k) {
                const unsigned char c = in[i + k];
                out[j] = Fold[c];
                j += c != ' ';
            }
        } else {
            x = foldWord(x);
            std::memcpy(out + j, &x, 8);
            j += 8;
        }
    }
    for (; i < n; ++i) {
        const unsigned char c = in[i];
        out[j] = Fold[c];
        j += c != ' ';
    }
    len += j;
}

class RowScanner {
public:
    RowScanner(const CoreGrid& grid, const WordMatcher& matcher)
        : grid_(grid), matcher_(matcher), source_(grid.SourceBytes())
    {
        // Words free of TAB, CR and LF never match across a cell boundary,
        // whatever separates the cells; then one TAB may stand for CR LF,
        // whole lines of the table's buffer can be reduced in one pass, and
        // many rows can be searched as one block.
        const auto& words = matcher.Words();
        blocks_ = std::none_of(words.begin(), words.end(),
                               [](const std::string& w) { return w.find_first_of("\t\r\n") != std::string::npos; });
        buf_.resize(BlockBytes + 4096);
    }

    // First matching row in [from, to), or -1. Gives up early when stop is
    // set. With all, every matching row is added there instead, and -1 returned.
    int scan(int from, int to, const std::atomic<bool>* stop, std::vector<int>* all = nullptr)
    {
        all_ = all;
        return blocks_ ? scanBlocks(from, to, stop) : scanRows(from, to, stop);
    }

private:
    // The row text exactly: every cell followed by CR LF.
    void appendRow(std::size_t& len, int r)
    {
        for (int c = 0; c < grid_.ColCount(); ++c) {
            appendFolded(buf_, len, grid_.Cell(c, r));
            buf_[len++] = '\r';
            buf_[len++] = '\n';
        }
    }

    // The row with a TAB after every cell. Cells that lie side by side with
    // one TAB between them (as laid out from one line) go in one piece.
    void appendRowTabbed(std::size_t& len, int r)
    {
        const char* runStart = nullptr;
        const char* runEnd = nullptr;
        const char* const sourceEnd = source_.data() + source_.size();
        for (int c = 0; c < grid_.ColCount(); ++c) {
            const std::string_view cell = grid_.Cell(c, r);
            // runEnd is read only when the next cell starts one byte after it,
            // so that byte lies between two cells of one buffer.
            if (runStart && cell.data() == runEnd + 1 && *runEnd == '\t') {
                runEnd = cell.data() + cell.size();
                continue;
            }
            // A blank cell where the line has an empty field: the run goes on
            // over that field (the blank's space is not part of the probe).
            if (runStart && cell.size() == 1 && cell[0] == ' ' && runStart >= source_.data() && runEnd + 1 < sourceEnd
                && (cell.data() < source_.data() || cell.data() >= sourceEnd) && runEnd[0] == '\t'
                && runEnd[1] == '\t') {
                ++runEnd;
                continue;
            }
            if (runStart) {
                appendFolded(buf_, len, {runStart, static_cast<std::size_t>(runEnd - runStart)});
                buf_[len++] = '\t';
            }
            runStart = cell.data();
            runEnd = cell.data() + cell.size();
        }
        appendFolded(buf_, len, {runStart, static_cast<std::size_t>(runEnd - runStart)});
        buf_[len++] = '\t';
    }

    int scanRows(int from, int to, const std::atomic<bool>* stop)
    {
        for (int r = from; r < to; ++r) {
            if (stop && (r & 1023) == 0 && stop->load(std::memory_order_relaxed))
                return -1;
            std::size_t len = 0;
            appendRow(len, r);
            if (matcher_.MatchesProbe({buf_.data(), len})) {
                if (!all_)
                    return r;
                all_->push_back(r);
            }
        }
        return -1;
    }

    int scanBlocks(int from, int to, const std::atomic<bool>* stop)
    {
        const auto& words = matcher_.Words();
        const std::string& lead = words.front();
        int r = from;
        while (r < to) {
            if (stop && stop->load(std::memory_order_relaxed))
                return -1;
            const int blockRow = r;
            starts_.clear();
            std::size_t len = 0;
            while (r < to && len < BlockBytes) {
                starts_.push_back(len);
                appendRowTabbed(len, r);
                ++r;
            }
            starts_.push_back(len);

            const char* const base = buf_.data();
            std::size_t pos = 0;
            std::size_t row = 0;
            while (pos < len) {
                const char* hit = findIn(base + pos, len - pos, lead);
                if (!hit)
                    break;
                const auto at = static_cast<std::size_t>(hit - base);
                while (starts_[row + 1] <= at)
                    ++row;
                const std::size_t b = starts_[row];
                const std::size_t e = starts_[row + 1];
                bool all = true;
                for (std::size_t w = 1; w < words.size() && all; ++w)
                    all = findIn(base + b, e - b, words[w]) != nullptr;
                if (all && !all_)
                    return blockRow + static_cast<int>(row);
                if (all)
                    all_->push_back(blockRow + static_cast<int>(row));
                pos = e;
                ++row;
            }
        }
        return -1;
    }

    const CoreGrid& grid_;
    const WordMatcher& matcher_;
    const std::string_view source_;
    bool blocks_ = true;
    std::string buf_;
    std::vector<std::size_t> starts_;
    std::vector<int>* all_ = nullptr;
};

int firstMatch(const CoreGrid& grid, const WordMatcher& matcher, int from, int to)
{
    const long long cells = static_cast<long long>(to - from) * grid.ColCount();
    if (cells < ThreadedCells || std::thread::hardware_concurrency() < 2) {
        RowScanner scanner(grid, matcher);
        return scanner.scan(from, to, nullptr);
    }
    // Two halves at once; the first half's match wins, so the second half
    // stops as soon as the first one has found something.
    const int mid = from + (to - from) / 2;
    std::atomic<bool> firstFound{false};
    int second = -1;
    std::jthread worker;
    try {
        worker = std::jthread([&](std::stop_token leaving) {
            // The caller leaving early (an exception) wants no second half.
            const std::stop_callback stopScan(leaving, [&] { firstFound.store(true, std::memory_order_relaxed); });
            RowScanner scanner(grid, matcher);
            second = scanner.scan(mid, to, &firstFound);
        });
    } catch (const std::system_error&) {
        // No thread to be had: one scan over the whole range.
        RowScanner scanner(grid, matcher);
        return scanner.scan(from, to, nullptr);
    }
    RowScanner scanner(grid, matcher);
    const int first = scanner.scan(from, mid, nullptr);
    if (first >= 0)
        firstFound.store(true, std::memory_order_relaxed);
    worker.join();
    return first >= 0 ? first : second;
}

} // namespace

void AppendProbe(std::string& probe, std::string_view text)
{
    std::size_t len = probe.size();
    appendFolded(probe, len, text);
    probe.resize(len);
}

WordMatcher::WordMatcher(std::string_view query)
{
    if (query.empty())
        return;
    const std::string_view trimmed = TrimSpacesView(query);
    kind_ = Kind::Always;
    std::size_t i = 0;
    while (i < trimmed.size()) {
        if (trimmed[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t j = i;
        std::string word;
        while (j < trimmed.size() && trimmed[j] != ' ')
            word.push_back(static_cast<char>(Fold[static_cast<unsigned char>(trimmed[j++])]));
        words_.push_back(std::move(word));
        i = j;
    }
    if (!words_.empty())
        kind_ = Kind::Words;
    std::stable_sort(words_.begin(), words_.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

bool WordMatcher::MatchesProbe(std::string_view probe) const
{
    if (kind_ != Kind::Words)
        return kind_ == Kind::Always;
    for (const auto& w : words_)
        if (!findIn(probe.data(), probe.size(), w))
            return false;
    return true;
}

bool WordMatcher::Matches(std::string_view text) const
{
    if (kind_ != Kind::Words)
        return kind_ == Kind::Always;
    std::string probe;
    probe.reserve(text.size());
    AppendProbe(probe, text);
    return MatchesProbe(probe);
}

bool MatchesAllWords(std::string_view query, std::string_view text)
{
    return WordMatcher(query).Matches(text);
}

int SearchFrom(const CoreGrid& grid, const std::string& searchText, int startRow)
{
    if (searchText.empty() || grid.RowCount() < 2)
        return std::clamp(grid.Row, 0, grid.RowCount() - 1);
    const WordMatcher matcher(searchText);
    const int from = std::max(startRow, 1);
    if (matcher.MatchesEverything())
        return from < grid.RowCount() ? from : 1;
    if (matcher.MatchesNothing() || from >= grid.RowCount())
        return 1;
    const int found = firstMatch(grid, matcher, from, grid.RowCount());
    return found >= 0 ? found : 1;
}

std::vector<int> MatchingRows(const CoreGrid& grid, const std::string& words)
{
    std::vector<int> rows;
    const int count = grid.RowCount();
    const WordMatcher matcher(words);
    if (count < 2 || matcher.MatchesNothing())
        return rows;
    if (matcher.MatchesEverything()) {
        for (int r = 1; r < count; ++r)
            rows.push_back(r);
        return rows;
    }
    const long long cells = static_cast<long long>(count - 1) * grid.ColCount();
    if (cells < ThreadedCells || std::thread::hardware_concurrency() < 2) {
        RowScanner scanner(grid, matcher);
        scanner.scan(1, count, nullptr, &rows);
        return rows;
    }
    // Two halves at once, each into its own list.
    const int mid = 1 + (count - 1) / 2;
    std::vector<int> second;
    {
        std::jthread worker;
        try {
            worker = std::jthread([&] {
                RowScanner scanner(grid, matcher);
                scanner.scan(mid, count, nullptr, &second);
            });
        } catch (const std::system_error&) {
            RowScanner scanner(grid, matcher);
            scanner.scan(mid, count, nullptr, &second);
        }
        RowScanner scanner(grid, matcher);
        scanner.scan(1, mid, nullptr, &rows);
    }
    rows.insert(rows.end(), second.begin(), second.end());
    return rows;
}

} // namespace rasmik
