#include "app/FontStore.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
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

    colourButton_ = new QPushButton(QStringLiteral("رنگ قلم..."), this);
    colourButton_->setObjectName(QStringLiteral("colourButton"));
    defaultColourButton_ = new QPushButton(QStringLiteral("رنگ پیش فرض"), this);
    defaultColourButton_->setObjectName(QStringLiteral("defaultColourButton"));
    connect(colourButton_, &QPushButton::clicked, this, [this] {
        const QColor c = QColorDialog::getColor(ColourOfValue(colour_, palette().color(QPalette::WindowText)), this);
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
