#include "render/QtText.h"

#include "text/Cp1256.h"

namespace rasmik {

void ToQString(std::string_view cp1256, QString& out)
{
    const auto n = static_cast<qsizetype>(cp1256.size());
    out.resize(n);
    QChar* d = out.data();
    for (qsizetype i = 0; i < n; ++i)
        d[i] = QChar(Cp1256Table[static_cast<unsigned char>(cp1256[static_cast<std::size_t>(i)])]);
}

QString ToQString(std::string_view cp1256)
{
    QString out;
    ToQString(cp1256, out);
    return out;
}

std::string FromQString(const QString& text)
{
    return UnicodeToCp1256(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

} // namespace rasmik
