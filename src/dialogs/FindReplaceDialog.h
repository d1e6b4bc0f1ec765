#pragma once
// "Find and Replace": a right-to-left dialog with a "find" field and a
// "replace with" field (Tab moves between them), a check box for whole
// cells only, and a button that replaces every match (Enter).

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace rasmik {

class FindReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindReplaceDialog(QWidget* parent = nullptr);

    QString findText() const;
    QString replaceText() const;
    bool wholeCells() const;

    // The controls a user works, for tests that play the user.
    QLineEdit* findEdit() const { return find_; }
    QLineEdit* replaceEdit() const { return replace_; }
    QCheckBox* wholeCellsBox() const { return whole_; }
    QPushButton* replaceButton() const { return replaceButton_; }

private:
    QLineEdit* find_;
    QLineEdit* replace_;
    QCheckBox* whole_;
    QPushButton* replaceButton_;
};

} // namespace rasmik
