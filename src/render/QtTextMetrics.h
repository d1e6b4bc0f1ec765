#pragma once
// Text measurement in a Qt font for the table layout, and the one width
// function that the layout and the cell painter share.

#include "table/TextMetrics.h"

#include <QFont>
#include <QFontMetrics>

#include <array>
#include <string_view>

class QPaintDevice;
class QString;

namespace rasmik {

// Width of a text as the painter draws it: right-to-left base direction.
int DisplayTextWidth(const QFontMetrics& metrics, const QString& text);

class QtTextMetrics : public TextMetrics {
public:
    // device: where the text will be drawn (its resolution); null for the screen.
    explicit QtTextMetrics(const QFont& font, const QPaintDevice* device = nullptr);

    int textWidth(std::string_view text) const override;
    int textHeight(std::string_view text) const override;
    int byteAdvanceBound(unsigned char b) const override;
    int maxByteAdvanceBound() const override;

    const QFont& font() const { return font_; }

private:
    QFont font_;
    QFontMetrics metrics_;
    std::array<int, 256> bounds_{};
    int maxBound_ = 0;
};

} // namespace rasmik
