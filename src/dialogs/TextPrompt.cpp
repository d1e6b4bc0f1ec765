#include "dialogs/TextPrompt.h"

#include "render/QtText.h"
#include "render/UiText.h"
#include "text/KeyboardLayout.h"
#include "text/StringHelpers.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace rasmik {

namespace {

constexpr int ClientWidth = 351;
constexpr int OuterHeight = 132;
constexpr int ButtonTop = 72;
constexpr char LeftToRightMark = '\xFD';

std::function<void(TextPrompt&)> pendingAnswer;

QFont dialogFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

} // namespace

TextPrompt::TextPrompt(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("TextPrompt"));
    setLayoutDirection(UiDirection());
    setFont(dialogFont());

    // The prompt keeps its right edge in line with the edit box, as a
    // right-to-left label that sizes itself does.
    promptLabel_ = new QLabel(this);
    promptLabel_->setObjectName(QStringLiteral("promptLabel"));
    promptLabel_->setGeometry(8, 8, 329, 16);
    promptLabel_->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("edit"));
    edit_->setGeometry(8, 32, 329, 21);

    okButton_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), Ui::tr("تاييد"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setGeometry(264, ButtonTop, 75, 25);
    okButton_->setCursor(Qt::PointingHandCursor);

    cancelButton_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), Ui::tr("انصراف"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setGeometry(8, ButtonTop, 75, 25);
    cancelButton_->setCursor(Qt::PointingHandCursor);

    languageLabel_ = new QLabel(this);
    languageLabel_->setObjectName(QStringLiteral("languageLabel"));
    languageLabel_->setLayoutDirection(Qt::LeftToRight);
    languageLabel_->move(2, 0);
    QPalette moneyGreen = languageLabel_->palette();
    moneyGreen.setColor(QPalette::WindowText, QColor(192, 220, 192));
    languageLabel_->setPalette(moneyGreen);

    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName(QStringLiteral("contextMenu"));
    acceptAction_ = contextMenu_->addAction(Ui::tr("ثبت"));
    acceptAction_->setObjectName(QStringLiteral("acceptAction"));
    acceptAction_->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    acceptAction_->setShortcutContext(Qt::WidgetShortcut);
    edit_->addAction(acceptAction_);
    edit_->setContextMenuPolicy(Qt::CustomContextMenu);

    languageTimer_ = new QTimer(this);
    languageTimer_->setObjectName(QStringLiteral("languageTimer"));
    languageTimer_->setInterval(100);

    setTabOrder(edit_, okButton_);
    setTabOrder(okButton_, cancelButton_);

    connect(okButton_, &QPushButton::clicked, this, &TextPrompt::acceptText);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(acceptAction_, &QAction::triggered, this, &TextPrompt::acceptText);
    connect(languageTimer_, &QTimer::timeout, this, &TextPrompt::showInputLanguage);
    connect(edit_, &QLineEdit::customContextMenuRequested, this, &TextPrompt::showContextMenu);

    setFixedSize(ClientWidth, OuterHeight);
    languageTimer_->start();
}

void TextPrompt::prepare(const QString& caption, const QString& prompt, std::string_view defaultText, TextEncoding held)
{
    answer_.clear();
    held_ = held;
    applyOuterHeight();
    okButton_->move(okButton_->x(), ButtonTop);
    cancelButton_->move(cancelButton_->x(), ButtonTop);

    // Qt puts the application's name in an empty title; a blank keeps the bar empty.
    setWindowTitle(caption.isEmpty() ? QStringLiteral(" ") : caption);
    promptLabel_->setText(prompt);

    const std::string_view mark =
        held == TextEncoding::Windows1256 ? std::string_view(&LeftToRightMark, 1) : std::string_view("\xE2\x80\x8E");
    if (defaultText.substr(0, mark.size()) == mark) {
        edit_->setText(ToQString(defaultText.substr(mark.size()), held));
        edit_->setLayoutDirection(Qt::LeftToRight);
    } else {
        edit_->setText(ToQString(defaultText, held));
        edit_->setLayoutDirection(Qt::RightToLeft);
    }

    // Centred on the screen of the window that asks.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(ClientWidth / 2, OuterHeight / 2));
    }
}

QString persianCharacterRefused(char32_t character)
{
    return Ui::
        tr("نویسه %1 در رمزگذاری Windows-1256 این جدول نیست و نوشته نمی‌شود."
           " آن را بردارید، یا جدول را با UTF-8 یا UTF-16 ذخیره کنید.")
            .arg(QString::fromStdString(NamedCharacter(character)));
}

void TextPrompt::acceptText()
{
    // A '?' in place of the character would search, filter or print
    // something the user did not type.
    if (const auto refused = FirstCharacterNotHeld(edit_->text(), held_)) {
        QMessageBox::warning(this, windowTitle(), persianCharacterRefused(*refused));
        focusEdit();
        return;
    }
    answer_ = TrimSpaces(FromQString(edit_->text(), held_));
    accept();
}

void TextPrompt::showInputLanguage()
{
    const QString language = ToQString(CurrentInputLanguageText());
    if (languageLabel_->text() != language) {
        languageLabel_->setText(language);
        languageLabel_->adjustSize();
    }
}

void TextPrompt::showContextMenu(const QPoint& pos)
{
    contextMenu_->popup(edit_->mapToGlobal(pos));
}

void TextPrompt::focusEdit()
{
    edit_->setFocus(Qt::ActiveWindowFocusReason);
    edit_->selectAll();
}

// The outer height counts the frame, which is known only once the window
// manager has framed the window.
void TextPrompt::applyOuterHeight()
{
    const int frame = std::max(0, frameGeometry().height() - geometry().height());
    const int client = std::max(ButtonTop + 25, OuterHeight - frame);
    if (width() != ClientWidth || height() != client)
        setFixedSize(ClientWidth, client);
}

void TextPrompt::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    applyOuterHeight();
    focusEdit();
    showInputLanguage();
    if (auto answer = std::exchange(pendingAnswer, nullptr))
        QTimer::singleShot(0, this, [this, answer = std::move(answer)] { answer(*this); });
}

void TextPrompt::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    applyOuterHeight();
}

std::string askText(const QString& caption, const QString& promptText, std::string_view defaultText, TextEncoding held)
{
    QPointer<TextPrompt> prompt = new TextPrompt(QApplication::activeWindow());
    prompt->prepare(caption, promptText, defaultText, held);
    prompt->exec();
    std::string answer = prompt ? prompt->answer() : std::string();
    delete prompt;
    return answer;
}

void answerNextTextPrompt(std::function<void(TextPrompt&)> answer)
{
    pendingAnswer = std::move(answer);
}

} // namespace rasmik
