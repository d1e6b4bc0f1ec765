#pragma once
// The Font command's dialog: Qt's font choices plus the font colour, which
// QFontDialog lacks.

#include "app/GridFont.h"

#include <QDialog>
#include <QFont>

class QFontDialog;
class QPushButton;
class QCheckBox;

namespace rasmik {

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showColour();
    QFontDialog* fonts_;
    QPushButton* colourButton_;
    QPushButton* defaultColourButton_;
    std::int32_t colour_ = WindowTextColour;
};

} // namespace rasmik
