#pragma once
// The grid font between Qt and "Font.fnt", and the Font command's dialog:
// Qt's font choices plus the font colour, which QFontDialog lacks.

#include "table/FontRecord.h"

#include <QDialog>
#include <QFont>

class QFontDialog;
class QPushButton;
class QCheckBox;

namespace rasmik {

// Point size of a font given in points or pixels (96 pixels an inch).
int FontPointSize(const QFont& font);
FontRecord RecordOfFont(const QFont& font, std::int32_t colour);
// Applies a record to a font: a size of 0 keeps the platform's default size.
void ApplyRecordToFont(const FontRecord& record, QFont& font);
// A packed colour (low byte red) or a system colour as Qt sees it.
QColor ColourOfValue(std::int32_t colour, const QColor& windowText);

class FontChooser : public QDialog {
    Q_OBJECT
public:
    explicit FontChooser(QWidget* parent = nullptr);
    void setSelectedFont(const QFont& font);
    QFont selectedFont() const;
    // WindowTextColour or a packed red-green-blue value.
    void setColourValue(std::int32_t colour);
    std::int32_t colourValue() const { return colour_; }
    QFontDialog* fontDialog() const { return fonts_; }

private:
    void showColour();
    QFontDialog* fonts_;
    QPushButton* colourButton_;
    QPushButton* defaultColourButton_;
    std::int32_t colour_ = WindowTextColour;
};

} // namespace rasmik
