#pragma once
// The Qt model over the open table's grid. Body rows only: the fixed row 0 is
// shown by the grid's header. Texts are converted only for the cell asked
// for. Edits go to the document; the document tells the model of every
// change, before and after it.

#include "table/CoreGrid.h"
#include "table/TableDocument.h"

#include <QAbstractTableModel>

namespace rasmik {

class GridModel : public QAbstractTableModel, public TableObserver {
    Q_OBJECT
public:
    explicit GridModel(TableDocument& document, QObject* parent = nullptr);
    ~GridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const CoreGrid& grid() const { return document_.grid(); }
    // Grid rows above the body (0 or 1).
    int fixedRows() const;
    // While filtered, the model's rows are the rows that show.
    int gridRow(int modelRow) const
    {
        return document_.isFiltered() ? document_.shownRows()[static_cast<std::size_t>(modelRow)]
                                      : modelRow + fixedRows();
    }
    // -1 for a row the filter hides (or the fixed row).
    int modelRow(int gridRow) const;

    // TableObserver
    void gridAboutToBeReplaced() override;
    void gridReplaced() override;
    void rowAboutToBeRemoved(int row) override;
    void rowRemoved(int row) override;
    void columnAboutToBeRemoved(int col) override;
    void columnRemoved(int col) override;
    void rowAboutToBeInserted(int row) override;
    void rowInserted(int row) override;
    void columnAboutToBeInserted(int col) override;
    void columnInserted(int col) override;
    void columnMoved(int from, int to) override;
    void cellChanged(int col, int row) override;
    void cellsChanged(int firstCol, int lastCol) override;
    void cursorMoved() override { emit documentCursorMoved(); }

signals:
    // The grid is about to change shape, and has changed it (a replacement,
    // a row or column removed or put back, a column moved): sizes, the
    // selection and the cursor are to be shown again.
    void shapeAboutToChange();
    void shapeChanged();
    // A new grid is in place and its rows are not yet shown: the time to give
    // them their height, before there may be a million of them.
    void newGridInPlace();
    // The document put the cursor on a cell itself.
    void documentCursorMoved();

private:
    TableDocument& document_;
    // The removal or insertion under way is shown as a reset: the fixed row
    // goes or comes with it.
    bool changeResets_ = false;
};

} // namespace rasmik
