#pragma once
// The font a report line carries for its cells: face name, size and style.
// The name is Windows-1256 bytes like every other text of a report line.

#include <string>

namespace rasmik {

struct FontRecord;

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

struct ReportFont {
    std::string name; // face name, Windows-1256 bytes
    int size = 0;     // points
    FontStyle style;
};

// The grid font as the font store keeps it; its colour does not print.
ReportFont ReportFontFromRecord(const FontRecord& font);

} // namespace rasmik
