#pragma once
// The grid: a right-to-left table view over the open table, every cell
// painted by the cell painter, row 0 shown as a fixed header row that stays in
// view, columns sized and moved by the user (a move changes the table's grid).

#include "app/GridModel.h"
#include "render/CellPainter.h"
#include "table/TableDocument.h"

#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

namespace rasmik {

class GridWidget;

// The scroll bars' handle: its fill while resting and while dragged, its outline.
constexpr QRgb ScrollHandleColour = qRgb(150, 150, 150);
constexpr QRgb ScrollHandlePressed = qRgb(120, 120, 120);
constexpr QRgb ScrollHandleOutline = qRgb(100, 100, 100);

// The whole text of a cut cell as a tooltip shows it: wrapped into lines, at
// most ToolTipLength characters of a huge one, never read as markup.
constexpr int ToolTipLength = 2000;
QString CellToolTip(std::string_view displayText, TextEncoding held = TextEncoding::Windows1256);

// Paints row 0 through the cell painter and lets the user drag columns.
class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridHeader(GridWidget& grid);
    // The cell that a section's header paints, in viewport coordinates.
    QRect cellRect(int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    bool viewportEvent(QEvent* e) override;

private:
    GridWidget& grid_;
};

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GridDelegate(GridWidget& grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The cell editor open now, if any.
    QWidget* openEditor() const { return editor_; }

    // Keys that move or delete inside the editor's text, and Esc: they stay
    // with the editor instead of running the window's commands on the same keys.
    static bool isEditorKey(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    GridWidget& grid_;
    mutable QPointer<QWidget> editor_;
};

class GridWidget : public QTableView, public PaintGrid {
    Q_OBJECT
public:
    GridWidget(TableDocument& document, QWidget* parent = nullptr);

    const CoreGrid& core() const { return document_.grid(); }
    GridModel& gridModel() { return model_; }
    GridHeader& header() { return *header_; }
    CellPainter& cellPainter() const { return painter_; }

    // Repaints every cell; contents changed, shape did not.
    void refreshCells();
    // Puts the view's current cell where the document's cursor is.
    void showDocumentCursor();
    bool hasFixedRow() const { return model_.fixedRows() > 0; }

    void setShaping(bool on);

    // Shows the whole text of a cell that its cell (rect, in over's
    // coordinates) cuts; hides the tooltip for a cell that shows all of it.
    void showCellToolTip(const QPoint& globalPos, QWidget* over, int col, int row, const QRect& rect);
    // Whether a cell editor is open.
    bool isEditing() const;
    // Writes the open editor's text into its cell and closes the editor;
    // false, the editor left open and editRefused told, when the table's
    // encoding lacks a character of the text.
    bool commitOpenEdit();

    // The selected block of cells: its grid rows (top to bottom, row 0 first
    // when whole columns are selected) and its first and last column; the
    // current cell alone when nothing larger is selected.
    struct Block {
        std::vector<int> rows;
        int firstCol = 0;
        int lastCol = -1;
        std::size_t cellCount() const { return rows.size() * static_cast<std::size_t>(lastCol - firstCol + 1); }
    };
    Block selectedBlock() const;
    // Selects the cells of rows firstRow..lastRow (grid rows that show, in
    // a run) and columns firstCol..lastCol, the cursor on the first.
    void selectCells(int firstRow, int lastRow, int firstCol, int lastCol);
    // Whether more than the current cell is selected.
    bool hasBlockSelection() const;
    // Whether col is selected as a whole column (its header clicked, or
    // Select All).
    bool isWholeColumnSelected(int col) const;
    // Shows column col with room for a text width pixels wide (the cell's
    // ring and grid line besides), as a drag would.
    void showColumnWidth(int col, int width);
    void selectAll() override;
    // Closes the open editor, its text dropped.
    void discardOpenEdit();

    // PaintGrid
    int colCount() const override;
    int currentCol() const override;
    int currentRow() const override;
    bool hasKeyboardFocus() const override;
    int colWidth(int col) const override;
    QFont gridFont() const override;
    std::string_view cellText(int col, int row) const override;
    bool shapingOn() const override;
    TextEncoding encoding() const override { return core().Encoding(); }

signals:
    // A column was dragged from one place to another; the core grid has it already.
    void columnMoved(int from, int to);
    // The current cell, or the selected block, changed.
    void cursorMoved();
    void selectionMoved();
    // The edge after a column was double-clicked in the header.
    void fitColumnAsked(int col);
    // An edit was not written: the table's encoding lacks character. Told
    // once the key or focus change that ended the edit is over.
    void editRefused(char32_t character);

protected:
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private:
    void onSectionMoved(int logical, int oldVisual, int newVisual);
    void onSectionResized(int logical, int oldSize, int newSize);
    // The grid changed shape: sizes, fixed row, selection and cursor follow.
    void onShapeChanged();
    // Makes the selection one block again after a change of shape.
    void keepOneSelection();
    // Puts the view's current cell on the document's cursor; a selected
    // block is left as it is when keepSelection, else the selection becomes
    // that cell.
    void moveToDocumentCursor(bool keepSelection);
    void applySizes();
    void applyRowHeight();
    // Repaints a grid row across the view (the current row's colour).
    void updateRow(int gridRow);

    TableDocument& document_;
    GridModel model_;
    // Painting reuses its buffers; a const paint still fills them.
    mutable CellPainter painter_;
    GridHeader* header_;
    GridDelegate* delegate_;
    bool shaping_ = false;
    bool applyingSizes_ = false;
    int appliedRowHeight_ = -1; // the rows' height (with the line) last given to the row header
    // The selection was made of whole columns; any other change of it ends that.
    bool columnsSelected_ = false;
    bool selectingColumns_ = false;
    // A change of shape is under way: the view's own changes of the
    // selection meanwhile do not end a selection of whole columns.
    bool changingShape_ = false;
    // The editor whose text was refused: its close is skipped, so the user
    // can mend the text. A refusal is told once while its message shows.
    QPointer<QWidget> refusedEditor_;
    bool tellingRefusal_ = false;
};

} // namespace rasmik
