#pragma once
// Numbers as a UTF-8 table may write them: with Persian or Arabic-Indic
// digits and the Arabic decimal and thousands separators. The number readers
// take ASCII only, so such text is brought to its ASCII form first.

#include "text/TextEncoding.h"

#include <string>
#include <string_view>

namespace rasmik {

// The ASCII digit ('0'..'9') of a Persian (U+06F0..U+06F9) or Arabic-Indic
// (U+0660..U+0669) digit, else 0.
constexpr char AsciiDigitOf(char32_t cp)
{
    if (cp >= 0x06F0 && cp <= 0x06F9)
        return static_cast<char>('0' + (cp - 0x06F0));
    if (cp >= 0x0660 && cp <= 0x0669)
        return static_cast<char>('0' + (cp - 0x0660));
    return 0;
}
inline constexpr char32_t ArabicDecimalSeparator = 0x066B;
inline constexpr char32_t ArabicThousandsSeparator = 0x066C;

// text as the number readers take it. In UTF-8 the Persian and Arabic-Indic
// digits become ASCII digits, U+066B a '.', U+066C a ','; every other
// character stays as it is. Windows-1256 text, and text with no byte beyond
// ASCII, comes back unchanged without a copy; otherwise the result lives in
// buffer.
std::string_view AsciiNumberText(std::string_view text, TextEncoding held, std::string& buffer);

// The same for the readers of whole numbers (Sum, Sort), which stop early:
// false when a character beyond ASCII is not one of those digits or
// separators, as the text is then no number; else ascii is what
// AsciiNumberText gives.
bool AsciiNumberCandidate(std::string_view text, TextEncoding held, std::string& buffer, std::string_view& ascii);

} // namespace rasmik
