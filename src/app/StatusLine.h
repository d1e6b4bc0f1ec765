#pragma once
// The status bar at the foot of the window: what the open table is (its
// encoding, its rows and columns).

#include <QStatusBar>

class QLabel;

namespace rasmik {

class CoreGrid;
struct FileEncoding;

class StatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    // The table's encoding and size: rows below the header row, and columns.
    void showTable(const FileEncoding& encoding, const CoreGrid& grid);

    // The parts as shown, for tests that read them.
    QLabel* encodingLabel() const { return encoding_; }
    QLabel* sizeLabel() const { return size_; }

private:
    QLabel* encoding_;
    QLabel* size_;
};

} // namespace rasmik
