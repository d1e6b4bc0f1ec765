#include "table/SaveLines.h"

#include "table/CellPlace.h"
#include "text/FileIdentity.h"
#include "text/StringHelpers.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace rasmik {

namespace {

// Room for the decimal text of any 64-bit number and its TAB.
constexpr std::size_t NumberRoom = 21;
// A save is written in pieces of about this size.
constexpr std::size_t PieceBytes = std::size_t{1} << 20;

// Appends the number of row r and a separator.
void AppendRowNumber(std::int64_t rowNumberBase, int r, std::string& out, char separator = '\t')
{
    // Numbers from a positive base count up without bound (up to 2^63 - 2
    // plus the rows, which 64 unsigned bits hold); a negative base, which
    // no command passes, is kept where base - 1 + row fits in 64 bits.
    constexpr std::int64_t Limit = std::int64_t{1} << 62;
    char number[NumberRoom];
    const auto res = rowNumberBase > 0
        ? std::to_chars(number, number + sizeof number,
                        static_cast<std::uint64_t>(rowNumberBase - 1) + static_cast<std::uint64_t>(r))
        : std::to_chars(number, number + sizeof number, std::max(rowNumberBase, -Limit) - 1 + r);
    out.append(number, res.ptr);
    out.push_back(separator);
}

// Starts the line of row r in a kept or quoted form: its number, when
// numbered. Gives the count of cells to write: up to the last not fill.
int BeginFormRow(const CoreGrid& grid, std::int64_t rowNumberBase, int r, std::string& out, char separator)
{
    if (rowNumberBase != 0)
        AppendRowNumber(rowNumberBase, r, out, separator);
    int length = grid.ColCount();
    while (length > 0 && grid.IsFill(length - 1, r))
        --length;
    return length;
}

// Ends the line of row r in a kept or quoted form.
void EndFormRow(const CoreGrid& grid, int r, const SaveForm& form, std::string& out)
{
    if (r + 1 < grid.RowCount() || form.lastLineEnded)
        out.append(form.lineBreak);
}

// Appends rows [fromRow, toRow) as their lines were read (see SaveForm).
void AppendKeptRows(const CoreGrid& grid, std::int64_t rowNumberBase, int fromRow, int toRow, const SaveForm& form,
                    std::string& out)
{
    for (int r = fromRow; r < toRow; ++r) {
        const int length = BeginFormRow(grid, rowNumberBase, r, out, '\t');
        // Neighbouring cells of one line are copied as one run, as below.
        const char* runStart = nullptr;
        const char* runEnd = nullptr;
        for (int c = 0; c < length; ++c) {
            const std::string_view cell = grid.Cell(c, r);
            if (runStart && cell.data() == runEnd + 1 && *runEnd == '\t') {
                runEnd = cell.data() + cell.size();
                continue;
            }
            if (runStart) {
                out.append(runStart, runEnd);
                out.push_back('\t');
            }
            runStart = cell.data();
            runEnd = cell.data() + cell.size();
        }
        if (runStart)
            out.append(runStart, runEnd);
        EndFormRow(grid, r, form, out);
    }
}

// What a field's text holds, as bits, for the choice of how to write it.
constexpr unsigned HoldsQuote = 1;
constexpr unsigned HoldsBreak = 2; // the separator, CR or LF

constexpr std::uint64_t ByteOnes = 0x0101010101010101u;
// Eight bytes of c.
constexpr std::uint64_t Spread(char c)
{
    return ByteOnes * static_cast<unsigned char>(c);
}
// Non-zero exactly when some byte of w is zero.
constexpr std::uint64_t ZeroBytes(std::uint64_t w)
{
    return (w - ByteOnes) & ~w & 0x8080808080808080u;
}

// The bits of each byte for one separator: a single pass over a cell tells
// all the save needs (find_first_of looked up every byte in a list). Eight
// bytes are looked at together where the text has them.
class FieldBytes {
public:
    explicit FieldBytes(char separator) : sep_(Spread(separator))
    {
        bits_[static_cast<unsigned char>('"')] |= HoldsQuote;
        bits_[static_cast<unsigned char>(separator)] |= HoldsBreak;
        bits_[static_cast<unsigned char>('\r')] |= HoldsBreak;
        bits_[static_cast<unsigned char>('\n')] |= HoldsBreak;
    }

    unsigned of(std::string_view text) const
    {
        const char* p = text.data();
        const std::size_t n = text.size();
        if (n < 8) {
            unsigned held = 0;
            for (std::size_t i = 0; i < n; ++i)
                held |= bits_[static_cast<unsigned char>(p[i])];
            return held;
        }
        std::uint64_t quote = 0;
        std::uint64_t brk = 0;
        const auto look = [&](const char* at) {
            std::uint64_t w;
            std::memcpy(&w, at, 8);
            quote |= ZeroBytes(w ^ Quotes);
            brk |= ZeroBytes(w ^ sep_) | ZeroBytes(w ^ CRs) | ZeroBytes(w ^ LFs);
        };
        for (std::size_t i = 0; i + 8 <= n; i += 8)
            look(p + i);
        // The last eight bytes again: they hold the tail the loop left.
        if (n % 8 != 0)
            look(p + n - 8);
        return (quote != 0 ? HoldsQuote : 0) | (brk != 0 ? HoldsBreak : 0);
    }

private:
    static constexpr std::uint64_t Quotes = Spread('"');
    static constexpr std::uint64_t CRs = Spread('\r');
    static constexpr std::uint64_t LFs = Spread('\n');

    std::uint64_t sep_;
    unsigned char bits_[256] = {};
};

// Appends rows [fromRow, toRow) as quoted fields (see SaveForm).
void AppendQuotedRows(const CoreGrid& grid, std::int64_t rowNumberBase, int fromRow, int toRow, const SaveForm& form,
                      std::string& out)
{
    const char sep = form.fields.separator;
    const std::string_view source = grid.SourceBytes();
    // A grid that does not keep its fields holds " " for an empty one.
    const bool spaceIsEmpty = !grid.KeepsFields();
    const FieldBytes fieldBytes(sep);
    for (int r = fromRow; r < toRow; ++r) {
        const int length = BeginFormRow(grid, rowNumberBase, r, out, sep);
        const std::size_t fieldsStart = out.size();
        // Fields that stand in the table's bytes as they are written (in
        // their quotes, or needing none) and follow one another there with
        // one separator between them are copied as one run.
        const char* runStart = nullptr;
        const char* runEnd = nullptr;
        for (int c = 0; c < length; ++c) {
            std::size_t off;
            const std::string_view cell = grid.CellAt(c, r, off);
            const unsigned held = fieldBytes.of(cell);
            const bool view = off != std::string_view::npos;
            const bool written = !cell.empty() && !(spaceIsEmpty && cell == " ");
            const char* rawStart = nullptr;
            const char* rawEnd = nullptr;
            if (view && off > 0 && off + cell.size() < source.size() && source[off - 1] == '"'
                && source[off + cell.size()] == '"' && !(held & HoldsQuote)) {
                rawStart = source.data() + off - 1;
                rawEnd = rawStart + cell.size() + 2;
            } else if (written && (view && form.asRead ? cell.front() != '"' && !(held & HoldsBreak) : held == 0)) {
                rawStart = cell.data();
                rawEnd = rawStart + cell.size();
            }
            if (rawStart && runStart && rawStart == runEnd + 1 && *runEnd == sep) {
                runEnd = rawEnd;
                continue;
            }
            if (runStart)
                out.append(runStart, runEnd);
            runStart = nullptr;
            if (c > 0)
                out.push_back(sep);
            if (rawStart) {
                runStart = rawStart;
                runEnd = rawEnd;
            } else if (written) {
                AppendQuotedField(cell, out);
            }
        }
        if (runStart)
            out.append(runStart, runEnd);
        // A lone empty field written bare would read back as a record of no
        // field, and as no record at all at the end of the file.
        if (length == 1 && out.size() == fieldsStart)
            out.append("\"\"");
        EndFormRow(grid, r, form, out);
    }
}

// Appends the saved lines of rows [fromRow, toRow) to out.
void AppendSaveRows(const CoreGrid& grid, std::int64_t rowNumberBase, int fromRow, int toRow, std::string& out,
                    const SaveForm& form = {})
{
    if (form.fields.quoted) {
        AppendQuotedRows(grid, rowNumberBase, fromRow, toRow, form, out);
        return;
    }
    if (form.kept) {
        AppendKeptRows(grid, rowNumberBase, fromRow, toRow, form, out);
        return;
    }
    const int cols = grid.ColCount();
    const bool numbered = rowNumberBase != 0;
    for (int r = fromRow; r < toRow; ++r) {
        const std::size_t lineStart = out.size();
        if (numbered)
            AppendRowNumber(rowNumberBase, r, out);
        // Cells laid out from one line lie side by side in the table's buffer
        // with one TAB between them: such a run is copied in one piece.
        const char* runStart = nullptr;
        const char* runEnd = nullptr;
        for (int c = 0; c < cols; ++c) {
            std::string_view cell = grid.Cell(c, r);
            if (c == 0 && !numbered) {
                // The line's leading spaces are the first cell's (a TAB
                // follows it, so the trimming stops there).
                while (!cell.empty() && cell.front() == ' ')
                    cell.remove_prefix(1);
            }
            // runEnd is read only when the cell starts one byte after it, so
            // that byte lies between two cells of one buffer.
            if (runStart && cell.data() == runEnd + 1 && *runEnd == '\t') {
                runEnd = cell.data() + cell.size();
                continue;
            }
            if (runStart) {
                out.append(runStart, runEnd);
                out.push_back('\t');
            }
            runStart = cell.data();
            runEnd = cell.data() + cell.size();
        }
        if (runStart) {
            out.append(runStart, runEnd);
            out.push_back('\t');
        }
        // The line ends with a TAB, so there are no trailing spaces to trim
        // before the trailing TABs go; spaces uncovered by that stay.
        std::size_t end = out.size();
        while (end > lineStart && out[end - 1] == '\t')
            --end;
        out.resize(end);
        out.append("\r\n", 2);
    }
}

} // namespace

std::string BuildSaveBytes(const CoreGrid& grid, std::int64_t rowNumberBase, const SaveForm& form)
{
    const int rows = grid.RowCount();
    const int cols = grid.ColCount();
    // One sizing pass so that the text is built in a single allocation.
    std::size_t total =
        static_cast<std::size_t>(rows) * (static_cast<std::size_t>(cols) + 2 + (rowNumberBase != 0 ? NumberRoom : 0));
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            total += grid.Cell(c, r).size();
    std::string out;
    out.reserve(total);
    AppendSaveRows(grid, rowNumberBase, 0, rows, out, form);
    return out;
}

std::int64_t RowNumberBaseFromAnswer(std::string_view answer)
{
    const std::int64_t start = ParseInt64Def(answer, 0);
    // start + 1 must fit: the largest start counts as unreadable, that is 0.
    if (start == std::numeric_limits<std::int64_t>::max())
        return 1;
    return start < 0 ? 0 : start + 1;
}

std::string WithFileExtension(const std::string& path, std::string_view ext)
{
    if (path.empty())
        return {};
    const std::size_t slash = path.rfind(PathSeparator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    std::string result;
    if (dot != std::string::npos && dot > nameStart)
        result = path.substr(0, dot);
    else
        result = path;
    result.append(ext);
    return result;
}

std::string BackupPathFor(const std::string& path)
{
    return WithFileExtension(path, ".Bak");
}

FileError FirstUnfitCell(const CoreGrid& grid, TextEncoding encoding, const std::string& path)
{
    FileError error;
    const TextEncoding held = grid.Encoding();
    std::string scratch;
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < grid.ColCount(); ++c) {
            UnfitCharacter unfit;
            scratch.clear();
            if (!AppendHeldAs(grid.Cell(c, r), held, encoding, scratch, &unfit)) {
                error = FileError(FileErrorCode::NotInEncoding, path);
                NameCell(error, grid, c, r);
                error.codePoint = unfit.codePoint;
                return error;
            }
        }
    }
    return error;
}

FileError FirstCellWithTab(const CoreGrid& grid, const std::string& path)
{
    FileError error;
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < grid.ColCount(); ++c) {
            if (grid.Cell(c, r).find('\t') != std::string_view::npos) {
                error = FileError(FileErrorCode::TabInCell, path);
                NameCell(error, grid, c, r);
                return error;
            }
        }
    }
    return error;
}

FileError FirstCellWithBreak(const CoreGrid& grid, const std::string& path, bool viewsToo)
{
    FileError error;
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < grid.ColCount(); ++c) {
            if (!viewsToo && grid.SourceOffset(c, r) != std::string_view::npos)
                continue;
            if (grid.Cell(c, r).find_first_of("\t\r\n") != std::string_view::npos) {
                error = FileError(FileErrorCode::BreakInCell, path);
                NameCell(error, grid, c, r);
                return error;
            }
        }
    }
    return error;
}

FileStatus SaveGridToFile(const CoreGrid& grid, std::int64_t rowNumberBase, const std::string& path,
                          const std::string& currentFile, const ProgressFn& progress, FileEncoding encoding,
                          std::string_view head, std::string_view tail, const SaveForm& form,
                          const LockedCheck& whileLocked, std::uint64_t* writtenHash)
{
    if (path.empty())
        return FileStatus(FileErrorCode::NoFileName, path);
    // The lines are made a piece at a time while the file is written, so a
    // large table is never held twice.
    const int rows = grid.RowCount();
    const TextEncoding held = grid.Encoding();
    const bool converts = encoding.encoding != held;
    const std::string_view mark = ByteOrderMarkOf(encoding);
    bool unfit = false;
    bool first = true;
    int next = 0;
    std::string piece;
    std::string converted;
    const PieceSource source = [&](std::string_view& out) {
        if (progress && !progress(static_cast<std::uint64_t>(next), static_cast<std::uint64_t>(rows)))
            return Piece::Stop;
        piece.clear();
        while (next < rows && piece.size() < PieceBytes) {
            const int to = std::min(rows, next + 256);
            AppendSaveRows(grid, rowNumberBase, next, to, piece, form);
            next = to;
        }
        out = piece;
        const bool last = next >= rows;
        if (converts || (first && (!mark.empty() || !head.empty())) || (last && !tail.empty())) {
            converted.clear();
            if (first) {
                converted.append(mark);
                converted.append(head);
            }
            if (!converts) {
                converted.append(piece);
            } else if (!AppendHeldAs(piece, held, encoding.encoding, converted)) {
                unfit = true;
                return Piece::Stop;
            }
            if (last)
                converted.append(tail);
            out = converted;
        }
        first = false;
        return last ? Piece::Last : Piece::More;
    };
    ByteHasher hasher;
    const PieceSource hashed = [&](std::string_view& out) {
        const Piece more = source(out);
        if (more != Piece::Stop)
            hasher.add(out);
        return more;
    };
    const std::string backup = BackupPathFor(path);
    // The same file under another spelling (a relative path, "//", a link)
    // is still the open table. A table already named *.Bak would be its own
    // backup: it is written without one.
    const FileStatus written = SameFile(path, currentFile) && !SameFile(backup, path) && FileIsThere(path)
        ? WriteFileWithBackup(path, hashed, backup, whileLocked)
        : WriteFileAtomic(path, hashed, whileLocked);
    if (written && writtenHash)
        *writtenHash = hasher.value();
    if (unfit)
        return FileStatus(FirstUnfitCell(grid, encoding.encoding, path));
    return written;
}

} // namespace rasmik
