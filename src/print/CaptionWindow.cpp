#include "print/CaptionWindow.h"

#include "print/ReportEngine.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace rasmik {

QString VisibleCaptionPart(const QString& text, int maxChars, VisibleEdge edge)
{
    if (text.size() <= maxChars)
        return text;
    const QByteArray utf8 = text.toUtf8();
    const std::string_view held(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    const std::vector<ShownPiece> pieces =
        ShownPieces(held, TextEncoding::Utf8, DirectionOfText(held, TextEncoding::Utf8), edge,
                    static_cast<std::size_t>(std::max(maxChars, 0)), true);
    if (pieces.empty())
        return text;
    QString kept;
    kept.reserve(maxChars * 2);
    for (const ShownPiece& piece : pieces) {
        if (piece.mark != ShownPiece::Mark::None)
            kept += QChar(piece.mark == ShownPiece::Mark::LeftToRight ? 0x200E : 0x200F);
        kept += QString::fromUtf8(held.substr(piece.from, piece.to - piece.from));
    }
    return kept;
}

QString CutCaptionToLabel(const QString& text, const QFont& font, int widthPx, VisibleEdge edge)
{
    // Nearly every character is at least half a screen pixel wide at the
    // smallest size; the check below covers texts of narrower ones. (A damaged
    // report line can ask for a label billions of pixels wide.)
    const qint64 enough = std::max<qint64>(widthPx, 1) * 2 + 16;
    if (text.size() <= enough)
        return text;
    QFont smallest = font;
    smallest.setPointSize(SmallestFontSize);
    for (auto maxChars = static_cast<qsizetype>(enough); maxChars < text.size(); maxChars *= 2) {
        QString part = VisibleCaptionPart(text, static_cast<int>(std::min<qsizetype>(maxChars, INT_MAX)), edge);
        if (ScreenTextWidth(smallest, part) > widthPx)
            return part;
    }
    return text;
}

} // namespace rasmik
