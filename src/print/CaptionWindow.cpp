#include "print/CaptionWindow.h"

#include "print/ReportEngine.h"

#include <QChar>

#include <algorithm>
#include <climits>
#include <vector>

namespace rasmik {

namespace {

enum class Kind { L, R, EN, AN, Neutral };

// Code points with their resolved embedding level in a right-to-left
// paragraph: 1 for right-to-left text and neutrals, 2 for left-to-right text
// and numbers. Follows the weak and neutral type rules of the bidirectional
// algorithm closely enough to find where runs start and end.
struct CodePoints {
    std::vector<int> start; // index in the text, one more entry at the end
    std::vector<char> level;
};

CodePoints resolveLevels(const QString& text)
{
    CodePoints cp;
    std::vector<QChar::Direction> dirs;
    const int n = static_cast<int>(text.size());
    for (int i = 0; i < n;) {
        char32_t c = text[i].unicode();
        int width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            width = 2;
        }
        cp.start.push_back(i);
        dirs.push_back(QChar::direction(c));
        i += width;
    }
    cp.start.push_back(n);
    const std::size_t count = dirs.size();

    // W1 to W3: marks take the type before them; numbers after Arabic
    // letters are Arabic numbers; Arabic letters are right to left.
    std::vector<Kind> kind(count, Kind::Neutral);
    std::vector<bool> terminator(count, false), separator(count, false), commonSeparator(count, false);
    QChar::Direction previous = QChar::DirR;
    QChar::Direction lastStrong = QChar::DirR;
    for (std::size_t i = 0; i < count; ++i) {
        QChar::Direction d = dirs[i];
        if (d == QChar::DirNSM)
            d = previous;
        previous = d;
        switch (d) {
        case QChar::DirL:
            kind[i] = Kind::L;
            lastStrong = d;
            break;
        case QChar::DirR:
        case QChar::DirAL:
            kind[i] = Kind::R;
            lastStrong = d;
            break;
        case QChar::DirEN: kind[i] = lastStrong == QChar::DirAL ? Kind::AN : Kind::EN; break;
        case QChar::DirAN: kind[i] = Kind::AN; break;
        case QChar::DirET: terminator[i] = true; break;
        case QChar::DirES: separator[i] = true; break;
        case QChar::DirCS: commonSeparator[i] = true; break;
        default: break;
        }
    }
    // W4: one separator between two numbers of a kind joins them.
    for (std::size_t i = 1; i + 1 < count; ++i) {
        if (kind[i - 1] == Kind::EN && kind[i + 1] == Kind::EN && (separator[i] || commonSeparator[i]))
            kind[i] = Kind::EN;
        else if (kind[i - 1] == Kind::AN && kind[i + 1] == Kind::AN && commonSeparator[i])
            kind[i] = Kind::AN;
    }
    // W5: terminators next to a European number belong to it.
    for (std::size_t i = 0; i < count;) {
        if (!terminator[i] || kind[i] != Kind::Neutral) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < count && terminator[j] && kind[j] == Kind::Neutral)
            ++j;
        if ((i > 0 && kind[i - 1] == Kind::EN) || (j < count && kind[j] == Kind::EN))
            std::fill(kind.begin() + static_cast<std::ptrdiff_t>(i), kind.begin() + static_cast<std::ptrdiff_t>(j),
                      Kind::EN);
        i = j;
    }
    // W7: European numbers after left-to-right text are left to right.
    Kind strong = Kind::R;
    for (std::size_t i = 0; i < count; ++i) {
        if (kind[i] == Kind::L || kind[i] == Kind::R)
            strong = kind[i];
        else if (kind[i] == Kind::EN && strong == Kind::L)
            kind[i] = Kind::L;
    }
    // N1, N2: neutrals between two sides of one direction take it (numbers
    // count as right to left), others the paragraph's.
    auto side = [](Kind k) { return k == Kind::L ? Kind::L : Kind::R; };
    for (std::size_t i = 0; i < count;) {
        if (kind[i] != Kind::Neutral) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < count && kind[j] == Kind::Neutral)
            ++j;
        const Kind before = i > 0 ? side(kind[i - 1]) : Kind::R;
        const Kind after = j < count ? side(kind[j]) : Kind::R;
        const Kind resolved = before == after ? before : Kind::R;
        std::fill(kind.begin() + static_cast<std::ptrdiff_t>(i), kind.begin() + static_cast<std::ptrdiff_t>(j),
                  resolved);
        i = j;
    }
    cp.level.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        cp.level[i] = kind[i] == Kind::R ? 1 : 2;
    // L1: white space at the end of the line is at the paragraph's level.
    for (std::size_t i = count; i > 0 && (dirs[i - 1] == QChar::DirWS || dirs[i - 1] == QChar::DirBN); --i)
        cp.level[i - 1] = 1;
    return cp;
}

} // namespace

QString VisibleCaptionPart(const QString& text, int maxChars, VisibleEdge edge)
{
    if (text.size() <= maxChars)
        return text;
    const CodePoints cp = resolveLevels(text);
    const int total = static_cast<int>(cp.level.size());
    maxChars = std::max(maxChars, 0);
    if (total <= maxChars)
        return text;
    // Positions count from the right edge of the line: a right-to-left run
    // puts its first character there, a left-to-right run its last.
    int first = 0;
    if (edge == VisibleEdge::Left)
        first = total - maxChars;
    else if (edge == VisibleEdge::Middle)
        first = (total - maxChars) / 2;
    const int last = first + maxChars;

    QString kept;
    kept.reserve(maxChars * 2);
    int position = 0;
    for (int runStart = 0; runStart < total;) {
        int runEnd = runStart;
        while (runEnd < total && cp.level[runEnd] == cp.level[runStart])
            ++runEnd;
        const int length = runEnd - runStart;
        // Logical offsets of the run that fall into [first, last).
        int from = std::max(first - position, 0);
        int to = std::min(last - position, length);
        if (from < to) {
            if (cp.level[runStart] == 2) {
                const int reversedFrom = length - to;
                to = length - from;
                from = reversedFrom;
            }
            const int begin = cp.start[runStart + from];
            const int end = cp.start[runStart + to];
            kept += QStringView(text).mid(begin, end - begin);
        }
        position += length;
        runStart = runEnd;
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
