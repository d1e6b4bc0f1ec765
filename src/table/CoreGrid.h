#pragma once
// The grid of the open table: RowCount x ColCount cells of Windows-1256 bytes,
// the cursor, the column widths and the fixed-row count. Cells laid out from a
// table are views into the table's buffer until a command or an edit changes
// them; changed cells live in an arena of their own.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

class CoreGrid {
public:
    // The control's default empty layout before any table is loaded.
    static constexpr int DefaultColCount = 5;
    static constexpr int DefaultRowCount = 5;
    static constexpr int DefaultColWidth = 64;
    static constexpr int DefaultRowHeightPx = 24;

    CoreGrid();

    int RowCount() const { return rowCount_; }
    int ColCount() const { return static_cast<int>(cols_.size()); }
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n) { fixedRows_ = n; }

    // Cursor. Row never rests on a fixed row when a body row exists.
    int Col = 0;
    int Row = 0;
    // Keeps Col and Row inside the grid and off the fixed row.
    void ClampCursor();

    std::string_view Cell(int col, int row) const
    {
        const Ref r = cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)];
        const char* base = (r.len & ArenaBit) ? arena_.data() : source_->data();
        return {base + r.off, r.len & ~ArenaBit};
    }
    void SetCell(int col, int row, std::string_view text);

    int ColWidth(int col) const { return widths_[static_cast<std::size_t>(col)]; }
    void SetColWidth(int col, int width) { widths_[static_cast<std::size_t>(col)] = width; }
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int h) { rowHeight_ = h; }

    // Resets to cols x rows empty cells with default widths.
    void Reset(int cols, int rows);
    // Moves column from to position to; the columns between shift by one.
    void MoveColumn(int from, int to);
    // Removes a row; the rows below move up. Keeps at least one row.
    void DeleteRow(int row);
    // Removes a column with its width; later columns move down. Keeps at least one.
    void DeleteColumn(int col);
    // Column dst receives a copy of column src (all rows).
    void CopyColumn(int src, int dst);
    // Puts the columns in the given order: column i receives old column order[i].
    void PermuteColumns(const std::vector<int>& order);

    // --- building from a table (used by the layout) ---
    // Starts an empty grid of views into buffer with the given row count.
    void BeginBuild(std::shared_ptr<const std::string> buffer, int rows);
    // Sets cell (col, row) to a view [off, off+len) of the buffer, growing the
    // column count as needed (new columns hold " " in earlier rows).
    void SetSourceCell(int col, int row, std::uint32_t off, std::uint32_t len);
    // Fills every cell not set since BeginBuild with " ".
    void EndBuild(int minCols);

private:
    static constexpr std::uint32_t ArenaBit = 0x80000000u;
    struct Ref {
        std::uint32_t off;
        std::uint32_t len; // top bit: bytes are in the arena
    };
    static constexpr Ref SpaceRef{0, 1 | ArenaBit};
    static constexpr Ref EmptyRef{0, 0 | ArenaBit};
    Ref store(std::string_view text);
    void compactArena();

    std::shared_ptr<const std::string> source_;
    std::string arena_; // starts with " " so that SpaceRef needs no storage
    std::vector<std::vector<Ref>> cols_;
    std::vector<int> widths_;
    int rowCount_ = 0;
    int fixedRows_ = 1;
    int rowHeight_ = DefaultRowHeightPx;
};

} // namespace rasmik
