#include "app/GridWidget.h"

#include "render/QtText.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>

namespace rasmik {

GridHeader::GridHeader(GridWidget& grid) : QHeaderView(Qt::Horizontal, &grid), grid_(grid)
{
    setSectionsMovable(true);
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(0);
    setDefaultAlignment(Qt::AlignCenter);
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    painter->save();
    // Like the body cells, the painted cell leaves its last column and row to the grid line.
    const QRect cell(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1);
    grid_.cellPainter().drawCell(*painter, grid_, logicalIndex, 0, cell);
    painter->setPen(grid_.palette().color(QPalette::Mid));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    const int x = isRightToLeft() ? rect.left() : rect.right();
    painter->drawLine(QPoint(x, rect.top()), QPoint(x, rect.bottom()));
    painter->restore();
}

GridDelegate::GridDelegate(GridWidget& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    grid_.cellPainter().drawCell(*painter, grid_, index.column(), grid_.gridModel().gridRow(index.row()), option.rect);
    painter->restore();
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor) {
        editor->setLayoutDirection(Qt::RightToLeft);
        editor->setFont(grid_.gridFont());
    }
    editor_ = editor;
    return editor;
}

bool GridDelegate::isEditorKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        // Ctrl+Del and Ctrl+Backspace delete a word.
        return mods == Qt::NoModifier || mods == Qt::ControlModifier;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        // Move by letter, by word or to either end, with or without selecting.
        return (mods & ~(Qt::ControlModifier | Qt::ShiftModifier)) == Qt::NoModifier;
    case Qt::Key_Escape:
        return mods == Qt::NoModifier;
    default:
        return false;
    }
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event)
{
    // The window's shortcuts are looked up only when the focused editor
    // does not claim the key first.
    if (event->type() == QEvent::ShortcutOverride && object == editor_ &&
        isEditorKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

GridWidget::GridWidget(TableDocument& document, QWidget* parent)
    : QTableView(parent), document_(document), model_(document, this)
{
    setObjectName(QStringLiteral("grid"));
    setLayoutDirection(Qt::RightToLeft);
    header_ = new GridHeader(*this);
    setHorizontalHeader(header_);
    delegate_ = new GridDelegate(*this);
    setItemDelegate(delegate_);
    setModel(&model_);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    connect(header_, &QHeaderView::sectionMoved, this, &GridWidget::onSectionMoved);
    connect(header_, &QHeaderView::sectionResized, this, &GridWidget::onSectionResized);
    connect(&model_, &GridModel::shapeChanged, this, &GridWidget::onShapeChanged);
    onShapeChanged();
}

void GridWidget::onShapeChanged()
{
    applySizes();
    header_->setVisible(hasFixedRow());
    showDocumentCursor();
    viewport()->update();
    header_->viewport()->update();
}

void GridWidget::refreshCells()
{
    viewport()->update();
    header_->viewport()->update();
}

void GridWidget::applySizes()
{
    applyingSizes_ = true;
    const CoreGrid& grid = core();
    const int h = std::max(1, grid.DefaultRowHeight());
    verticalHeader()->setDefaultSectionSize(h + 1);
    header_->setFixedHeight(h + 1);
    // With updates on, every resize looks up the section's place, which
    // walks all sections after a change: quadratic in the column count.
    const bool updates = header_->updatesEnabled();
    header_->setUpdatesEnabled(false);
    for (int c = 0; c < grid.ColCount(); ++c)
        header_->resizeSection(c, grid.ColWidth(c) + 1);
    header_->setUpdatesEnabled(updates);
    applyingSizes_ = false;
}

void GridWidget::showDocumentCursor()
{
    const int mr = model_.modelRow(document_.currentRow());
    if (mr < 0 || mr >= model_.rowCount() || document_.currentCol() >= model_.columnCount())
        return;
    const QModelIndex idx = model_.index(mr, document_.currentCol());
    if (currentIndex() != idx)
        setCurrentIndex(idx);
    scrollTo(idx);
}

void GridWidget::setShaping(bool on)
{
    shaping_ = on;
    refreshCells();
}

bool GridWidget::isEditing() const
{
    return state() == QAbstractItemView::EditingState && delegate_->openEditor();
}

void GridWidget::commitOpenEdit()
{
    if (!isEditing())
        return;
    QWidget* editor = delegate_->openEditor();
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GridWidget::discardOpenEdit()
{
    if (!isEditing())
        return;
    QWidget* editor = delegate_->openEditor();
    // No focus change may commit it on the way out.
    editor->removeEventFilter(delegate_);
    closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void GridWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        document_.setCursor(current.column(), model_.gridRow(current.row()));
    // The current cell and its row change colour.
    if (previous.isValid())
        updateRow(model_.gridRow(previous.row()));
    if (current.isValid())
        updateRow(model_.gridRow(current.row()));
}

void GridWidget::updateRow(int gridRow)
{
    const int mr = model_.modelRow(gridRow);
    if (mr < 0 || mr >= model_.rowCount())
        return;
    const int top = rowViewportPosition(mr);
    if (top < -rowHeight(mr) || top > viewport()->height())
        return;
    viewport()->update(QRect(0, top, viewport()->width(), rowHeight(mr)));
}

void GridWidget::focusInEvent(QFocusEvent* e)
{
    QTableView::focusInEvent(e);
    viewport()->update();
}

void GridWidget::focusOutEvent(QFocusEvent* e)
{
    QTableView::focusOutEvent(e);
    viewport()->update();
}

void GridWidget::onSectionMoved(int /*logical*/, int oldVisual, int newVisual)
{
    // Keep the view's order identical to the core grid's: undo the view's own
    // move and move the column in the core grid instead.
    {
        const QSignalBlocker block(header_);
        header_->moveSection(newVisual, oldVisual);
    }
    document_.moveColumn(oldVisual, newVisual);
    applySizes();
    showDocumentCursor();
    refreshCells();
    emit columnMoved(oldVisual, newVisual);
}

void GridWidget::onSectionResized(int logical, int /*oldSize*/, int newSize)
{
    if (applyingSizes_)
        return;
    document_.setColumnWidth(logical, std::max(0, newSize - 1));
}

int GridWidget::colCount() const { return core().ColCount(); }
int GridWidget::currentCol() const { return document_.currentCol(); }
int GridWidget::currentRow() const { return document_.currentRow(); }

bool GridWidget::hasKeyboardFocus() const
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f)) && isActiveWindow();
}

int GridWidget::colWidth(int col) const
{
    return col >= 0 && col < core().ColCount() ? core().ColWidth(col) : 0;
}

QFont GridWidget::gridFont() const { return font(); }

std::string_view GridWidget::cellText(int col, int row) const
{
    const CoreGrid& grid = core();
    if (col < 0 || row < 0 || col >= grid.ColCount() || row >= grid.RowCount())
        return {};
    return grid.Cell(col, row);
}

bool GridWidget::shapingOn() const { return shaping_; }

} // namespace rasmik
