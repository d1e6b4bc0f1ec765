#pragma once
// The open table's lines: one buffer of the file's bytes plus line offsets.
// Copies share the buffer and the offsets, so the grid's cells can stay
// views into it and a copy of a million lines costs nothing.

#include "table/TableForm.h"
#include "text/ByteBuffer.h"
#include "text/TextEncoding.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// Reports progress of a long job as done/total; answers false to cancel it.
using ProgressFn = std::function<bool(std::uint64_t done, std::uint64_t total)>;

class TableLines {
public:
    TableLines();
    // Splits bytes at CR LF, lone CR or lone LF; a final line break adds no
    // empty line; a NUL byte ends the text. Returns false when cancelled.
    // In a quoted form a line is a record: breaks inside quotes stay in it.
    static bool FromBytes(ByteBuffer bytes, TableLines& out, const ProgressFn& progress = {}, TableForm form = TabForm);
    static bool FromBytes(std::string bytes, TableLines& out, const ProgressFn& progress = {},
                          TableForm form = TabForm);
    static TableLines FromBytes(std::string bytes, TableForm form = TabForm);
    static TableLines FromLines(const std::vector<std::string>& lines);

    std::size_t size() const { return index_->starts.size() - first_; }
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const
    {
        const std::size_t k = i + first_;
        const Index& x = *index_;
        const char* const data = buffer_->data();
        const std::uint32_t start = x.starts[k];
        if (!x.lengths.empty())
            return {data + start, x.lengths[k]};
        if (k + 1 == x.starts.size())
            return {data + start, x.lastEnd - start};
        // The line ends where the break before the next line begins: CR LF,
        // a lone CR or a lone LF (a line holds neither).
        std::uint32_t end = x.starts[k + 1] - 1;
        if (data[end] == '\n' && end > start && data[end - 1] == '\r')
            --end;
        return {data + start, end - start};
    }
    std::string_view front() const { return (*this)[0]; }
    // Drops the first n lines (the header block) without copying anything.
    void dropFront(std::size_t n);
    std::vector<std::string> toStrings() const;

    // The encoding of the file the lines came from; the bytes are in its
    // held form (Windows-1256, or UTF-8 for every Unicode encoding).
    const FileEncoding& encoding() const { return encoding_; }
    TextEncoding heldForm() const { return held_; }
    // Lines read from a file of this encoding.
    void setEncoding(FileEncoding encoding)
    {
        encoding_ = encoding;
        held_ = HeldForm(encoding.encoding);
    }
    // The same lines, now kept in a file of another encoding.
    void setFileEncoding(FileEncoding encoding) { encoding_ = encoding; }
    // What of the file the lines do not hold: the rest after a NUL that cut
    // the text off, or half a character at the end of a UTF-16 file.
    const TextEnd& textEnd() const { return textEnd_; }
    void setTextEnd(const TextEnd& end) { textEnd_ = end; }
    // The file's own line break (its first one: CR LF, LF or CR; CR LF when
    // it has none) and whether its last line ends with one.
    std::string_view lineBreak() const { return lineBreak_; }
    bool lastLineEnded() const { return lastLineEnded_; }
    void setLineForm(std::string_view lineBreak, bool lastLineEnded)
    {
        lineBreak_ = lineBreak == "\n" ? "\n" : lineBreak == "\r" ? "\r" : "\r\n";
        lastLineEnded_ = lastLineEnded;
    }

    // How the lines' fields are separated and quoted.
    TableForm form() const { return form_; }
    // Whether the last record's quote was never closed (its field then
    // runs to the end of the file).
    bool unclosedQuote() const { return unclosedQuote_; }

    // The shared byte buffer; cell views of a grid built from these lines
    // point into it and keep it alive.
    const std::shared_ptr<const ByteBuffer>& buffer() const { return buffer_; }
    // Largest file this representation can hold.
    static constexpr std::uint64_t MaxBytes = 0xFFFFFFFFull;

private:
    using Offsets = std::vector<std::uint32_t, LargeAllocator<std::uint32_t>>;
    struct Index {
        Offsets starts;
        Offsets lengths; // empty when the lines follow from the line breaks
        std::uint32_t lastEnd = 0;
    };
    std::shared_ptr<const ByteBuffer> buffer_;
    std::shared_ptr<const Index> index_;
    std::size_t first_ = 0;
    FileEncoding encoding_;
    TextEnd textEnd_;
    std::string_view lineBreak_ = "\r\n";
    TableForm form_;
    bool unclosedQuote_ = false;
    bool lastLineEnded_ = true;
    TextEncoding held_ = TextEncoding::Windows1256;
};

} // namespace rasmik
