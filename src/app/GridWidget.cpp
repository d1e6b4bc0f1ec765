#include "app/GridWidget.h"

#include "render/QtText.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTextDocument>
#include <QToolTip>

namespace rasmik {

namespace {

// Laid over the cells of a selected block: the cells' own colours show through.
const QColor SelectionTint(40, 110, 220, 70);

// The scroll bars' handle in a grey darker than their groove: the platform's
// pale handle on a grey groove reads the wrong way round, as if the groove
// were the handle, at the left while the first columns show at the right.
class ScrollBarStyle : public QProxyStyle {
public:
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || !bar || !(bar->subControls & SC_ScrollBarSlider)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        QStyleOptionSlider rest(*bar);
        rest.subControls &= ~SC_ScrollBarSlider;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
        const QRect handle = subControlRect(control, bar, SC_ScrollBarSlider, widget);
        if (handle.width() < 3 || handle.height() < 3)
            return;
        const bool pressed = (bar->state & State_Sunken) && (bar->activeSubControls & SC_ScrollBarSlider);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QColor::fromRgb(ScrollHandleOutline));
        painter->setBrush(QColor::fromRgb(pressed ? ScrollHandlePressed : ScrollHandleColour));
        const bool horizontal = bar->orientation == Qt::Horizontal;
        painter->drawRect(horizontal ? handle.adjusted(1, 2, -2, -3) : handle.adjusted(2, 1, -3, -2));
        painter->restore();
    }
};

} // namespace

QString CellToolTip(std::string_view displayText, TextEncoding held)
{
    QString text = ToQString(CutAtCharacter(displayText, static_cast<std::size_t>(ToolTipLength), held), held);
    if (displayText.size() > static_cast<std::size_t>(ToolTipLength))
        text += QChar(0x2026);
    // The cell's own lines stay lines; the rest is wrapped below.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Lines of at most LineLength characters, broken at a space where there is one.
    constexpr qsizetype LineLength = 80;
    QString wrapped;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (&line != &lines.front())
            wrapped += QLatin1Char('\n');
        qsizetype from = 0;
        while (line.size() - from > LineLength) {
            qsizetype cut = line.lastIndexOf(QLatin1Char(' '), from + LineLength);
            if (cut <= from)
                cut = from + LineLength;
            wrapped += QStringView(line).mid(from, cut - from);
            wrapped += QLatin1Char('\n');
            from = cut < line.size() && line[cut] == QLatin1Char(' ') ? cut + 1 : cut;
        }
        wrapped += QStringView(line).mid(from);
    }
    // As markup of the text itself, so that a cell holding "<b>" shows "<b>".
    return Qt::convertFromPlainText(wrapped, Qt::WhiteSpaceNormal);
}

GridHeader::GridHeader(GridWidget& grid) : QHeaderView(Qt::Horizontal, &grid), grid_(grid)
{
    // A click selects the column; a drag still moves it.
    setSectionsMovable(true);
    setSectionsClickable(true);
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
    // The header's own rect stands a pixel off the section in a right-to-left
    // view; the cell is placed from the section, as the body's cells are.
    QRect cell = cellRect(logicalIndex);
    cell.moveTop(rect.top());
    cell.setHeight(rect.height() - 1);
    grid_.cellPainter().drawCell(*painter, grid_, logicalIndex, 0, cell);
    if (grid_.isWholeColumnSelected(logicalIndex))
        painter->fillRect(cell, SelectionTint);
    painter->setPen(grid_.palette().color(QPalette::Mid));
    const int x = isRightToLeft() ? cell.left() - GridLineWidth : cell.right() + 1;
    painter->drawLine(QPoint(std::min(x, cell.left()), rect.bottom()),
                      QPoint(std::max(x, cell.right()), rect.bottom()));
    painter->drawLine(QPoint(x, rect.top()), QPoint(x, rect.bottom()));
    painter->restore();
}

QRect GridHeader::cellRect(int logicalIndex) const
{
    // Like the body's cells, the cell leaves the grid line its section's left
    // pixel in a right-to-left view, its right pixel else, and its last row.
    const int x = sectionViewportPosition(logicalIndex);
    const int width = std::max(0, sectionSize(logicalIndex) - GridLineWidth);
    return QRect(isRightToLeft() ? x + GridLineWidth : x, 0, width, height() - 1);
}

bool GridHeader::viewportEvent(QEvent* e)
{
    if (e->type() != QEvent::ToolTip)
        return QHeaderView::viewportEvent(e);
    const auto* help = static_cast<QHelpEvent*>(e);
    const int col = logicalIndexAt(help->pos());
    if (col < 0) {
        QToolTip::hideText();
        return true;
    }
    grid_.showCellToolTip(help->globalPos(), viewport(), col, 0, cellRect(col));
    return true;
}

GridDelegate::GridDelegate(GridWidget& grid) : QStyledItemDelegate(&grid), grid_(grid)
{
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    grid_.cellPainter().drawCell(*painter, grid_, index.column(), grid_.gridModel().gridRow(index.row()), option.rect);
    // The current cell alone is shown by the cursor; a larger block is tinted.
    if ((option.state & QStyle::State_Selected) && grid_.hasBlockSelection())
        painter->fillRect(option.rect, SelectionTint);
    painter->restore();
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
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
    case Qt::Key_Escape: return mods == Qt::NoModifier;
    default: return false;
    }
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event)
{
    // The window's shortcuts are looked up only when the focused editor
    // does not claim the key first.
    if (event->type() == QEvent::ShortcutOverride && object == editor_
        && isEditorKey(*static_cast<QKeyEvent*>(event))) {
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
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    auto* barStyle = new ScrollBarStyle;
    barStyle->setParent(this);
    horizontalScrollBar()->setStyle(barStyle);
    verticalScrollBar()->setStyle(barStyle);
    connect(header_, &QHeaderView::sectionMoved, this, &GridWidget::onSectionMoved);
    // Connected after the view's own selecting of the column, so that these
    // run once the column is selected.
    const auto columnsChosen = [this] {
        columnsSelected_ = true;
        header_->viewport()->update();
        emit selectionMoved();
    };
    connect(header_, &QHeaderView::sectionPressed, this, columnsChosen);
    // The view would fit the column to the rows it samples; the window fits it
    // exactly to every row instead.
    disconnect(header_, &QHeaderView::sectionHandleDoubleClicked, this, nullptr);
    connect(header_, &QHeaderView::sectionHandleDoubleClicked, this, &GridWidget::fitColumnAsked);
    connect(header_, &QHeaderView::sectionEntered, this, columnsChosen);
    connect(header_, &QHeaderView::sectionResized, this, &GridWidget::onSectionResized);
    connect(&model_, &GridModel::shapeAboutToChange, this, [this] { changingShape_ = true; });
    connect(&model_, &GridModel::newGridInPlace, this, &GridWidget::applyRowHeight);
    connect(&model_, &GridModel::shapeChanged, this, &GridWidget::onShapeChanged);
    connect(&model_, &GridModel::documentCursorMoved, this, &GridWidget::showDocumentCursor);
    onShapeChanged();
}

void GridWidget::onShapeChanged()
{
    applySizes();
    header_->setVisible(hasFixedRow());
    keepOneSelection();
    changingShape_ = false;
    moveToDocumentCursor(true);
    viewport()->update();
    header_->viewport()->update();
}

void GridWidget::keepOneSelection()
{
    QItemSelectionModel* selection = selectionModel();
    if (!selection)
        return;
    const QItemSelection ranges = selection->selection();
    if (ranges.isEmpty() || model_.rowCount() == 0 || model_.columnCount() == 0) {
        // A new grid, or no row left to select.
        columnsSelected_ = false;
        return;
    }
    // A row or column put back inside a block splits it in the view's own
    // rule: the block is the one that spans the parts, so that the tint,
    // the status bar's count and Copy read the same cells. Whole columns
    // stay whole columns.
    int top = ranges.front().top(), bottom = ranges.front().bottom();
    int left = ranges.front().left(), right = ranges.front().right();
    for (const QItemSelectionRange& r : ranges) {
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
        left = std::min(left, r.left());
        right = std::max(right, r.right());
    }
    if (columnsSelected_) {
        top = 0;
        bottom = model_.rowCount() - 1;
    }
    const QItemSelectionRange& only = ranges.front();
    if (ranges.size() == 1 && only.top() == top && only.bottom() == bottom && only.left() == left
        && only.right() == right)
        return;
    const bool columns = columnsSelected_;
    selectingColumns_ = true;
    selection->select(QItemSelection(model_.index(top, left), model_.index(bottom, right)),
                      QItemSelectionModel::ClearAndSelect);
    selectingColumns_ = false;
    columnsSelected_ = columns;
    header_->viewport()->update();
    emit selectionMoved();
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
    applyRowHeight();
    header_->setFixedHeight(h + 1);
    // With updates on, every resize looks up the section's place, which
    // walks all sections after a change: quadratic in the column count.
    const bool updates = header_->updatesEnabled();
    header_->setUpdatesEnabled(false);
    for (int c = 0; c < grid.ColCount(); ++c)
        header_->resizeSection(c, SectionWidthForText(grid.ColWidth(c)));
    header_->setUpdatesEnabled(updates);
    applyingSizes_ = false;
}

void GridWidget::applyRowHeight()
{
    // Setting it walks every row's section, a million in a large table,
    // though a new grid's rows take it anyway: only when it changes, and for
    // a new grid before its rows are shown (newGridInPlace).
    const int h = std::max(1, core().DefaultRowHeight()) + 1;
    if (appliedRowHeight_ != h || verticalHeader()->defaultSectionSize() != h) {
        verticalHeader()->setDefaultSectionSize(h);
        appliedRowHeight_ = h;
    }
}

void GridWidget::showDocumentCursor()
{
    moveToDocumentCursor(false);
}

void GridWidget::moveToDocumentCursor(bool keepSelection)
{
    const int mr = model_.modelRow(document_.currentRow());
    if (mr < 0 || mr >= model_.rowCount() || document_.currentCol() >= model_.columnCount())
        return;
    const QModelIndex idx = model_.index(mr, document_.currentCol());
    if (currentIndex() != idx) {
        // A block stays selected; a single cell is the cursor's and goes with
        // it, whatever keys are held (Ctrl of Ctrl+Z would add it to the old).
        if (keepSelection && hasBlockSelection()) {
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
        } else {
            setCurrentIndex(idx);
            selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect);
        }
    }
    scrollTo(idx);
}

void GridWidget::setShaping(bool on)
{
    shaping_ = on;
    refreshCells();
}

void GridWidget::selectCells(int firstRow, int lastRow, int firstCol, int lastCol)
{
    const int top = model_.modelRow(firstRow);
    const int bottom = model_.modelRow(lastRow);
    if (top < 0 || bottom < top || bottom >= model_.rowCount() || firstCol < 0 || lastCol >= model_.columnCount())
        return;
    const QModelIndex first = model_.index(top, firstCol);
    setCurrentIndex(first);
    selectionModel()->select(QItemSelection(first, model_.index(bottom, lastCol)), QItemSelectionModel::ClearAndSelect);
    scrollTo(first);
}

GridWidget::Block GridWidget::selectedBlock() const
{
    Block b;
    const QModelIndex current = currentIndex();
    const QItemSelection selection = selectionModel() ? selectionModel()->selection() : QItemSelection();
    int top = -1, bottom = -1;
    if (!selection.isEmpty()) {
        // Contiguous selection: one range.
        const QItemSelectionRange& range = selection.front();
        top = range.top();
        bottom = range.bottom();
        b.firstCol = range.left();
        b.lastCol = range.right();
    } else if (current.isValid()) {
        top = bottom = current.row();
        b.firstCol = b.lastCol = current.column();
    } else {
        // Only the fixed row: the cursor's cell there.
        b.rows.push_back(document_.currentRow());
        b.firstCol = b.lastCol = document_.currentCol();
        return b;
    }
    const bool wholeColumns = columnsSelected_ && top == 0 && bottom == model_.rowCount() - 1 && hasFixedRow();
    b.rows.reserve(static_cast<std::size_t>(bottom - top + 1 + (wholeColumns ? 1 : 0)));
    if (wholeColumns)
        b.rows.push_back(0);
    for (int r = top; r <= bottom; ++r)
        b.rows.push_back(model_.gridRow(r));
    return b;
}

bool GridWidget::hasBlockSelection() const
{
    if (!selectionModel())
        return false;
    const QItemSelection selection = selectionModel()->selection();
    return !selection.isEmpty()
        && (selection.size() > 1 || selection.front().width() > 1 || selection.front().height() > 1);
}

bool GridWidget::isWholeColumnSelected(int col) const
{
    // From the one range itself: the model's own test walks every row.
    if (!columnsSelected_ || !hasFixedRow() || !selectionModel() || model_.rowCount() == 0)
        return false;
    const QItemSelection selection = selectionModel()->selection();
    return selection.size() == 1 && selection.front().left() <= col && col <= selection.front().right()
        && selection.front().top() == 0 && selection.front().bottom() == model_.rowCount() - 1;
}

void GridWidget::showColumnWidth(int col, int width)
{
    if (col >= 0 && col < model_.columnCount())
        header_->resizeSection(col, SectionWidthForText(width));
}

void GridWidget::selectAll()
{
    selectingColumns_ = true;
    QTableView::selectAll();
    selectingColumns_ = false;
    columnsSelected_ = true;
    header_->viewport()->update();
    emit selectionMoved();
}

void GridWidget::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTableView::selectionChanged(selected, deselected);
    if (!selectingColumns_ && !changingShape_ && columnsSelected_) {
        columnsSelected_ = false;
        header_->viewport()->update();
    }
    emit selectionMoved();
}

bool GridWidget::isEditing() const
{
    return state() == QAbstractItemView::EditingState && delegate_->openEditor();
}

bool GridWidget::commitOpenEdit()
{
    if (!isEditing())
        return true;
    QWidget* editor = delegate_->openEditor();
    commitData(editor);
    if (refusedEditor_ == editor) {
        refusedEditor_ = nullptr;
        return false;
    }
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

void GridWidget::commitData(QWidget* editor)
{
    const QMetaProperty text = editor->metaObject()->userProperty();
    const auto refused = FirstCharacterNotHeld(text.read(editor).toString(), core().Encoding());
    if (!refused) {
        QTableView::commitData(editor);
        return;
    }
    // The cell keeps its text. The message comes after the key or focus
    // change that ended the edit; its own focus change commits again, which
    // is refused quietly.
    refusedEditor_ = editor;
    if (tellingRefusal_)
        return;
    tellingRefusal_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, character = *refused] {
            emit editRefused(character);
            tellingRefusal_ = false;
            refusedEditor_ = nullptr;
            if (QWidget* open = delegate_->openEditor(); open && isEditing())
                open->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

void GridWidget::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == refusedEditor_ && hint != QAbstractItemDelegate::RevertModelCache) {
        refusedEditor_ = nullptr;
        return;
    }
    refusedEditor_ = nullptr;
    QTableView::closeEditor(editor, hint);
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
    emit cursorMoved();
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

bool GridWidget::viewportEvent(QEvent* e)
{
    if (e->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(e);
    const auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex idx = indexAt(help->pos());
    if (!idx.isValid()) {
        QToolTip::hideText();
        return true;
    }
    showCellToolTip(help->globalPos(), viewport(), idx.column(), model_.gridRow(idx.row()), visualRect(idx));
    return true;
}

void GridWidget::showCellToolTip(const QPoint& globalPos, QWidget* over, int col, int row, const QRect& rect)
{
    // A cell of more than one line shows them whole, as does a cut one.
    const std::string_view text = cellText(col, row);
    const bool lines = text.find_first_of("\r\n") != std::string_view::npos;
    if (!lines && !painter_.textCut(over, *this, col, row, rect)) {
        QToolTip::hideText();
        return;
    }
    std::string shaped;
    QToolTip::showText(globalPos, CellToolTip(CellDisplayText(*this, col, row, shaped), document_.grid().Encoding()),
                       over, rect);
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
    document_.setColumnWidth(logical, TextWidthOfSection(newSize));
}

int GridWidget::colCount() const
{
    return core().ColCount();
}
int GridWidget::currentCol() const
{
    return document_.currentCol();
}
int GridWidget::currentRow() const
{
    return document_.currentRow();
}

bool GridWidget::hasKeyboardFocus() const
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f)) && isActiveWindow();
}

int GridWidget::colWidth(int col) const
{
    return col >= 0 && col < core().ColCount() ? core().ColWidth(col) : 0;
}

QFont GridWidget::gridFont() const
{
    return font();
}

std::string_view GridWidget::cellText(int col, int row) const
{
    const CoreGrid& grid = core();
    if (col < 0 || row < 0 || col >= grid.ColCount() || row >= grid.RowCount())
        return {};
    return grid.Cell(col, row);
}

bool GridWidget::shapingOn() const
{
    return shaping_;
}

} // namespace rasmik
