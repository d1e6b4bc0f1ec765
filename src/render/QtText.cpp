#include "render/QtText.h"

#include "text/Cp1256.h"

#include <cstdio>

namespace rasmik {

void ToQString(std::string_view text, QString& out, TextEncoding held)
{
    const auto n = static_cast<qsizetype>(text.size());
    if (held != TextEncoding::Windows1256) {
        // Plain ASCII (most cells of most tables) without the decoder.
        QChar* d = nullptr;
        for (qsizetype i = 0; i < n; ++i) {
            const unsigned char b = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
            if (b >= 0x80) {
                out = QString::fromUtf8(text.data(), n);
                return;
            }
            if (!d) {
                out.resize(n);
                d = out.data();
            }
            d[i] = QChar(b);
        }
        if (!d)
            out.resize(0);
        return;
    }
    out.resize(n);
    QChar* d = out.data();
    for (qsizetype i = 0; i < n; ++i)
        d[i] = QChar(Cp1256Table[static_cast<unsigned char>(text[static_cast<std::size_t>(i)])]);
}

QString ToQString(std::string_view text, TextEncoding held)
{
    QString out;
    ToQString(text, out, held);
    return out;
}

bool ShowOnOneLine(QString& text)
{
    const char16_t* d = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    qsizetype first = 0;
    while (first < n && d[first] != u'\n' && d[first] != u'\r' && d[first] != u'\t')
        ++first;
    if (first == n)
        return false;
    QString shown;
    shown.reserve(n);
    shown.append(QStringView(d, first));
    for (qsizetype i = first; i < n; ++i) {
        const char16_t c = d[i];
        if (c == u'\t') {
            shown.append(QLatin1Char(' '));
        } else if (c == u'\n' || c == u'\r') {
            shown.append(QChar(LineBreakMark));
            if (c == u'\r' && i + 1 < n && d[i + 1] == u'\n')
                ++i;
        } else {
            shown.append(QChar(c));
        }
    }
    text = std::move(shown);
    return true;
}

std::string FromQString(const QString& text, TextEncoding held)
{
    if (held != TextEncoding::Windows1256) {
        const QByteArray utf8 = text.toUtf8();
        return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    }
    return UnicodeToCp1256(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())));
}

std::optional<char32_t> FirstCharacterNotHeld(const QString& text, TextEncoding held)
{
    if (held != TextEncoding::Windows1256)
        return std::nullopt;
    std::string letters;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        letters.clear();
        if (!AppendNearestCp1256(cp, letters))
            return cp;
    }
    return std::nullopt;
}

std::string NamedCharacter(char32_t character)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(character));
    std::string shown;
    AppendUtf8(shown, character);
    return "«\u2068" + shown + "\u2069» (" + hex + ")";
}

} // namespace rasmik
