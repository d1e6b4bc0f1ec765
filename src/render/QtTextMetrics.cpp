#include "render/QtTextMetrics.h"

#include "render/QtText.h"
#include "text/Cp1256.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QString>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace rasmik {

namespace {

const QTextOption& rightToLeft()
{
    static const QTextOption option = [] {
        QTextOption o;
        o.setTextDirection(Qt::RightToLeft);
        return o;
    }();
    return option;
}

constexpr char16_t Tatweel = u'\u0640';
// Arabic, joins with nothing: the neighbours of a character keep their form.
constexpr char16_t Hamza = u'\u0621';
constexpr char16_t DottedCircle = u'\u25CC';
constexpr unsigned char LamByte = 0xE1;
// Alef, with madda, with hamza above, with hamza below.
constexpr unsigned char AlefBytes[] = {0xC7, 0xC2, 0xC3, 0xC5};

double advance(const QFontMetricsF& f, const QString& text)
{
    return f.horizontalAdvance(text, rightToLeft());
}

// A character measured between a prefix and a suffix: the difference to the
// width of prefix and suffix alone is the character's own advance there.
struct Context {
    QString prefix;
    QString suffix;
    double width = 0;
};

// The neighbours that change how a character is shaped: a tatweel on either
// side makes it join (initial, medial, final forms); spaces, Latin and Arabic
// that joins nothing (a neutral character takes its neighbours' script and
// maybe another fallback font with it). Each of these neighbours has one form
// only, so the difference is the character's own advance. They are two
// characters long so that every measurement is shaped as a run: a lone
// character is measured on a shorter path that can be narrower than in a text.
// What opens a text or a line (after a line feed, say) is shaped on its own:
// a mark there is drawn on a dotted circle, a joiner may show.
std::vector<Context> measuringContexts(const QFontMetricsF& f)
{
    const QString sides[] = {
        QString(),
        QString(2, QChar(Tatweel)),
        QStringLiteral("  "),
        QStringLiteral("aa"),
        QString(2, QChar(Hamza)),
    };
    std::vector<Context> contexts;
    for (const QString& p : sides)
        for (const QString& s : sides)
            contexts.push_back({p, s, 0});
    for (QChar lineStart : {QChar(u'\n'), QChar(u'\r'), QChar(u'\x1c'), QChar(u'\x1f')}) {
        const QString sep(lineStart);
        contexts.push_back({sep, QString(), 0});
        contexts.push_back({QString(), sep, 0});
        contexts.push_back({QStringLiteral("aa") + sep, QString(), 0});
    }
    for (Context& c : contexts) {
        const QString around = c.prefix + c.suffix;
        c.width = around.isEmpty() ? 0.0 : advance(f, around);
    }
    return contexts;
}

double widestAdvance(const QFontMetricsF& f, const std::vector<Context>& contexts, QChar c)
{
    double best = advance(f, QString(c));
    best = std::max(best, advance(f, QString(4, c)) / 4);
    for (const Context& k : contexts)
        best = std::max(best, advance(f, k.prefix + c + k.suffix) - k.width);
    const QChar::Category category = c.category();
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing)
        best = std::max(best, advance(f, QString(QChar(DottedCircle)) + c));
    return best;
}

std::array<int, 256> computeBounds(const QFont& font, const QPaintDevice* device)
{
    std::array<int, 256> bounds{};
    const QFontMetricsF f(font, device);
    const std::vector<Context> contexts = measuringContexts(f);
    std::array<double, 256> widest{};
    for (int b = 0; b < 256; ++b) {
        const QChar c(Cp1256Table[b]);
        widest[static_cast<std::size_t>(b)] = widestAdvance(f, contexts, c);
        if (c == u'\t') // a tab reaches the next tab stop
            widest[static_cast<std::size_t>(b)] =
                std::max(widest[static_cast<std::size_t>(b)], rightToLeft().tabStopDistance());
    }

    // Lam and a following alef become one ligature glyph; the two bounds
    // together must cover it, alone and after a joining letter.
    const QString space2(2, QChar(u' '));
    const QString tatweel2(2, QChar(Tatweel));
    for (unsigned char alef : AlefBytes) {
        const QString pair = QString(QChar(Cp1256Table[LamByte])) + QChar(Cp1256Table[alef]);
        const double ligature =
            std::max(advance(f, space2 + pair + space2) - advance(f, space2 + space2),
                     advance(f, tatweel2 + pair + space2) - advance(f, tatweel2 + space2));
        const double shortfall = ligature - widest[LamByte] - widest[alef];
        if (shortfall > 0)
            widest[LamByte] += shortfall;
    }

    for (std::size_t b = 0; b < 256; ++b) {
        // One pixel more than the widest advance absorbs kerning and the
        // rounding of the sum.
        const int bound = static_cast<int>(std::ceil(std::max(0.0, widest[b]))) + 1;
        bounds[b] = bound;
    }
    return bounds;
}

// Measuring every byte in its contexts takes a while; a font is measured
// once per program run and resolution.
std::array<int, 256> cachedBounds(const QFont& font, const QPaintDevice* device)
{
    static std::mutex mutex;
    static std::vector<std::pair<QString, std::array<int, 256>>> cache;
    const QString key = font.key() + QLatin1Char('|')
                        + QString::number(device ? device->logicalDpiX() : 0) + QLatin1Char('x')
                        + QString::number(device ? device->logicalDpiY() : 0);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const auto& entry : cache)
            if (entry.first == key)
                return entry.second;
    }
    const std::array<int, 256> bounds = computeBounds(font, device);
    const std::lock_guard<std::mutex> lock(mutex);
    cache.emplace_back(key, bounds);
    return bounds;
}

} // namespace

int DisplayTextWidth(const QFontMetrics& metrics, const QString& text)
{
    return metrics.horizontalAdvance(text, rightToLeft());
}

QtTextMetrics::QtTextMetrics(const QFont& font, const QPaintDevice* device)
    : font_(font)
    , metrics_(font, device)
    , bounds_(cachedBounds(font, device))
{
    maxBound_ = *std::max_element(bounds_.begin(), bounds_.end());
}

int QtTextMetrics::textWidth(std::string_view text) const
{
    return DisplayTextWidth(metrics_, ToQString(text));
}

int QtTextMetrics::textHeight(std::string_view) const
{
    return metrics_.height();
}

int QtTextMetrics::byteAdvanceBound(unsigned char b) const
{
    return bounds_[b];
}

int QtTextMetrics::maxByteAdvanceBound() const
{
    return maxBound_;
}

} // namespace rasmik
