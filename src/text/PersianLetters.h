#pragma once
// Persian letter knowledge: the Iran System glyph codes.

namespace rasmik {

// Windows-1256 byte for each Iran System byte 0x80..0xFF (index byte - 0x80).
extern const unsigned char IranSystemToAnsi[128];

} // namespace rasmik
