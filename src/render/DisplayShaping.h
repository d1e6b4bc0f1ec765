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

} // namespace rasmik
