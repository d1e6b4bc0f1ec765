#include "table/NumberText.h"

#include <algorithm>

namespace rasmik {

std::string_view AsciiNumberText(std::string_view text, TextEncoding held, std::string& buffer)
{
    if (held != TextEncoding::Utf8)
        return text;
    const auto beyondAscii = std::find_if(text.begin(), text.end(), [](char ch) { return (ch & 0x80) != 0; });
    if (beyondAscii == text.end())
        return text;
    buffer.assign(text.begin(), beyondAscii);
    std::size_t i = buffer.size();
    while (i < text.size()) {
        if ((text[i] & 0x80) == 0) {
            buffer.push_back(text[i++]);
            continue;
        }
        const std::size_t at = i;
        const char32_t cp = NextCodePoint(text, i);
        if (const char digit = AsciiDigitOf(cp))
            buffer.push_back(digit);
        else if (cp == ArabicDecimalSeparator)
            buffer.push_back('.');
        else if (cp == ArabicThousandsSeparator)
            buffer.push_back(',');
        else
            buffer.append(text.substr(at, i - at));
    }
    return buffer;
}

} // namespace rasmik
