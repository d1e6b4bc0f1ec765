#include "dialogs/uGetStr.h"

#include "render/QtText.h"
#include "text/KeyboardLayout.h"
#include "text/StringHelpers.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
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

std::function<void(TFGetStr&)> PendingAnswer;

QFont FormFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

} // namespace

TFGetStr::TFGetStr(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FGetStr"));
    setLayoutDirection(Qt::RightToLeft);
    setFont(FormFont());

    // The prompt keeps its right edge in line with the edit box, as a
    // right-to-left label that sizes itself does.
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 329, 16);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 32, 329, 21);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("تاييد"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(264, ButtonTop, 75, 25);
    BitBtn1->setCursor(Qt::PointingHandCursor);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("انصراف"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(8, ButtonTop, 75, 25);
    BitBtn2->setCursor(Qt::PointingHandCursor);

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setLayoutDirection(Qt::LeftToRight);
    Label3->move(2, 0);
    QPalette moneyGreen = Label3->palette();
    moneyGreen.setColor(QPalette::WindowText, QColor(192, 220, 192));
    Label3->setPalette(moneyGreen);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("ثبت"));
    N1->setObjectName(QStringLiteral("N1"));
    N1->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    N1->setShortcutContext(Qt::WidgetShortcut);
    Edit1->addAction(N1);
    Edit1->setContextMenuPolicy(Qt::CustomContextMenu);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TFGetStr::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFGetStr::BitBtn2Click);
    connect(N1, &QAction::triggered, this, &TFGetStr::N1Click);
    connect(Timer1, &QTimer::timeout, this, &TFGetStr::Timer1Timer);
    connect(Edit1, &QLineEdit::customContextMenuRequested, this, &TFGetStr::Edit1ContextPopup);

    setFixedSize(ClientWidth, OuterHeight);
    Timer1->start();
}

void TFGetStr::Prepare(const QString& caption, const QString& prompt, std::string_view defaultText) {
    result.clear();
    ApplyOuterHeight();
    BitBtn1->move(BitBtn1->x(), ButtonTop);
    BitBtn2->move(BitBtn2->x(), ButtonTop);

    // Qt puts the application's name in an empty title; a blank keeps the bar empty.
    setWindowTitle(caption.isEmpty() ? QStringLiteral(" ") : caption);
    Label1->setText(prompt);

    if (!defaultText.empty() && defaultText.front() == LeftToRightMark) {
        Edit1->setText(ToQString(defaultText.substr(1)));
        Edit1->setLayoutDirection(Qt::LeftToRight);
    } else {
        Edit1->setText(ToQString(defaultText));
        Edit1->setLayoutDirection(Qt::RightToLeft);
    }

    // Centred on the screen of the window that asks.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(ClientWidth / 2, OuterHeight / 2));
    }
}

void TFGetStr::BitBtn1Click() {
    result = TrimSpaces(FromQString(Edit1->text()));
    accept();
}

void TFGetStr::BitBtn2Click() {
    reject();
}

void TFGetStr::N1Click() {
    BitBtn1Click();
}

void TFGetStr::Timer1Timer() {
    const QString language = ToQString(CurrentInputLanguageText());
    if (Label3->text() != language) {
        Label3->setText(language);
        Label3->adjustSize();
    }
}

void TFGetStr::Edit1ContextPopup(const QPoint& pos) {
    PopupMenu1->popup(Edit1->mapToGlobal(pos));
}

void TFGetStr::FormActivate() {
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
    Edit1->selectAll();
}

// The outer height counts the frame, which is known only once the window
// manager has framed the window.
void TFGetStr::ApplyOuterHeight() {
    const int frame = std::max(0, frameGeometry().height() - geometry().height());
    const int client = std::max(ButtonTop + 25, OuterHeight - frame);
    if (width() != ClientWidth || height() != client)
        setFixedSize(ClientWidth, client);
}

void TFGetStr::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ApplyOuterHeight();
    FormActivate();
    Timer1Timer();
    if (auto answer = std::exchange(PendingAnswer, nullptr))
        QTimer::singleShot(0, this, [this, answer = std::move(answer)] { answer(*this); });
}

void TFGetStr::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    ApplyOuterHeight();
}

std::string AskString(const QString& caption, const QString& prompt, std::string_view defaultText) {
    QPointer<TFGetStr> form = new TFGetStr(QApplication::activeWindow());
    form->Prepare(caption, prompt, defaultText);
    form->exec();
    std::string answer = form ? form->Result() : std::string();
    delete form;
    return answer;
}

void AnswerNextAskString(std::function<void(TFGetStr&)> answer) {
    PendingAnswer = std::move(answer);
}

} // namespace rasmik
