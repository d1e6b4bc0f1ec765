#include "table/CoreGrid.h"

#include <algorithm>

namespace rasmik {

namespace {
const auto emptySource = std::make_shared<const std::string>();
}

CoreGrid::CoreGrid()
{
    source_ = emptySource;
    Reset(DefaultColCount, DefaultRowCount);
}

void CoreGrid::Reset(int cols, int rows)
{
    cols = std::max(cols, 1);
    rows = std::max(rows, 1);
    arena_.assign(1, ' ');
    source_ = emptySource;
    cols_.assign(static_cast<std::size_t>(cols), std::vector<Ref>(static_cast<std::size_t>(rows), EmptyRef));
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

CoreGrid::Ref CoreGrid::store(std::string_view text)
{
    if (text.empty())
        return EmptyRef;
    if (text.size() == 1 && text[0] == ' ')
        return SpaceRef;
    if (text.size() >= ArenaBit)
        text = text.substr(0, ArenaBit - 1);
    if (arena_.size() + text.size() > 0xFFFFFFFFull)
        compactArena();
    const Ref r{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(text.size()) | ArenaBit};
    arena_.append(text);
    return r;
}

void CoreGrid::compactArena()
{
    std::string fresh(1, ' ');
    for (auto& col : cols_)
        for (auto& r : col)
            if ((r.len & ArenaBit) && (r.len & ~ArenaBit) > 1) {
                const std::uint32_t n = r.len & ~ArenaBit;
                const std::uint32_t off = static_cast<std::uint32_t>(fresh.size());
                fresh.append(arena_, r.off, n);
                r.off = off;
            }
    arena_.swap(fresh);
}

void CoreGrid::SetCell(int col, int row, std::string_view text)
{
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
    cols_[static_cast<std::size_t>(dst)] = cols_[static_cast<std::size_t>(src)];
}

void CoreGrid::PermuteColumns(const std::vector<int>& order)
{
    std::vector<std::vector<Ref>> cols(order.size());
    std::vector<int> widths(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        cols[i] = std::move(cols_[static_cast<std::size_t>(order[i])]);
        widths[i] = widths_[static_cast<std::size_t>(order[i])];
    }
    cols_.swap(cols);
    widths_.swap(widths);
}

void CoreGrid::BeginBuild(std::shared_ptr<const std::string> buffer, int rows)
{
    source_ = buffer ? std::move(buffer) : emptySource;
    arena_.assign(1, ' ');
    rowCount_ = std::max(rows, 1);
    cols_.clear();
    widths_.clear();
}

void CoreGrid::SetSourceCell(int col, int row, std::uint32_t off, std::uint32_t len)
{
    while (ColCount() <= col) {
        cols_.emplace_back(static_cast<std::size_t>(rowCount_), SpaceRef);
        widths_.push_back(DefaultColWidth);
    }
    cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] =
        len == 0 ? SpaceRef : Ref{off, std::min<std::uint32_t>(len, ArenaBit - 1)};
}

void CoreGrid::EndBuild(int minCols)
{
    while (ColCount() < std::max(minCols, 1)) {
        cols_.emplace_back(static_cast<std::size_t>(rowCount_), SpaceRef);
        widths_.push_back(DefaultColWidth);
    }
    ClampCursor();
}

} // namespace rasmik
