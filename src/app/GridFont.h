#pragma once
// The grid font between Qt and "Font.fnt", without any widget: the window
// and the command line start from the same font.

#include "table/FontRecord.h"

#include <QColor>
#include <QFont>

#include <string>

namespace rasmik {

inline constexpr const char* FontFileName = "Font.fnt";

// Point size of a font given in points or pixels (96 pixels an inch).
int FontPointSize(const QFont& font);
FontRecord RecordOfFont(const QFont& font, std::int32_t colour);
// Applies a record to a font: a size of 0 keeps the platform's default size.
void ApplyRecordToFont(const FontRecord& record, QFont& font);
// A packed colour (low byte red) or a system colour as Qt sees it.
QColor ColourOfValue(std::int32_t colour, const QColor& windowText);

// The main window's own font: Tahoma, 13 pixels.
QFont WindowFont();
// The Font dialog's font before any choice: MS Sans Serif, 11 pixels. The
// header strip keeps it when "Font.fnt" has none.
QFont FontDialogStartFont();

// The font "Font.fnt" of a folder keeps, over the Font dialog's start font.
struct SavedFont {
    bool found = false; // false when the file is missing, empty or unreadable
    QFont font = FontDialogStartFont();
    std::int32_t colour = WindowTextColour;
};
SavedFont LoadSavedFont(const std::string& folder);

// The font the grid starts with, as its widget resolves it: the saved font,
// else the window's font. Needs a running application.
QFont GridFontAtStart(const SavedFont& saved);

} // namespace rasmik
