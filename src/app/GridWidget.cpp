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
    GridDrawCell(*painter, grid_, logicalIndex, 0, cell);
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
    GridDrawCell(*painter, grid_, index.column(), grid_.gridModel().gridRow(index.row()), option.rect);
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
    return editor;
}

GridWidget::GridWidget(CoreGrid& grid, QWidget* parent)
    : QTableView(parent), grid_(grid), model_(grid, this)
{
    setObjectName(QStringLiteral("Grid"));
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
    reloadFromCore();
}

void GridWidget::reloadFromCore()
{
    model_.gridReset();
    applySizes();
    header_->setVisible(hasFixedRow());
    showCoreCursor();
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
    const int h = std::max(1, grid_.DefaultRowHeight());
    verticalHeader()->setDefaultSectionSize(h + 1);
    header_->setFixedHeight(h + 1);
    for (int c = 0; c < grid_.ColCount(); ++c)
        header_->resizeSection(c, grid_.ColWidth(c) + 1);
    applyingSizes_ = false;
}

void GridWidget::showCoreCursor()
{
    grid_.ClampCursor();
    const int mr = model_.modelRow(grid_.Row);
    if (mr < 0 || mr >= model_.rowCount() || grid_.Col >= model_.columnCount())
        return;
    const QModelIndex idx = model_.index(mr, grid_.Col);
    if (currentIndex() != idx)
        setCurrentIndex(idx);
    scrollTo(idx);
}

void GridWidget::setShaping(bool on)
{
    shaping_ = on;
    refreshCells();
}

void GridWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid()) {
        grid_.Col = current.column();
        grid_.Row = model_.gridRow(current.row());
    }
    // The current cell and its row change colour.
    if (previous.isValid())
        viewport()->update(visualRect(previous));
    if (current.isValid())
        viewport()->update(visualRect(current));
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
    const int cur = grid_.Col;
    grid_.MoveColumn(oldVisual, newVisual);
    if (cur == oldVisual)
        grid_.Col = newVisual;
    else if (oldVisual < newVisual && cur > oldVisual && cur <= newVisual)
        grid_.Col = cur - 1;
    else if (newVisual < oldVisual && cur >= newVisual && cur < oldVisual)
        grid_.Col = cur + 1;
    applySizes();
    model_.gridChanged();
    showCoreCursor();
    refreshCells();
    emit columnMoved(oldVisual, newVisual);
}

void GridWidget::onSectionResized(int logical, int /*oldSize*/, int newSize)
{
    if (applyingSizes_ || logical < 0 || logical >= grid_.ColCount())
        return;
    grid_.SetColWidth(logical, std::max(0, newSize - 1));
}

int GridWidget::colCount() const { return grid_.ColCount(); }
int GridWidget::currentCol() const { return grid_.Col; }
int GridWidget::currentRow() const { return grid_.Row; }

bool GridWidget::hasFocus() const
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f)) && isActiveWindow();
}

int GridWidget::colWidth(int col) const
{
    return col >= 0 && col < grid_.ColCount() ? grid_.ColWidth(col) : 0;
}

QFont GridWidget::gridFont() const { return font(); }

std::string_view GridWidget::cellText(int col, int row) const
{
    if (col < 0 || row < 0 || col >= grid_.ColCount() || row >= grid_.RowCount())
        return {};
    return grid_.Cell(col, row);
}

QRect GridWidget::cellRect(int col, int row) const
{
    const int mr = model_.modelRow(row);
    if (mr < 0 || mr >= model_.rowCount() || col < 0 || col >= model_.columnCount())
        return {};
    const QRect r = visualRect(model_.index(mr, col));
    return r.intersected(viewport()->rect());
}

void GridWidget::invalidateRect(const QRect& rect)
{
    viewport()->update(rect);
}

bool GridWidget::shapingOn() const { return shaping_; }

} // namespace rasmik
