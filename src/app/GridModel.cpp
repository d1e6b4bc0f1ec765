#include "app/GridModel.h"

#include "render/QtText.h"

#include <algorithm>

namespace rasmik {

GridModel::GridModel(TableDocument& document, QObject* parent) : QAbstractTableModel(parent), document_(document)
{
    document_.setObserver(this);
}

GridModel::~GridModel()
{
    document_.setObserver(nullptr);
}

int GridModel::fixedRows() const
{
    return grid().RowCount() > 1 ? grid().FixedRows() : 0;
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (document_.isFiltered())
        return static_cast<int>(document_.shownRows().size());
    return grid().RowCount() - fixedRows();
}

int GridModel::modelRow(int gridRow) const
{
    if (!document_.isFiltered())
        return gridRow - fixedRows();
    const std::vector<int>& shown = document_.shownRows();
    const auto at = std::lower_bound(shown.begin(), shown.end(), gridRow);
    return at != shown.end() && *at == gridRow ? static_cast<int>(at - shown.begin()) : -1;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid().ColCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return ToQString(grid().Cell(index.column(), gridRow(index.row())), grid().Encoding());
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    // The document tells of the change through cellChanged.
    document_.setCell(index.column(), gridRow(index.row()), FromQString(value.toString(), grid().Encoding()));
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void GridModel::gridAboutToBeReplaced()
{
    emit shapeAboutToChange();
    beginResetModel();
}

void GridModel::gridReplaced()
{
    emit newGridInPlace();
    endResetModel();
    emit shapeChanged();
}

void GridModel::rowAboutToBeRemoved(int row)
{
    emit shapeAboutToChange();
    // Down to one row, row 0 stops being the fixed row and joins the body.
    changeResets_ = grid().RowCount() <= 2 || row < fixedRows();
    if (changeResets_)
        beginResetModel();
    else
        beginRemoveRows({}, modelRow(row), modelRow(row));
}

void GridModel::rowRemoved(int /*row*/)
{
    if (changeResets_)
        endResetModel();
    else
        endRemoveRows();
    changeResets_ = false;
    emit shapeChanged();
}

void GridModel::rowAboutToBeInserted(int row)
{
    emit shapeAboutToChange();
    // From one row to two, row 0 becomes the fixed row again.
    changeResets_ = grid().RowCount() <= 1 || row < fixedRows();
    if (changeResets_)
        beginResetModel();
    else
        beginInsertRows({}, modelRow(row), modelRow(row));
}

void GridModel::rowInserted(int /*row*/)
{
    if (changeResets_)
        endResetModel();
    else
        endInsertRows();
    changeResets_ = false;
    emit shapeChanged();
}

void GridModel::columnAboutToBeInserted(int col)
{
    emit shapeAboutToChange();
    beginInsertColumns({}, col, col);
}

void GridModel::columnInserted(int /*col*/)
{
    endInsertColumns();
    emit shapeChanged();
}

void GridModel::columnMoved(int from, int to)
{
    emit shapeAboutToChange();
    cellsChanged(std::min(from, to), std::max(from, to));
    emit shapeChanged();
}

void GridModel::columnAboutToBeRemoved(int col)
{
    emit shapeAboutToChange();
    beginRemoveColumns({}, col, col);
}

void GridModel::columnRemoved(int /*col*/)
{
    endRemoveColumns();
    emit shapeChanged();
}

void GridModel::cellChanged(int col, int row)
{
    const int mr = modelRow(row);
    if (mr >= 0 && mr < rowCount()) {
        const QModelIndex at = index(mr, col);
        emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
    } else {
        emit headerDataChanged(Qt::Horizontal, col, col);
    }
}

void GridModel::cellsChanged(int firstCol, int lastCol)
{
    if (rowCount() > 0 && columnCount() > 0 && lastCol < columnCount())
        emit dataChanged(index(0, firstCol), index(rowCount() - 1, lastCol), {Qt::DisplayRole, Qt::EditRole});
    emit headerDataChanged(Qt::Horizontal, firstCol, lastCol);
}

} // namespace rasmik
