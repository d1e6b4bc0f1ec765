#include "table/TableLines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rasmik {

namespace {
constexpr std::uint64_t ProgressStep = 8u << 20; // report every 8 MB

// The lines of a text whose every break is LF or CR LF and which holds no
// NUL, in one pass, sixteen bytes at a time: each line's start in starts,
// where the last line ends in lastEnd, and the first break (empty: none).
// Nothing is known (false, starts then holds anything) when a NUL or a lone
// CR comes up; cancelled when progress answers false.
template <typename Offsets>
bool FindPlainLines(const char* base, std::size_t n, Offsets& starts, std::uint32_t& lastEnd,
                    std::string_view& firstBreak, const ProgressFn& progress, bool& cancelled)
{
#if defined(__SSE2__)
    std::size_t nextReport = ProgressStep;
    std::size_t i = 0;
    // Whether the last byte of the block before was a CR.
    unsigned crBefore = 0;
    firstBreak = {};
    starts.push_back(0);
    const auto lineAfter = [&](std::size_t lf) {
        if (firstBreak.empty())
            firstBreak = lf > 0 && base[lf - 1] == '\r' ? "\r\n" : "\n";
        if (lf + 1 < n)
            starts.push_back(static_cast<std::uint32_t>(lf + 1));
    };
    const __m128i lfs = _mm_set1_epi8('\n');
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i nuls = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
        auto lf = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, lfs)));
        const auto cr = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, crs)));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, nuls)) != 0)
            return false;
        // Each CR right before an LF, across blocks too.
        if (((cr << 1) | crBefore) & ~lf & 0xFFFF)
            return false;
        crBefore = cr >> 15;
        while (lf) {
            lineAfter(i + static_cast<std::size_t>(std::countr_zero(lf)));
            lf &= lf - 1;
        }
        if (progress && i >= nextReport) {
            nextReport = i + ProgressStep;
            if (!progress(i, n)) {
                cancelled = true;
                return false;
            }
        }
    }
    for (; i < n; ++i) {
        const char c = base[i];
        if (c == '\0' || (crBefore && c != '\n'))
            return false;
        crBefore = c == '\r';
        if (c == '\n')
            lineAfter(i);
    }
    if (crBefore)
        return false; // a CR at the very end is a lone one
    // The last line ends at its break, or at the end of the text.
    if (n > 0 && base[n - 1] == '\n')
        lastEnd = static_cast<std::uint32_t>(n >= 2 && base[n - 2] == '\r' ? n - 2 : n - 1);
    else
        lastEnd = static_cast<std::uint32_t>(n);
    if (n == 0)
        starts.clear();
    return true;
#else
    (void)base;
    (void)n;
    (void)starts;
    (void)lastEnd;
    (void)firstBreak;
    (void)progress;
    (void)cancelled;
    return false;
#endif
}
} // namespace

TableLines::TableLines()
{
    static const auto emptyBuffer = std::make_shared<const ByteBuffer>();
    static const auto emptyIndex = std::make_shared<const Index>();
    buffer_ = emptyBuffer;
    index_ = emptyIndex;
}

bool TableLines::FromBytes(ByteBuffer bytes, TableLines& out, const ProgressFn& progress, TableForm form)
{
    // Most tables: one pass finds every line, and finds no NUL to cut at.
    if (!form.quoted && bytes.size() <= MaxBytes) {
        auto index = std::make_shared<Index>();
        index->starts.reserve(bytes.size() / 64 + 1);
        std::uint32_t lastEnd = 0;
        std::string_view firstBreak;
        bool cancelled = false;
        if (FindPlainLines(bytes.data(), bytes.size(), index->starts, lastEnd, firstBreak, progress, cancelled)) {
            TableLines t;
            if (!firstBreak.empty())
                t.setLineForm(firstBreak, true);
            t.lastLineEnded_ = !bytes.empty() && bytes.data()[bytes.size() - 1] == '\n';
            t.form_ = form;
            index->lastEnd = lastEnd;
            t.buffer_ = std::make_shared<const ByteBuffer>(std::move(bytes));
            t.index_ = std::move(index);
            out = std::move(t);
            return true;
        }
        if (cancelled)
            return false;
    }
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size()))
        bytes.truncate(static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
    if (bytes.size() > MaxBytes)
        bytes.truncate(MaxBytes);

    auto index = std::make_shared<Index>();
    const char* const base = bytes.data();
    const std::size_t n = bytes.size();
    const std::string_view all(base, n);
    // A rough guess of the line count saves most reallocations.
    index->starts.reserve(n / 64 + 1);

    std::size_t pos = 0;
    std::size_t nextReport = ProgressStep;
    bool unclosed = false;
    const char* cr = static_cast<const char*>(std::memchr(base, '\r', n));
    const char* lf = static_cast<const char*>(std::memchr(base, '\n', n));
    // The first break found is the file's own (in a quoted form, the first
    // outside quotes).
    const char* first = nullptr;
    while (pos < n) {
        // Breaks are looked for from scan on; in a quoted form a quote that
        // opens a field moves scan past its closing quote.
        std::size_t scan = pos;
        const char* brk;
        std::size_t end;
        for (;;) {
            if (cr && cr < base + scan)
                cr = static_cast<const char*>(std::memchr(base + scan, '\r', n - scan));
            if (lf && lf < base + scan)
                lf = static_cast<const char*>(std::memchr(base + scan, '\n', n - scan));
            brk = !cr ? lf : !lf ? cr : (cr < lf ? cr : lf);
            end = brk ? static_cast<std::size_t>(brk - base) : n;
            if (!form.quoted)
                break;
            // Only a quote at the start of a field opens quoting.
            const char* q = static_cast<const char*>(std::memchr(base + scan, '"', end - scan));
            while (q && q != base + pos && q[-1] != form.separator)
                q = static_cast<const char*>(std::memchr(q + 1, '"', static_cast<std::size_t>(base + end - q - 1)));
            if (!q)
                break;
            const std::size_t close = ClosingQuote(all, static_cast<std::size_t>(q - base) + 1);
            if (close == std::string_view::npos) {
                unclosed = true;
                brk = nullptr;
                end = n;
                break;
            }
            scan = close + 1;
            if (progress && scan >= nextReport) {
                nextReport = scan + ProgressStep;
                if (!progress(scan, n))
                    return false;
            }
        }
        if (brk && !first)
            first = brk;
        index->starts.push_back(static_cast<std::uint32_t>(pos));
        index->lastEnd = static_cast<std::uint32_t>(end);
        if (!brk)
            break;
        pos = end + 1;
        if (*brk == '\r' && pos < n && base[pos] == '\n')
            ++pos;
        if (progress && pos >= nextReport) {
            nextReport = pos + ProgressStep;
            if (!progress(pos, n))
                return false;
        }
    }
    TableLines t;
    if (first && *first == '\r')
        t.setLineForm(first + 1 < base + n && first[1] == '\n' ? "\r\n" : "\r", true);
    else if (first)
        t.setLineForm("\n", true);
    // A quote never closed ends the text inside its field, not at a break.
    t.lastLineEnded_ = !unclosed && n > 0 && (base[n - 1] == '\n' || base[n - 1] == '\r');
    t.form_ = form;
    t.unclosedQuote_ = unclosed;
    t.buffer_ = std::make_shared<const ByteBuffer>(std::move(bytes));
    t.index_ = std::move(index);
    out = std::move(t);
    return true;
}

bool TableLines::FromBytes(std::string bytes, TableLines& out, const ProgressFn& progress, TableForm form)
{
    return FromBytes(ByteBuffer(bytes), out, progress, form);
}

TableLines TableLines::FromBytes(std::string bytes, TableForm form)
{
    TableLines t;
    FromBytes(std::move(bytes), t, {}, form);
    return t;
}

TableLines TableLines::FromLines(const std::vector<std::string>& lines)
{
    std::size_t total = 0;
    for (const auto& l : lines)
        total += l.size();
    ByteBuffer bytes(total);
    auto index = std::make_shared<Index>();
    index->starts.reserve(lines.size());
    index->lengths.reserve(lines.size());
    std::size_t at = 0;
    for (const auto& l : lines) {
        index->starts.push_back(static_cast<std::uint32_t>(at));
        index->lengths.push_back(static_cast<std::uint32_t>(l.size()));
        if (!l.empty())
            std::memcpy(bytes.data() + at, l.data(), l.size());
        at += l.size();
    }
    TableLines t;
    t.buffer_ = std::make_shared<const ByteBuffer>(std::move(bytes));
    t.index_ = std::move(index);
    return t;
}

void TableLines::dropFront(std::size_t n)
{
    first_ += std::min(n, size());
}

std::vector<std::string> TableLines::toStrings() const
{
    std::vector<std::string> out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        out.emplace_back((*this)[i]);
    return out;
}

} // namespace rasmik
