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

class RowScanner {
public:
    RowScanner(const CoreGrid& grid, const WordMatcher& matcher)
        : grid_(grid), matcher_(matcher), folding_(matcher.Folding()), source_(grid.SourceBytes())
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
            folding_.appendPart(buf_, len, grid_.Cell(c, r));
            buf_[len++] = '\r';
            buf_[len++] = '\n';
        }
        len = folding_.finishParts(buf_.data(), len);
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
                folding_.appendPart(buf_, len, {runStart, static_cast<std::size_t>(runEnd - runStart)});
                buf_[len++] = '\t';
            }
            runStart = cell.data();
            runEnd = cell.data() + cell.size();
        }
        folding_.appendPart(buf_, len, {runStart, static_cast<std::size_t>(runEnd - runStart)});
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
            len = folding_.finishParts(buf_.data(), len, starts_.data(), starts_.size());

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
    const MatchFolding& folding_;
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

WordMatcher::WordMatcher(std::string_view query, TextEncoding held) : folding_(held)
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
        while (j < trimmed.size() && trimmed[j] != ' ')
            ++j;
        // A word of dropped characters alone (a tatweel) asks for nothing.
        if (std::string word = folding_.fold(trimmed.substr(i, j - i)); !word.empty())
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
    return MatchesProbe(folding_.fold(text));
}

bool MatchesAllWords(std::string_view query, std::string_view text, TextEncoding held)
{
    return WordMatcher(query, held).Matches(text);
}

int SearchFrom(const CoreGrid& grid, const std::string& searchText, int startRow)
{
    if (searchText.empty() || grid.RowCount() < 2)
        return std::clamp(grid.Row, 0, grid.RowCount() - 1);
    const WordMatcher matcher(searchText, grid.Encoding());
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
    const WordMatcher matcher(words, grid.Encoding());
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
