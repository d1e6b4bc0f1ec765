#pragma once
// The style record of a grid cell: nine comma-separated values built by the
// draw handler and read back by the painter. Plain C++, no toolkit.

#include "text/StringHelpers.h"
#include "text/TextEncoding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rasmik {

// Packed colours: red in the low byte, then green, then blue.
constexpr std::int32_t PackColour(int r, int g, int b)
{
    return static_cast<std::int32_t>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int ColourRed(std::int32_t c)
{
    return c & 0xFF;
}
constexpr int ColourGreen(std::int32_t c)
{
    return (c >> 8) & 0xFF;
}
constexpr int ColourBlue(std::int32_t c)
{
    return (c >> 16) & 0xFF;
}

constexpr std::int32_t HeaderFontColour = 16777215;   // white
constexpr std::int32_t HeaderBackColour = 255;        // red
constexpr std::int32_t EvenRowBackColour = 16777215;  // white
constexpr std::int32_t OddRowBackColour = 16775923;   // 243, 250, 255
constexpr std::int32_t UnfocusedCellColour = 6998782; // 254, 202, 106
constexpr std::int32_t FocusedCellColour = 65535;     // yellow
constexpr std::int32_t CurrentRowColour = 15784177;   // lilac 241, 216, 240
constexpr std::int32_t GradientEdgeColour = 15395562; // grey 234, 234, 234

// Font colour of a body cell, by column number modulo 8.
constexpr std::array<std::int32_t, 8> ColumnFontColours{
    0,        // black
    255,      // red
    32768,    // green
    16711680, // blue
    128,      // maroon
    8388608,  // navy
    16711935, // fuchsia
    32896,    // olive
};

// Align field: edges in the grid's reading direction (start = right on screen).
constexpr int AlignStart = 0;
constexpr int AlignEnd = 1;
constexpr int AlignCentre = 2;

// StyleBits field.
constexpr int StyleBold = 1;
constexpr int StyleItalic = 2;
constexpr int StyleUnderline = 4;
constexpr int StyleStrikeOut = 8;

// The record read back.
struct CellStyle {
    std::int32_t fontColour = 0;
    std::int32_t evenRowBack = 0;
    std::int32_t oddRowBack = 0;
    std::int32_t selectedBackUnfocused = 0;
    std::int32_t selectedBackFocused = 0;
    std::int32_t align = 0;
    std::int32_t styleBits = 0; // as written; only the low four bits mean anything
    std::int32_t fontSize = 0;  // points; 0 = the grid's own size
    std::string fontName;       // empty = the grid's own font
};

// The eight integers in decimal, the style bits cut to their low four bits,
// joined by commas, then a comma and the font name as it is.
std::string FormatCellStyle(std::int32_t fontColour, std::int32_t evenRowBack, std::int32_t oddRowBack,
                            std::int32_t selectedBackUnfocused, std::int32_t selectedBackFocused, std::int32_t align,
                            std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName);
// The same into out (replaced), for callers that reuse one buffer per paint.
void FormatCellStyle(std::string& out, std::int32_t fontColour, std::int32_t evenRowBack, std::int32_t oddRowBack,
                     std::int32_t selectedBackUnfocused, std::int32_t selectedBackFocused, std::int32_t align,
                     std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName);

// The record of cell (col, row). A background of -1 takes the default
// constant; row 0 is the white-on-red, centred header whatever is passed.
std::string BuildCellStyle(int col, int row, std::string_view alignLetters, std::int32_t oddRowBack = -1,
                           std::int32_t styleBits = 0, std::int32_t fontSize = 0, std::string_view fontName = {},
                           std::int32_t evenRowBack = -1);
void BuildCellStyle(std::string& out, int col, int row, std::string_view alignLetters, std::int32_t oddRowBack = -1,
                    std::int32_t styleBits = 0, std::int32_t fontSize = 0, std::string_view fontName = {},
                    std::int32_t evenRowBack = -1);

// Align of column col from the letters: C/c centre, L/l start, anything
// else, or no letter, end.
int AlignFromLetters(std::string_view alignLetters, int col);

// True when every byte of text is in set; true for an empty text.
bool AllCharsIn(std::string_view text, const CharSet& set);

// Start edge for a text led by the left-to-right mark (0xFD) or made of bytes
// 0x00..0x80 only (the euro sign 0x80 counts as plain): one 'l' per column.
// Otherwise (Persian) no letters, which means the end edge. Held UTF-8 text
// goes the same way by its characters: led by U+200E, or made of ASCII, the
// euro sign, Persian and Arabic-Indic digits and the Arabic decimal and
// thousands separators only.
std::string AlignmentLettersFor(std::string_view displayText, int colCount,
                                TextEncoding held = TextEncoding::Windows1256);
void AlignmentLettersFor(std::string& out, std::string_view displayText, int colCount,
                         TextEncoding held = TextEncoding::Windows1256);

// Whether a character of held UTF-8 text reads as a digit: ASCII, Persian
// (U+06F0..U+06F9) or Arabic-Indic (U+0660..U+0669).
constexpr bool IsAnyDigit(char32_t cp)
{
    return (cp >= U'0' && cp <= U'9') || (cp >= 0x06F0 && cp <= 0x06F9) || (cp >= 0x0660 && cp <= 0x0669);
}

// Reads a record back. Each of the first eight fields must be a decimal
// 32-bit integer (optional sign, digits, nothing else); the ninth is the
// whole remainder, commas included. Anything else cannot be read.
std::optional<CellStyle> ParseCellStyle(std::string_view record);
// The same into out, reusing its font-name buffer; false (out unspecified)
// when the record cannot be read.
bool ParseCellStyle(std::string_view record, CellStyle& out);

} // namespace rasmik
