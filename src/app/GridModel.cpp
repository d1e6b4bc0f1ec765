#include "app/GridModel.h"

#include "render/QtText.h"

namespace rasmik {

GridModel::GridModel(CoreGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {}

int GridModel::fixedRows() const
{
    return grid_.RowCount() > 1 ? grid_.FixedRows() : 0;
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid_.RowCount() - fixedRows();
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return ToQString(grid_.Cell(index.column(), gridRow(index.row())));
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int row = gridRow(index.row());
    grid_.SetCell(index.column(), row, FromQString(value.toString()));
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    emit cellEdited(index.column(), row);
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void GridModel::gridReset()
{
    beginResetModel();
    endResetModel();
}

void GridModel::gridChanged()
{
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

} // namespace rasmik
