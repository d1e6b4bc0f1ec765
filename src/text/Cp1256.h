#pragma once
// Windows-1256 <-> Unicode. Table text is Windows-1256 everywhere in the core;
// these conversions happen only at the edge of the toolkit.

#include <string>
#include <string_view>

namespace rasmik {

// The Unicode code point of every Windows-1256 byte.
extern const char16_t Cp1256Table[256];

inline char16_t Cp1256ToUnicodeChar(unsigned char b)
{
    return Cp1256Table[b];
}
std::u16string Cp1256ToUnicode(std::string_view bytes);

// UTF-16 text to Windows-1256: each character as its exact byte, else the
// nearest letter where one exists (U+06CC to 0xED, U+06C0 to heh 0xE5,
// Persian and Arabic-Indic digits to ASCII digits, U+066A..U+066C to '%',
// '.' and ',', an Arabic presentation form to its letter), else '?'; a surrogate pair is one character ('?'), a
// lam-alef ligature (U+FEF5..U+FEFC) becomes lam and alef.
std::string UnicodeToCp1256(std::u16string_view text);
// UTF-8 text to Windows-1256 (for literals and command-line arguments), as
// above; each broken sequence becomes one '?'.
std::string Utf8ToCp1256(std::string_view utf8);
std::string Cp1256ToUtf8(std::string_view bytes);

// The byte of a code point that Windows-1256 holds exactly; -1 otherwise.
int ExactCp1256Byte(char32_t cp);
// Appends a code point as UnicodeToCp1256 gives it (the exact byte, else the
// nearest letter, a lam-alef ligature as two letters); false, appending
// nothing, when it has neither.
bool AppendNearestCp1256(char32_t cp, std::string& out);

} // namespace rasmik
