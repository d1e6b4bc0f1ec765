#include "table/TableLines.h"

#include <algorithm>
#include <cstring>

namespace rasmik {

namespace {
constexpr std::uint64_t ProgressStep = 8u << 20; // report every 8 MB
}

TableLines::TableLines()
{
    static const auto emptyBuffer = std::make_shared<const ByteBuffer>();
    static const auto emptyIndex = std::make_shared<const Index>();
    buffer_ = emptyBuffer;
    index_ = emptyIndex;
}

bool TableLines::FromBytes(ByteBuffer bytes, TableLines& out, const ProgressFn& progress, TableForm form)
{
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
