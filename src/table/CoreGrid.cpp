#include "table/CoreGrid.h"

#include <algorithm>
#include <limits>

namespace rasmik {

namespace {
const std::shared_ptr<const ByteBuffer>& emptySource()
{
    static const auto empty = std::make_shared<const ByteBuffer>();
    return empty;
}
} // namespace

CoreGrid::CoreGrid()
{
    source_ = emptySource();
    Reset(DefaultColCount, DefaultRowCount);
}

void CoreGrid::Reset(int cols, int rows)
{
    cols = std::max(cols, 1);
    rows = std::max(rows, 1);
    arena_.clear();
    far_.clear();
    ++epoch_;
    source_ = emptySource();
    rowStart_.assign(static_cast<std::size_t>(rows), 0);
    cols_.assign(static_cast<std::size_t>(cols), Column(static_cast<std::size_t>(rows), EmptyCode));
    widths_.assign(static_cast<std::size_t>(cols), DefaultColWidth);
    rowCount_ = rows;
    ClampCursor();
}

void CoreGrid::ClampCursor()
{
    Col = std::clamp(Col, 0, ColCount() - 1);
    const int first = rowCount_ > fixedRows_ ? fixedRows_ : 0;
    Row = std::clamp(Row, first, rowCount_ - 1);
}

std::string_view CoreGrid::farCell(std::uint32_t v) const
{
    // Empty cells too point at real bytes: the save and the search tell the
    // cells apart by where their bytes are.
    static constexpr char Space[] = " ";
    if (v == SpaceCode)
        return {Space, 1};
    if (v == EmptyCode || v == FillCode)
        return {Space, 0};
    const Far& f = far_[v & ~FarBit];
    const char* base = (f.len & ArenaBit) ? arena_.data() : source_->data();
    return {base + f.off, f.len & ~ArenaBit};
}

std::uint32_t CoreGrid::addFar(Far f)
{
    if (far_.size() > MaxFarIndex)
        compact();
    far_.push_back(f);
    return FarBit | static_cast<std::uint32_t>(far_.size() - 1);
}

std::uint32_t CoreGrid::store(std::string_view text)
{
    if (text.empty())
        return EmptyCode;
    if (text.size() == 1 && text[0] == ' ')
        return SpaceCode;
    if (text.size() >= ArenaBit)
        text = text.substr(0, ArenaBit - 1);
    if (arena_.size() + text.size() > 0xFFFFFFFFull)
        compact();
    const Far f{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(text.size()) | ArenaBit};
    arena_.append(text);
    return addFar(f);
}

// Keeps only the side entries and arena bytes that cells still use.
void CoreGrid::compact()
{
    std::string arena;
    std::vector<Far> far;
    for (auto& col : cols_)
        for (auto& v : col) {
            if (v < FarBit || v == SpaceCode || v == EmptyCode || v == FillCode)
                continue;
            Far f = far_[v & ~FarBit];
            if (f.len & ArenaBit) {
                const std::uint32_t n = f.len & ~ArenaBit;
                const auto off = static_cast<std::uint32_t>(arena.size());
                arena.append(arena_, f.off, n);
                f.off = off;
            }
            far.push_back(f);
            v = FarBit | static_cast<std::uint32_t>(far.size() - 1);
        }
    arena_.swap(arena);
    far_.swap(far);
    ++epoch_;
}

void CoreGrid::SetCell(int col, int row, std::string_view text)
{
    // Nothing put past a row's end leaves the row as short as it was.
    if (text.empty() && IsFill(col, row))
        return;
    cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = store(text);
}

void CoreGrid::MoveColumn(int from, int to)
{
    const int n = ColCount();
    if (from < 0 || from >= n || to < 0 || to >= n || from == to)
        return;
    auto cb = cols_.begin();
    auto wb = widths_.begin();
    if (from < to) {
        std::rotate(cb + from, cb + from + 1, cb + to + 1);
        std::rotate(wb + from, wb + from + 1, wb + to + 1);
    } else {
        std::rotate(cb + to, cb + from, cb + from + 1);
        std::rotate(wb + to, wb + from, wb + from + 1);
    }
}

void CoreGrid::DeleteRow(int row)
{
    if (row < 0 || row >= rowCount_ || rowCount_ <= 1)
        return;
    for (auto& col : cols_)
        col.erase(col.begin() + row);
    rowStart_.erase(rowStart_.begin() + row);
    --rowCount_;
    if (rowCount_ <= fixedRows_)
        fixedRows_ = rowCount_ > 1 ? fixedRows_ : 0;
}

void CoreGrid::DeleteColumn(int col)
{
    if (col < 0 || col >= ColCount() || ColCount() <= 1)
        return;
    cols_.erase(cols_.begin() + col);
    widths_.erase(widths_.begin() + col);
    Col = std::min(Col, ColCount() - 1);
}

void CoreGrid::CopyColumn(int src, int dst)
{
    if (src == dst)
        return;
    // Side entries are never changed in place, so both columns may share them.
    cols_[static_cast<std::size_t>(dst)] = cols_[static_cast<std::size_t>(src)];
}

void CoreGrid::PermuteColumns(const std::vector<int>& order)
{
    std::vector<Column> cols(order.size());
    std::vector<int> widths(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        cols[i] = std::move(cols_[static_cast<std::size_t>(order[i])]);
        widths[i] = widths_[static_cast<std::size_t>(order[i])];
    }
    cols_.swap(cols);
    widths_.swap(widths);
}

CoreGrid CoreGrid::sharingBytes() const
{
    CoreGrid out;
    out.source_ = source_;
    out.arena_ = arena_;
    out.far_ = far_;
    out.fixedRows_ = fixedRows_;
    out.rowHeight_ = rowHeight_;
    out.encoding_ = encoding_;
    out.keepFields_ = keepFields_;
    return out;
}

CoreGrid CoreGrid::WithRows(const std::vector<int>& rows) const
{
    CoreGrid out = sharingBytes();
    out.widths_ = widths_;
    out.rowCount_ = static_cast<int>(rows.size()) + 1;
    const auto pick = [&rows](const Column& from, Column& to) {
        to.resize(rows.size() + 1);
        to[0] = from[0];
        for (std::size_t i = 0; i < rows.size(); ++i)
            to[i + 1] = from[static_cast<std::size_t>(rows[i])];
    };
    pick(rowStart_, out.rowStart_);
    out.cols_.resize(cols_.size());
    for (std::size_t c = 0; c < cols_.size(); ++c)
        pick(cols_[c], out.cols_[c]);
    out.Col = Col;
    out.Row = 0;
    out.ClampCursor();
    return out;
}

CoreGrid CoreGrid::WithColumn(int col) const
{
    CoreGrid out = sharingBytes();
    out.rowStart_ = rowStart_;
    out.cols_.assign(1, cols_[static_cast<std::size_t>(col)]);
    out.widths_.assign(1, widths_[static_cast<std::size_t>(col)]);
    out.rowCount_ = rowCount_;
    out.Row = Row;
    out.Col = 0;
    return out;
}

void CoreGrid::PermuteRows(int first, const std::vector<int>& order)
{
    const std::size_t base = static_cast<std::size_t>(first);
    // A view cell is placed relative to its row's start, which moves with it.
    Column moved(order.size());
    auto permute = [&](Column& column) {
        for (std::size_t i = 0; i < order.size(); ++i)
            moved[i] = column[static_cast<std::size_t>(order[i])];
        std::copy(moved.begin(), moved.end(), column.begin() + static_cast<std::ptrdiff_t>(base));
    };
    permute(rowStart_);
    for (Column& column : cols_)
        permute(column);
}

CoreGrid::HeldRow CoreGrid::HoldRow(int row) const
{
    HeldRow held;
    held.start = rowStart_[static_cast<std::size_t>(row)];
    held.cells.reserve(cols_.size());
    for (const auto& col : cols_)
        held.cells.push_back(col[static_cast<std::size_t>(row)]);
    return held;
}

void CoreGrid::InsertRow(int row, const HeldRow& held)
{
    row = std::clamp(row, 0, rowCount_);
    for (std::size_t c = 0; c < cols_.size(); ++c)
        cols_[c].insert(cols_[c].begin() + row, c < held.cells.size() ? held.cells[c] : FillCode);
    rowStart_.insert(rowStart_.begin() + row, held.start);
    ++rowCount_;
}

CoreGrid::HeldColumn CoreGrid::HoldColumn(int col) const
{
    const Column& cells = cols_[static_cast<std::size_t>(col)];
    return {{cells.begin(), cells.end()}, widths_[static_cast<std::size_t>(col)]};
}

void CoreGrid::InsertColumn(int col, HeldColumn held)
{
    col = std::clamp(col, 0, ColCount());
    held.cells.resize(static_cast<std::size_t>(rowCount_), FillCode);
    cols_.insert(cols_.begin() + col, std::move(held.cells));
    widths_.insert(widths_.begin() + col, held.width);
}

void CoreGrid::BeginBuild(std::shared_ptr<const ByteBuffer> buffer, int rows, int cols)
{
    source_ = buffer ? std::move(buffer) : emptySource();
    arena_.clear();
    far_.clear();
    ++epoch_;
    rowCount_ = std::max(rows, 1);
    cols = std::max(cols, 0);
    rowStart_.assign(static_cast<std::size_t>(rowCount_), 0);
    cols_.clear();
    cols_.resize(static_cast<std::size_t>(cols));
    for (auto& c : cols_)
        c.resize(static_cast<std::size_t>(rowCount_)); // left unset: the layout sets every cell
    widths_.assign(static_cast<std::size_t>(cols), DefaultColWidth);
}

std::size_t CoreGrid::SourceOffset(int col, int row) const
{
    const std::uint32_t v = Code(col, row);
    if (v < FarBit)
        return std::size_t{rowStart_[static_cast<std::size_t>(row)]} + (v >> LenBits);
    if (v == SpaceCode || v == EmptyCode || v == FillCode)
        return std::string_view::npos;
    const Far& f = far_[v & ~FarBit];
    return (f.len & ArenaBit) ? std::string_view::npos : std::size_t{f.off};
}

void CoreGrid::SetSourceCell(int col, int row, std::uint32_t off, std::uint32_t len, bool keepView)
{
    if (TrySetSourceCell(col, row, off, len, keepView))
        return;
    cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] =
        addFar(Far{off, std::min<std::uint32_t>(len, ArenaBit - 1)});
}

void CoreGrid::AddColumns(int cols)
{
    while (ColCount() < cols) {
        cols_.emplace_back(static_cast<std::size_t>(rowCount_), keepFields_ ? FillCode : SpaceCode);
        widths_.push_back(DefaultColWidth);
    }
}

void CoreGrid::EndBuild(int minCols)
{
    AddColumns(std::max(minCols, 1));
    ClampCursor();
}

bool ConvertGridText(const CoreGrid& grid, TextEncoding to, CoreGrid& out)
{
    to = HeldForm(to);
    const TextEncoding from = grid.Encoding();
    const int rows = grid.RowCount();
    const int cols = grid.ColCount();
    const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    // The cells row by row, one TAB between two, so that a save copies a
    // row's run of cells in one piece as it does from a table's lines.
    std::string text;
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> ends(cells);
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> rowStarts(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        rowStarts[static_cast<std::size_t>(r)] = static_cast<std::uint32_t>(text.size());
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                text.push_back('\t');
            if (!AppendHeldAs(grid.Cell(c, r), from, to, text))
                return false;
            if (text.size() > std::numeric_limits<std::uint32_t>::max())
                return false;
            ends[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(c)] =
                static_cast<std::uint32_t>(text.size());
        }
        text.push_back('\n');
    }
    CoreGrid fresh;
    fresh.BeginBuild(std::make_shared<const ByteBuffer>(text), rows, cols);
    fresh.SetEncoding(to);
    fresh.SetKeepsFields(grid.KeepsFields());
    for (int r = 0; r < rows; ++r) {
        std::uint32_t at = rowStarts[static_cast<std::size_t>(r)];
        fresh.SetRowStart(r, at);
        for (int c = 0; c < cols; ++c) {
            const std::uint32_t end =
                ends[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(c)];
            // An empty cell stays empty: the save tells "" from " ".
            if (grid.IsFill(c, r))
                fresh.SetFillCell(c, r);
            else if (end == at)
                fresh.SetCell(c, r, {});
            else
                fresh.SetSourceCell(c, r, at, end - at);
            at = end + 1;
        }
    }
    fresh.EndBuild(cols);
    for (int c = 0; c < cols; ++c)
        fresh.SetColWidth(c, grid.ColWidth(c));
    fresh.SetFixedRows(grid.FixedRows());
    fresh.SetDefaultRowHeight(grid.DefaultRowHeight());
    fresh.Col = grid.Col;
    fresh.Row = grid.Row;
    out = std::move(fresh);
    return true;
}

} // namespace rasmik
