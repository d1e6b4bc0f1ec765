#pragma once
// The one-line text prompt: a right-to-left dialog with a prompt, an edit
// box, OK and Cancel, and the active keyboard language in a corner.

#include "text/TextEncoding.h"

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

// Why a typed or pasted text is not taken: the table's Windows-1256 lacks
// character, named with its U+ code. The cell or the prompt keeps the text
// open for the user to mend.
QString persianCharacterRefused(char32_t character);

class TextPrompt : public QDialog {
    Q_OBJECT
public:
    explicit TextPrompt(QWidget* parent = nullptr);

    // Lays the dialog out for one question. caption and prompt are the
    // program's own texts (UTF-8 literals); defaultText is table text in the
    // held form held (Windows-1256 or UTF-8), and a leading left-to-right mark
    // opens the edit box left to right without the mark.
    void prepare(const QString& caption, const QString& prompt, std::string_view defaultText,
                 TextEncoding held = TextEncoding::Windows1256);

    // The confirmed text in that held form without leading and trailing
    // spaces; empty unless OK was chosen.
    const std::string& answer() const { return answer_; }

    // The controls a user reads and works, for tests that play the user.
    QLineEdit* edit() const { return edit_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLabel* promptLabel() const { return promptLabel_; }
    QLabel* languageLabel() const { return languageLabel_; }
    // The edit box's context menu; its one item confirms, like Enter.
    QMenu* contextMenu() const { return contextMenu_; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void acceptText();
    void showInputLanguage();
    void showContextMenu(const QPoint& pos);
    void focusEdit();
    void applyOuterHeight();

    QLabel* promptLabel_;
    QLineEdit* edit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QLabel* languageLabel_;
    QTimer* languageTimer_;
    QMenu* contextMenu_;
    QAction* acceptAction_;

    std::string answer_;
    TextEncoding held_ = TextEncoding::Windows1256;
};

// Asks for one line of text; returns it in the held form held (Windows-1256
// unless told) without leading and trailing spaces, or an empty text when the
// user cancels. caption and prompt are UTF-8 texts of the program;
// defaultText is in the same held form (see prepare).
std::string askText(const QString& caption, const QString& prompt, std::string_view defaultText,
                    TextEncoding held = TextEncoding::Windows1256);

// For tests of the commands that ask: `answer` runs once the next TextPrompt
// is shown, inside its modal loop, and is expected to close it.
void answerNextTextPrompt(std::function<void(TextPrompt&)> answer);

} // namespace rasmik
