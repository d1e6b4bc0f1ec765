#pragma once
// The grid font as "Font.fnt" keeps it: one line of seven space-separated
// fields (size, colour, bold, italic, underline, strike-out, name).

#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

// The window text colour as a system colour value (0x80000000 + index 8).
inline constexpr std::int32_t WindowTextColour = static_cast<std::int32_t>(0x80000008u);

struct FontRecord {
    int size = 0;                           // points
    std::int32_t colour = WindowTextColour; // packed red-green-blue, or a system colour
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::string name;
};

std::string FontToText(const FontRecord& font);
// Sets size, colour, style and (when the line has one) name from a line;
// an empty line changes nothing.
void TextToFont(std::string_view line, FontRecord& font);

} // namespace rasmik
