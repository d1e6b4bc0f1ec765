#pragma once
// What the layout knows of a font, and its copy kept between runs.

#include "table/TextMetrics.h"

#include <QFont>
#include <QString>

class QPaintDevice;

#include <array>
#include <cstdint>
#include <memory>

namespace rasmik {

// Everything the layout needs to know of a font, measured once per font,
// resolution and alphabet.
struct FontModel {
    std::array<int, 256> bounds{};           // whole pixels, for any context
    std::array<std::int64_t, 256> ascii64{}; // 1/64 pixel, for texts of printable ASCII
    std::int64_t space64 = 0;                // one space, in any script's run
    std::int64_t edge64 = 0;                 // what a space next to a word may add
    ShapeBounds shape;                       // ligatures, kerning, joining forms
    // How far a word's shape reaches beyond it, for the measurers' word
    // bounds: not at all but through the run's script (most fonts); into
    // the spaces beside it (Nastaliq's words end differently before a
    // space); further, so that texts of more than one word are measured.
    enum class Words : unsigned char { Alone, BetweenSpaces, Unbounded };
    Words words = Words::Alone;
};

// The key of a font's model: the font and the resolution it is drawn at
// (null: the screen's). Another alphabet's model adds its name.
QString FontModelKey(const QFont& font, const QPaintDevice* device = nullptr);

// The model measured for key in an earlier run, kept in the program folder;
// null when there is none, it is damaged, or anything it was measured from
// has changed since (the font files, the font configuration, the Qt
// version, or what the font draws a few texts as now).
std::shared_ptr<const FontModel> LoadFontModel(const QFont& font, const QString& key);
// Keeps the model for the next run; a failure only costs the next run the
// measuring.
void StoreFontModel(const QFont& font, const QString& key, const FontModel& model);

// The file the model of key is kept in.
std::string FontModelFile(const QFont& font, const QString& key);

} // namespace rasmik
