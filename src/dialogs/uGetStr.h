#pragma once
// The one-line text input dialog: a right-to-left form with a prompt, an edit
// box, OK and Cancel, and the active keyboard language in a corner.

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace rasmik {

class TFGetStr : public QDialog {
    Q_OBJECT
public:
    explicit TFGetStr(QWidget* parent = nullptr);

    // Lays the form out for one question. caption and prompt are the
    // program's own texts (UTF-8 literals); defaultText is table text in
    // Windows-1256, and a leading left-to-right mark (0xFD) opens the edit box
    // left to right without the mark.
    void Prepare(const QString& caption, const QString& prompt, std::string_view defaultText);

    // The confirmed text in Windows-1256 without leading and trailing spaces;
    // empty unless OK was chosen.
    const std::string& Result() const { return result; }

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QLabel* Label3;
    QTimer* Timer1;
    QMenu* PopupMenu1;
    QAction* N1;

    void BitBtn1Click();
    void BitBtn2Click();
    void N1Click();
    void Timer1Timer();
    void Edit1ContextPopup(const QPoint& pos);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void FormActivate();
    void ApplyOuterHeight();

    std::string result;
};

// Asks for one line of text; returns it in Windows-1256 without leading and
// trailing spaces, or an empty text when the user cancels. caption and prompt
// are UTF-8 texts of the program; defaultText is Windows-1256 (see Prepare).
std::string AskString(const QString& caption, const QString& prompt, std::string_view defaultText);

// For tests of the commands that ask: `answer` runs once the next TFGetStr is
// shown, inside its modal loop, and is expected to close it.
void AnswerNextAskString(std::function<void(TFGetStr&)> answer);

} // namespace rasmik
