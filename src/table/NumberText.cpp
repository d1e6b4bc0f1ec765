#include "table/NumberText.h"

#include <algorithm>

namespace rasmik {

namespace {

// AsciiNumberText's conversion; with onlyNumbers, false as soon as a
// character beyond ASCII is neither a digit nor a separator.
bool ConvertNumberText(std::string_view text, TextEncoding held, std::string& buffer, bool onlyNumbers,
                       std::string_view& out)
{
    out = text;
    if (held != TextEncoding::Utf8)
        return true;
    const auto beyondAscii = std::find_if(text.begin(), text.end(), [](char ch) { return (ch & 0x80) != 0; });
    if (beyondAscii == text.end())
        return true;
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
        else if (onlyNumbers)
            return false;
        else
            buffer.append(text.substr(at, i - at));
    }
    out = buffer;
    return true;
}

} // namespace

std::string_view AsciiNumberText(std::string_view text, TextEncoding held, std::string& buffer)
{
    std::string_view out;
    ConvertNumberText(text, held, buffer, false, out);
    return out;
}

bool AsciiNumberCandidate(std::string_view text, TextEncoding held, std::string& buffer, std::string_view& ascii)
{
    return ConvertNumberText(text, held, buffer, true, ascii);
}

} // namespace rasmik
