#pragma once
// The Qt model over the core grid. Body rows only: the fixed row 0 is shown
// by the grid's header. Texts are converted only for the cell asked for.

#include "table/CoreGrid.h"

#include <QAbstractTableModel>

namespace rasmik {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(CoreGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    CoreGrid& grid() { return grid_; }
    // Grid rows above the body (0 or 1).
    int fixedRows() const;
    int gridRow(int modelRow) const { return modelRow + fixedRows(); }
    int modelRow(int gridRow) const { return gridRow - fixedRows(); }

    // The core grid changed shape or contents.
    void gridReset();
    void gridChanged();

signals:
    // A cell was edited in place (column, grid row).
    void cellEdited(int col, int row);

private:
    CoreGrid& grid_;
};

} // namespace rasmik
