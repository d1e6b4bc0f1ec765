#pragma once
// The grid of the open table: RowCount x ColCount cells of text in the
// table's held form (Windows-1256 bytes, or UTF-8: Encoding() says which),
// the cursor, the column widths and the fixed-row count. Cells laid out from a
// table are views into the table's buffer until a command or an edit changes
// them; changed cells live in an arena of their own.
//
// A cell is four bytes: a view of up to 2047 bytes that starts within the
// first megabyte of its row's line, or a code for " ", for "", or for an
// entry of a side table (longer lines and cells, and changed cells). A table
// that keeps its fields as read (UTF-8, UTF-16) holds "" for an empty field
// and a fill code, also "", for the cells past the end of a short row.

#include "text/ByteBuffer.h"
#include "text/TextEncoding.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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
    // How the cells' bytes are to be read: Windows1256 or Utf8.
    TextEncoding Encoding() const { return encoding_; }
    void SetEncoding(TextEncoding held) { encoding_ = HeldForm(held); }
    void SetFixedRows(int n) { fixedRows_ = n; }

    // Cursor. Row never rests on a fixed row when a body row exists.
    int Col = 0;
    int Row = 0;
    // Keeps Col and Row inside the grid and off the fixed row.
    void ClampCursor();

    std::string_view Cell(int col, int row) const
    {
        const std::uint32_t v = cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)];
        if (v < FarBit)
            return {source_->data() + rowStart_[static_cast<std::size_t>(row)] + (v >> LenBits), v & LenMask};
        return farCell(v);
    }
    void SetCell(int col, int row, std::string_view text);
    // Whether the cell lies past the end of its row's line and was never set
    // since: a save of a table in its own form leaves it out.
    bool IsFill(int col, int row) const { return Code(col, row) == FillCode; }
    void SetFillCell(int col, int row)
    {
        cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = FillCode;
    }
    // The layout keeps empty fields "" and fills short rows (instead of " ").
    bool KeepsFields() const { return keepFields_; }
    void SetKeepsFields(bool keep) { keepFields_ = keep; }
    // The table bytes that cells laid out from it view.
    std::string_view SourceBytes() const { return source_->view(); }

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
    // The cell of column dst in row receives a copy of column src's.
    void CopyCell(int src, int dst, int row)
    {
        // Cells never change in place, so both may hold the same code.
        cols_[static_cast<std::size_t>(dst)][static_cast<std::size_t>(row)] =
            cols_[static_cast<std::size_t>(src)][static_cast<std::size_t>(row)];
    }
    // Puts the columns in the given order: column i receives old column order[i].
    void PermuteColumns(const std::vector<int>& order);
    // A grid of row 0 and the given rows (in that order) of this one, sharing
    // its bytes: what a filter shows, for the commands that read it.
    CoreGrid WithRows(const std::vector<int>& rows) const;
    // A grid of column col alone, every row, sharing this one's bytes.
    CoreGrid WithColumn(int col) const;
    // Puts rows first.. in the given order: row first + i receives old row
    // order[i], a permutation of first..first + order.size() - 1.
    void PermuteRows(int first, const std::vector<int>& order);

    // --- cells as held, for putting changes back (undo) ---
    // A cell as the grid holds it. Valid in this grid while Epoch() stays the
    // same: a new layout and the rare packing of changed cells renumber them.
    using CellCode = std::uint32_t;
    std::uint64_t Epoch() const { return epoch_; }
    CellCode Code(int col, int row) const
    {
        return cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)];
    }
    // Puts code into the cell and hands back the code it held.
    CellCode SwapCode(int col, int row, CellCode code)
    {
        std::swap(cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)], code);
        return code;
    }
    // The code of an empty cell as this grid holds one that was given no
    // text: empty when it keeps its fields, else the space.
    CellCode BlankCode() const { return keepFields_ ? EmptyCode : SpaceCode; }
    // A row as held: where its line starts and its cells, column 0 first.
    struct HeldRow {
        std::uint32_t start = 0;
        std::vector<CellCode> cells;
    };
    HeldRow HoldRow(int row) const;
    // Puts a held row back at row; the rows from there move down.
    void InsertRow(int row, const HeldRow& held);
    // A column as held: its cells, row 0 first, and its width.
    struct HeldColumn {
        std::vector<CellCode, LargeAllocator<CellCode>> cells;
        int width = DefaultColWidth;
    };
    HeldColumn HoldColumn(int col) const;
    // Puts a held column back at col; the columns from there move up. Its
    // cell count must be RowCount().
    void InsertColumn(int col, HeldColumn held);

    // --- building from a table (used by the layout) ---
    // Starts a grid of cols x rows cells viewing buffer; the cells are not
    // set yet: every cell must be given by SetSourceCell or SetSpaceCell.
    void BeginBuild(std::shared_ptr<const ByteBuffer> buffer, int rows, int cols);
    // Where the line of a row starts in the buffer; before its cells are set.
    void SetRowStart(int row, std::uint32_t off) { rowStart_[static_cast<std::size_t>(row)] = off; }
    // Cell (col, row) := a view [off, off+len) of the buffer (" " when len is
    // 0). False when the view does not fit a cell by itself: then nothing is
    // set, and SetSourceCell must be used. Threads may set different cells
    // at the same time.
    // keepView keeps an empty view a view (a quoted empty field, which a
    // save writes quoted again).
    bool TrySetSourceCell(int col, int row, std::uint32_t off, std::uint32_t len, bool keepView = false)
    {
        if (len == 0 && !keepView) {
            cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = keepFields_ ? EmptyCode : SpaceCode;
            return true;
        }
        const std::uint64_t rel = std::uint64_t{off} - rowStart_[static_cast<std::size_t>(row)];
        if (off < rowStart_[static_cast<std::size_t>(row)] || rel > MaxRowOffset || len > LenMask)
            return false;
        cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] =
            static_cast<std::uint32_t>(rel << LenBits) | len;
        return true;
    }
    // The same for any view; one thread only.
    void SetSourceCell(int col, int row, std::uint32_t off, std::uint32_t len, bool keepView = false);
    // Where the cell's text starts in SourceBytes() when it is a view of
    // them (as laid out, never set since); npos otherwise.
    std::size_t SourceOffset(int col, int row) const;
    // Cell(col, row), with SourceOffset(col, row) in off: one look-up for
    // the save, which needs both for every cell.
    std::string_view CellAt(int col, int row, std::size_t& off) const
    {
        const std::uint32_t v = Code(col, row);
        if (v < FarBit) {
            off = std::size_t{rowStart_[static_cast<std::size_t>(row)]} + (v >> LenBits);
            return {source_->data() + off, v & LenMask};
        }
        off = SourceOffset(col, row);
        return farCell(v);
    }
    void SetSpaceCell(int col, int row)
    {
        cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = SpaceCode;
    }
    void SetEmptyCell(int col, int row)
    {
        cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = EmptyCode;
    }
    // A cell past the end of the row's line: " ", or the fill code when the
    // grid keeps its fields.
    void SetPadCell(int col, int row)
    {
        cols_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = keepFields_ ? FillCode : SpaceCode;
    }
    // Adds columns of pad cells up to cols.
    void AddColumns(int cols);
    // Ends the build: at least minCols columns, the cursor inside.
    void EndBuild(int minCols);

private:
    static constexpr int LenBits = 11;
    static constexpr std::uint32_t LenMask = (1u << LenBits) - 1;
    static constexpr std::uint64_t MaxRowOffset = (1u << (31 - LenBits)) - 1;
    static constexpr std::uint32_t FarBit = 0x80000000u;
    static constexpr std::uint32_t SpaceCode = 0xFFFFFFFFu;
    static constexpr std::uint32_t EmptyCode = 0xFFFFFFFEu;
    static constexpr std::uint32_t FillCode = 0xFFFFFFFDu;
    static constexpr std::uint32_t MaxFarIndex = 0x7FFFFFFCu;
    static constexpr std::uint32_t ArenaBit = 0x80000000u;
    // A cell of the side table.
    struct Far {
        std::uint32_t off;
        std::uint32_t len; // top bit: the bytes are in the arena
    };
    using Column = std::vector<std::uint32_t, LargeAllocator<std::uint32_t>>;

    std::string_view farCell(std::uint32_t v) const;
    // A grid with this one's bytes, changed cells and settings, and no cells yet.
    CoreGrid sharingBytes() const;
    std::uint32_t store(std::string_view text);
    std::uint32_t addFar(Far f);
    void compact();

    std::shared_ptr<const ByteBuffer> source_;
    std::string arena_;
    std::vector<Far> far_;
    Column rowStart_;
    std::vector<Column> cols_;
    std::vector<int> widths_;
    int rowCount_ = 0;
    int fixedRows_ = 1;
    int rowHeight_ = DefaultRowHeightPx;
    std::uint64_t epoch_ = 0;
    TextEncoding encoding_ = TextEncoding::Windows1256;
    bool keepFields_ = false;
};

// The same grid (shape, widths, fixed rows, cursor) with its text in the
// held form of encoding to: into Windows-1256 with the nearest letters.
// False when a character still has no place there or the text grows past
// what a grid holds; out is then unchanged.
bool ConvertGridText(const CoreGrid& grid, TextEncoding to, CoreGrid& out);

} // namespace rasmik
