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

int FontPointSize(const QFont& font)
{
    if (font.pointSize() > 0)
        return font.pointSize();
    if (font.pixelSize() > 0)
        return static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96.0));
    return 0;
}

FontRecord RecordOfFont(const QFont& font, std::int32_t colour)
{
    FontRecord s;
    s.size = FontPointSize(font);
    s.colour = colour;
    s.bold = font.bold();
    s.italic = font.italic();
    s.underline = font.underline();
    s.strikeOut = font.strikeOut();
    s.name = font.family().toStdString();
    return s;
}

void ApplyRecordToFont(const FontRecord& record, QFont& font)
{
    // A damaged "Font.fnt" may hold any 32-bit size; the Font dialog offers at
    // most 512, and metrics of larger fonts overflow.
    constexpr int LargestSize = 512;
    if (record.size > 0)
        font.setPointSize(std::min(record.size, LargestSize));
    else if (record.size < 0)
        font.setPixelSize(record.size < -LargestSize ? LargestSize : -record.size);
    else
        font.setPointSize(QFont().pointSize() > 0 ? QFont().pointSize() : 9);
    font.setBold(record.bold);
    font.setItalic(record.italic);
    font.setUnderline(record.underline);
    font.setStrikeOut(record.strikeOut);
    if (!record.name.empty())
        font.setFamily(QString::fromStdString(record.name));
}

QColor ColourOfValue(std::int32_t colour, const QColor& windowText)
{
    if (colour < 0)
        return windowText;
    const auto v = static_cast<std::uint32_t>(colour);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

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
