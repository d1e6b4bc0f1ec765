#include "print/ReportFont.h"

#include "table/FontRecord.h"

namespace rasmik {

ReportFont ReportFontFromRecord(const FontRecord& font)
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
