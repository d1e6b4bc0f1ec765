#include "print/ReportFont.h"

#include "table/FontSpec.h"

namespace rasmik {

ReportFont ReportFontFromSpec(const FontSpec& font)
{
    ReportFont f;
    f.name = font.name;
    f.size = font.size;
    f.style.bold = font.bold;
    f.style.italic = font.italic;
    f.style.underline = font.underline;
    f.style.strikeOut = font.strikeOut;
    return f;
}

} // namespace rasmik
