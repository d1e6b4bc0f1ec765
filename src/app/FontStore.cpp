#include "app/FontStore.h"

#include "render/UiText.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace rasmik {

FontChooser::FontChooser(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Font"));
    fonts_ = new QFontDialog(this);
    fonts_->setWindowFlags(Qt::Widget);
    fonts_->setOption(QFontDialog::NoButtons, true);
    fonts_->setOption(QFontDialog::DontUseNativeDialog, true);
    // Return in its lists and Escape end the inner dialog as if it stood
    // alone, which would only hide it inside the chooser: they answer for the
    // chooser. Return elsewhere in it would find no OK button of its own.
    connect(fonts_, &QDialog::finished, this, [this](int result) {
        fonts_->setVisible(true);
        done(result);
    });
    fonts_->installEventFilter(this);

    colourButton_ = new QPushButton(Ui::tr("رنگ قلم..."), this);
    colourButton_->setObjectName(QStringLiteral("colourButton"));
    defaultColourButton_ = new QPushButton(Ui::tr("رنگ پیش فرض"), this);
    defaultColourButton_->setObjectName(QStringLiteral("defaultColourButton"));
    connect(colourButton_, &QPushButton::clicked, this, [this] {
        // Qt's own colour dialog speaks Persian; the desktop's may not.
        const QColor c = QColorDialog::getColor(ColourOfValue(colour_, palette().color(QPalette::WindowText)), this,
                                                QString(), QColorDialog::DontUseNativeDialog);
        if (c.isValid())
            setColourValue(c.red() | (c.green() << 8) | (c.blue() << 16));
    });
    connect(defaultColourButton_, &QPushButton::clicked, this, [this] { setColourValue(WindowTextColour); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(colourButton_);
    colourRow->addWidget(defaultColourButton_);
    colourRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fonts_);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
    showColour();
}

bool FontChooser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fonts_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = key->modifiers() == Qt::NoModifier
            || (key->modifiers() == Qt::KeypadModifier && key->key() == Qt::Key_Enter);
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FontChooser::setSelectedFont(const QFont& font)
{
    fonts_->setCurrentFont(font);
}

QFont FontChooser::selectedFont() const
{
    return fonts_->currentFont();
}

void FontChooser::setColourValue(std::int32_t colour)
{
    colour_ = colour;
    showColour();
}

void FontChooser::showColour()
{
    const QColor c = ColourOfValue(colour_, palette().color(QPalette::WindowText));
    colourButton_->setStyleSheet(QStringLiteral("QPushButton { color: %1; }").arg(c.name()));
}

} // namespace rasmik
