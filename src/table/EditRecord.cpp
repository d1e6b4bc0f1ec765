#include "table/EditRecord.h"

#include "table/TableDocument.h"

#include <limits>

namespace rasmik {

namespace {

void AppendUnsigned(std::string& out, std::uint64_t v)
{
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool ReadUnsigned(std::string_view& rest, std::uint64_t& v)
{
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (rest.empty())
            return false;
        const auto b = static_cast<unsigned char>(rest.front());
        rest.remove_prefix(1);
        v |= std::uint64_t{b & 0x7Fu} << shift;
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}

bool ToInt(std::int64_t n, int& out)
{
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(n);
    return true;
}

// One edit made again; false when its bytes do not make one.
bool ReplayOne(TableDocument& doc, std::string_view edit)
{
    EditDecoder in(edit);
    std::uint8_t kind = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;
    int c = 0;
    int r = 0;
    if (!in.byte(kind) || !in.number(col) || !in.number(row) || !ToInt(col, c) || !ToInt(row, r))
        return false;
    doc.setCursor(c, r);
    std::int64_t a = 0;
    std::int64_t b = 0;
    int x = 0;
    int y = 0;
    std::string_view s;
    std::string_view t;
    switch (static_cast<EditKind>(kind)) {
    case EditKind::SetCell:
        if (!in.number(a) || !in.number(b) || !in.text(s) || !ToInt(a, x) || !ToInt(b, y))
            return false;
        doc.setCell(x, y, s);
        break;
    case EditKind::MoveColumn:
        if (!in.number(a) || !in.number(b) || !ToInt(a, x) || !ToInt(b, y))
            return false;
        doc.moveColumn(x, y);
        break;
    case EditKind::ColumnWidth:
        if (!in.number(a) || !in.number(b) || !ToInt(a, x) || !ToInt(b, y))
            return false;
        doc.setColumnWidth(x, y);
        break;
    case EditKind::Undo: doc.undo(); break;
    case EditKind::Redo: doc.redo(); break;
    case EditKind::InsertRow:
        if (!in.number(a))
            return false;
        doc.insertRow(a != 0);
        break;
    case EditKind::InsertColumn: doc.insertColumn(); break;
    case EditKind::ClearCells: {
        std::int64_t count = 0;
        if (!in.number(a) || !in.number(b) || !ToInt(a, x) || !ToInt(b, y) || !in.number(count) || count < 0
            || static_cast<std::uint64_t>(count) > edit.size())
            return false;
        std::vector<int> rows(static_cast<std::size_t>(count));
        for (int& one : rows) {
            std::int64_t n = 0;
            if (!in.number(n) || !ToInt(n, one))
                return false;
        }
        doc.clearCells(rows, x, y);
        break;
    }
    case EditKind::RenameColumn:
        if (!in.text(s))
            return false;
        doc.renameColumn(s);
        break;
    case EditKind::PasteCells: {
        std::int64_t count = 0;
        if (!in.number(count) || count < 0 || static_cast<std::uint64_t>(count) > edit.size())
            return false;
        std::vector<std::vector<std::string>> cells(static_cast<std::size_t>(count));
        for (auto& line : cells) {
            std::int64_t width = 0;
            if (!in.number(width) || width < 0 || static_cast<std::uint64_t>(width) > edit.size())
                return false;
            line.resize(static_cast<std::size_t>(width));
            for (std::string& cell : line) {
                if (!in.text(s))
                    return false;
                cell.assign(s);
            }
        }
        doc.pasteCells(cells);
        break;
    }
    case EditKind::ReplaceInCells:
        if (!in.text(s) || !in.text(t) || !in.number(a))
            return false;
        doc.replaceInCells(s, t, a != 0);
        break;
    case EditKind::SimpleNumber: doc.simpleNumber(); break;
    case EditKind::BlankColumn: doc.blankColumn(); break;
    case EditKind::ShiftColumnLeft: doc.shiftColumnLeft(); break;
    case EditKind::DeleteRow: doc.deleteRow(); break;
    case EditKind::RemoveColumn: doc.removeColumn(); break;
    case EditKind::SortRows:
        if (!in.number(a))
            return false;
        doc.sortRows(a != 0);
        break;
    case EditKind::FilterRows:
        if (!in.text(s))
            return false;
        doc.filterRows(std::string(s));
        break;
    case EditKind::ShowAllRows: doc.showAllRows(); break;
    default: return false;
    }
    return in.atEnd();
}

} // namespace

EditEncoder::EditEncoder(EditKind kind, int cursorCol, int cursorRow)
{
    bytes_.push_back(static_cast<char>(kind));
    number(cursorCol);
    number(cursorRow);
}

EditEncoder& EditEncoder::number(std::int64_t n)
{
    // Zig-zag, so that small negative numbers stay short.
    AppendUnsigned(bytes_, (static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63));
    return *this;
}

EditEncoder& EditEncoder::text(std::string_view s)
{
    AppendUnsigned(bytes_, s.size());
    bytes_.append(s);
    return *this;
}

bool EditDecoder::number(std::int64_t& n)
{
    std::uint64_t v = 0;
    if (!ReadUnsigned(rest_, v))
        return false;
    n = static_cast<std::int64_t>((v >> 1) ^ (~(v & 1) + 1));
    return true;
}

bool EditDecoder::text(std::string_view& s)
{
    std::uint64_t size = 0;
    if (!ReadUnsigned(rest_, size) || size > rest_.size())
        return false;
    s = rest_.substr(0, static_cast<std::size_t>(size));
    rest_.remove_prefix(static_cast<std::size_t>(size));
    return true;
}

bool EditDecoder::byte(std::uint8_t& b)
{
    if (rest_.empty())
        return false;
    b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return true;
}

void AppendFramedEdit(std::string& edits, std::string_view edit)
{
    AppendUnsigned(edits, edit.size());
    edits.append(edit);
}

bool ReplayEdits(TableDocument& doc, std::string_view framedEdits, std::size_t& done)
{
    done = 0;
    EditDecoder frames(framedEdits);
    while (!frames.atEnd()) {
        std::string_view edit;
        if (!frames.text(edit) || !ReplayOne(doc, edit))
            return false;
        ++done;
    }
    return true;
}

} // namespace rasmik
