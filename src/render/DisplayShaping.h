#pragma once
// Display shaping of Iran System text: cells stored in visual order with
// Iran System glyph codes are shown as logical-order Windows-1256. Only the
// text on screen changes; the cells keep their bytes.

#include <string>
#include <string_view>

namespace rasmik {

// The text to show for a cell (may be empty: the caller then shows the cell).
std::string ShapeDisplayText(std::string_view text);
// The same into out (replaced), for a painter that reuses one buffer.
void ShapeDisplayText(std::string_view text, std::string& out);

// The bytes in the opposite order.
std::string ReverseText(std::string_view text);
// Iran System bytes 0x80..0xFF through IranSystemToAnsi (0xF2, lam-alef,
// gives lam then alef); '(' and ')' swap; other ASCII unchanged.
std::string MapIranSystem(std::string_view text);
// Every maximal run of bytes below 0x80 reversed back in place.
std::string RestoreLatinRuns(std::string_view text);
// Reverses text between 1-based positions a and b inclusive; nothing when
// b < a. Positions outside the text are brought inside it.
void ReverseRange(std::string& text, int a, int b);

} // namespace rasmik
