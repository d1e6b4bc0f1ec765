#include "table/FontRecord.h"

#include "text/StringHelpers.h"

namespace rasmik {

std::string FontToText(const FontRecord& font)
{
    std::string s = std::to_string(font.size) + ' ' + std::to_string(font.colour);
    for (bool flag : {font.bold, font.italic, font.underline, font.strikeOut})
        s += flag ? " 1" : " 0";
    s += ' ';
    s += font.name;
    return s;
}

void TextToFont(std::string_view line, FontRecord& font)
{
    if (line.empty())
        return;
    std::string_view rest = line;
    font.size = TakeIntToken(rest, 0);
    font.colour = TakeIntToken(rest, 0);
    font.bold = TakeFlagToken(rest);
    font.italic = TakeFlagToken(rest);
    font.underline = TakeFlagToken(rest);
    font.strikeOut = TakeFlagToken(rest);
    if (!rest.empty())
        font.name = std::string(rest);
}

} // namespace rasmik
