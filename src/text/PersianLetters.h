#pragma once
// Persian letter knowledge: Iran System glyph codes and the kaf folding.

#include <string>

namespace rasmik {

// Windows-1256 byte for each Iran System byte 0x80..0xFF (index byte - 0x80).
extern const unsigned char IranSystemToAnsi[128];

// Every 0x98 (keheh, the Persian kaf) becomes 0xDF (the Arabic kaf), in place.
void NormalizeKaf(std::string& text);

} // namespace rasmik
