#pragma once
// Text measurement in a Qt font for the table layout, and the one width
// function that the layout and the cell painter share.

#include "table/TextMetrics.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include <memory>
#include <mutex>
#include <string_view>

class QPaintDevice;

namespace rasmik {

// Width of a text as the painter draws it: right-to-left base direction.
int DisplayTextWidth(const QFontMetrics& metrics, const QString& text);

// The font that cells are measured in: cells are drawn without the font's
// style (bold, italic, underline, strike-out).
QFont MeasuringFont(const QFont& font);

// Starts measuring a font's bounds on another thread, so that a
// QtTextMetrics of the same font (for the screen) made later finds them
// ready. Needs a running application, which waits for it at its end.
void PrepareTextMetrics(const QFont& font);

// How many times this process has measured a font's bounds.
int FontBoundsMeasured();

struct FontModel;

// The font's bounds (bytes, kerning, ligatures, joining forms) are measured
// once per program run (on two threads), when first asked for; measurers
// made by measurer() may work on other threads at the same time.
class QtTextMetrics : public TextMetrics {
public:
    // device: where the text will be drawn (its resolution); null for the screen.
    explicit QtTextMetrics(const QFont& font, const QPaintDevice* device = nullptr);
    ~QtTextMetrics() override;

    int textWidth(std::string_view text) const override;
    int utf8TextWidth(std::string_view utf8) const override;
    int textHeight(std::string_view text) const override;
    int byteAdvanceBound(unsigned char b) const override;
    int maxByteAdvanceBound() const override;
    bool shapeBounds(ShapeBounds& out) const override;
    // Measured once per program run, font and alphabet, on first use.
    bool alphabetBounds(const TextAlphabet& alphabet, std::vector<std::int64_t>& general64,
                        ShapeBounds& shape) const override;
    std::unique_ptr<TextMeasurer> measurer() const override;
    bool concurrentMeasurers() const override { return true; }

    const QFont& font() const { return font_; }

private:
    const FontModel& model() const;

    QFont font_;
    QFontMetrics metrics_;
    QString modelKey_;
    mutable std::once_flag modelOnce_;
    mutable std::shared_ptr<const FontModel> model_;
    mutable int maxBound_ = 0;
};

} // namespace rasmik
