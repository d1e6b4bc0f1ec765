#pragma once
// The status bar at the foot of the window: what the open table is (its
// encoding, how its fields are separated, its rows and columns).

#include <QStatusBar>

#include <cstddef>
#include <string>

class QLabel;

namespace rasmik {

class CoreGrid;
struct FileEncoding;
struct TableForm;
struct TextEnd;

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    // The table's encoding, its separator and size: rows below the header
    // row, and columns.
    void showTable(const FileEncoding& encoding, const TableForm& form, const CoreGrid& grid);
    // The current cell as every message names one (persianCellPlace): its
    // row number and its column's name (the header row's text, else the
    // column's number).
    void showCell(const CoreGrid& grid, int col, int row);
    // No current cell: the filter lets no row show.
    void showNoRow();
    // A block of more than one cell: how many, and the sum of their numbers
    // as "Sum Of Current Column" shows it; nothing for a single cell.
    void showSelection(std::size_t cells, const std::string& sum);
    void clearSelection();
    // While a filter is on: that it is, and how many rows show.
    void showFilter(std::size_t shownRows);
    void clearFilter();

    // The parts as shown, for tests that read them.
    QLabel* encodingLabel() const { return encoding_; }
    QLabel* formLabel() const { return form_; }
    QLabel* sizeLabel() const { return size_; }
    QLabel* cellLabel() const { return cell_; }
    QLabel* selectionLabel() const { return selection_; }
    QLabel* filterLabel() const { return filter_; }
    QLabel* textEndLabel() const { return notice_; }

    // What of the table's file the grid lacks: where a NUL cut the text off,
    // or the half character a UTF-16 file ends in, or that a quote opened in
    // a comma-separated file was never closed; hidden when it has all.
    void showTextEnd(const TextEnd& end, bool unclosedQuote = false);

private:
    QLabel* encoding_;
    QLabel* form_;
    QLabel* size_;
    QLabel* cell_;
    QLabel* selection_;
    QLabel* filter_;
    QLabel* notice_;
};

} // namespace rasmik
