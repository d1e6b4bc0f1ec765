#include "render/CellPainter.h"

#include "render/CellStyle.h"
#include "render/DisplayShaping.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "text/Cp1256.h"

#include <QBrush>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

namespace rasmik {

PaintGrid::~PaintGrid() = default;

namespace {

// The integer nearest to a * b / c, halves away from zero.
int mulDiv(int a, int b, int c)
{
    const std::int64_t num = static_cast<std::int64_t>(a) * b;
    const std::int64_t an = num < 0 ? -num : num;
    const std::int64_t ac = c < 0 ? -static_cast<std::int64_t>(c) : c;
    const std::int64_t q = (2 * an + ac) / (2 * ac);
    return static_cast<int>((num < 0) != (c < 0) ? -q : q);
}

constexpr std::int32_t rgbOnly(std::int32_t c)
{
    return c & 0xFFFFFF;
}

// The inner part of a split gradient: the upper half fades from the edge
// colour at its top row to the cell colour, the lower half back again.
void fillInnerGradient(QPainter& painter, const QRect& inner, std::int32_t cellColour, std::int32_t edgeColour)
{
    const int middle = inner.top() + inner.height() / 2;
    FillGradient(painter, QRect(inner.left(), inner.top(), inner.width(), middle - inner.top()), cellColour, edgeColour,
                 1, GradientBandCount);
    FillGradient(painter, QRect(inner.left(), middle, inner.width(), inner.top() + inner.height() - middle), cellColour,
                 edgeColour, 0, GradientBandCount);
}

// The gradient of one inner height and pair of colours, painted once into a
// narrow image and then tiled across each cell: the same pixels as painting
// the bands, for a fraction of the fills.
struct GradientStrip {
    int height;
    std::int32_t cellColour;
    std::int32_t edgeColour;
    QBrush brush;
};
constexpr int StripWidth = 16;
constexpr int MaxStripHeight = 1024;
constexpr std::size_t MaxStrips = 64;

const QBrush& gradientStrip(std::vector<GradientStrip>& strips, int height, std::int32_t cellColour,
                            std::int32_t edgeColour)
{
    for (const GradientStrip& s : strips)
        if (s.height == height && s.cellColour == cellColour && s.edgeColour == edgeColour)
            return s.brush;
    if (strips.size() >= MaxStrips)
        strips.clear();
    QImage image(StripWidth, height, QImage::Format_RGB32);
    {
        QPainter p(&image);
        fillInnerGradient(p, QRect(0, 0, StripWidth, height), cellColour, edgeColour);
    }
    strips.push_back({height, cellColour, edgeColour, QBrush(image)});
    return strips.back().brush;
}

struct FontCache {
    bool valid = false;
    QFont gridFont;
    std::string name;
    int size = 0;
    int styleBits = 0;
    QFont font;
};

int pointSizeOf(const QFont& font)
{
    return font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
}

// The split gradient; its inner part is tiled from a strip when strips are given.
void fillSplitGradient(QPainter& painter, const QRect& rect, std::int32_t cellColour, std::int32_t edgeColour,
                       std::vector<GradientStrip>* strips)
{
    if (rect.width() > 0 && rect.height() > 0) {
        painter.fillRect(rect, ToQColor(cellColour));
        const QRect inner = rect.adjusted(1, 1, -1, -1);
        if (inner.width() > 0 && inner.height() > 0) {
            if (strips && inner.height() <= MaxStripHeight) {
                const QBrush& strip = gradientStrip(*strips, inner.height(), rgbOnly(cellColour), rgbOnly(edgeColour));
                const QPointF origin = painter.brushOrigin();
                painter.setBrushOrigin(inner.topLeft());
                painter.fillRect(inner, strip);
                painter.setBrushOrigin(origin);
            } else {
                fillInnerGradient(painter, inner, cellColour, edgeColour);
            }
        }
    }
    painter.setBrush(Qt::NoBrush);
}

void drawClipped(QPainter& painter, const QRect& clip, const QPoint& baseline, const QString& text)
{
    if (painter.hasClipping()) {
        painter.save();
        painter.setClipRect(clip, Qt::IntersectClip);
        painter.drawText(baseline, text);
        painter.restore();
    } else {
        // No clip of the caller's to keep: spare the saved state.
        painter.setClipRect(clip);
        painter.drawText(baseline, text);
        painter.setClipping(false);
    }
}

// Bidirectional classes of characters, as far as the cells need them: which
// stretches a right-to-left paragraph lays out left to right.
enum class Bidi : unsigned char { L, R, AL, EN, AN, ES, CS, ET, NSM, Neutral };

Bidi bidiOf(QChar::Direction d)
{
    switch (d) {
    case QChar::DirL:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirLRI: return Bidi::L;
    case QChar::DirR:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirRLI: return Bidi::R;
    case QChar::DirAL: return Bidi::AL;
    case QChar::DirEN: return Bidi::EN;
    case QChar::DirAN: return Bidi::AN;
    case QChar::DirES: return Bidi::ES;
    case QChar::DirCS: return Bidi::CS;
    case QChar::DirET: return Bidi::ET;
    case QChar::DirNSM:
    case QChar::DirBN: return Bidi::NSM;
    default: return Bidi::Neutral;
    }
}

const std::array<Bidi, 256>& bidiClasses()
{
    static const std::array<Bidi, 256> classes = [] {
        std::array<Bidi, 256> a{};
        for (int b = 0; b < 256; ++b)
            a[static_cast<std::size_t>(b)] = bidiOf(QChar(Cp1256Table[b]).direction());
        return a;
    }();
    return classes;
}

// The characters of a text in one held form: where each starts, its class,
// and where the next one starts.
struct Cp1256Chars {
    std::string_view text;
    const std::array<Bidi, 256>& classes = bidiClasses();
    std::size_t size() const { return text.size(); }
    Bidi at(std::size_t i) const { return classes[static_cast<unsigned char>(text[i])]; }
    std::size_t next(std::size_t i) const { return i + 1; }
};

struct Utf8Chars {
    std::string_view text;
    const std::array<Bidi, 256>& classes = bidiClasses(); // ASCII is the same in both
    std::size_t size() const { return text.size(); }
    Bidi at(std::size_t i) const
    {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80)
            return classes[b];
        return bidiOf(QChar::direction(NextCodePoint(text, i)));
    }
    std::size_t next(std::size_t i) const
    {
        NextCodePoint(text, i);
        return i;
    }
};

// Calls run(a, b) for each maximal stretch [a, b) of the text that a
// right-to-left paragraph lays out left to right (letters of Latin script,
// numbers, and what lies between them), in logical order, until run returns
// false. The weak and neutral rules of the bidirectional algorithm, without
// embeddings: Windows-1256 has none, and a cell is one paragraph.
template <class Chars, class Run>
void forEachLeftToRightRun(const Chars& t, Run&& run)
{
    const std::size_t n = t.size();
    constexpr std::size_t None = std::string_view::npos;
    Bidi prevRaw = Bidi::R;          // for marks: the start of the paragraph is right to left
    Bidi prevStrong = Bidi::R;       // L, R or AL
    Bidi prevNumber = Bidi::Neutral; // the previous character as a number (EN, AN) or not
    bool lastSideL = false;          // the last non-neutral counts as left to right for neutrals
    std::size_t runStart = None;
    std::size_t neutralStart = None;
    std::size_t etEnd = 0; // a run of terminators looked ahead: its end and
    bool etNumber = false; // whether it joins the number after it
    for (std::size_t i = 0, after = 0; i < n; i = after) {
        after = t.next(i);
        Bidi c = t.at(i);
        // Long stretches of one direction change nothing but where they end:
        // letters, digits and spaces inside a left-to-right stretch, letters
        // and spaces of right-to-left text outside one.
        if (runStart != None && lastSideL && prevStrong == Bidi::L
            && (c == Bidi::L || c == Bidi::EN || c == Bidi::Neutral)) {
            Bidi last = c;
            std::size_t j = i;
            for (; j < n; j = t.next(j)) {
                const Bidi d = t.at(j);
                if (d == Bidi::L || d == Bidi::EN)
                    neutralStart = None;
                else if (d == Bidi::Neutral)
                    neutralStart = neutralStart == None ? j : neutralStart;
                else
                    break;
                last = d;
            }
            prevRaw = last;
            prevNumber = last == Bidi::EN ? Bidi::EN : Bidi::Neutral;
            after = j;
            continue;
        }
        if (runStart != None && neutralStart == None && c == Bidi::EN && prevStrong != Bidi::AL) {
            std::size_t j = i;
            while (j < n && t.at(j) == Bidi::EN)
                j = t.next(j);
            prevRaw = Bidi::EN;
            prevNumber = Bidi::EN;
            after = j;
            continue;
        }
        if (runStart == None && !lastSideL && (c == Bidi::R || c == Bidi::AL || c == Bidi::Neutral)) {
            Bidi last = c;
            std::size_t j = i;
            for (; j < n; j = t.next(j)) {
                const Bidi d = t.at(j);
                if (d == Bidi::R || d == Bidi::AL)
                    prevStrong = d;
                else if (d != Bidi::Neutral)
                    break;
                last = d;
            }
            prevRaw = last;
            prevNumber = Bidi::Neutral;
            neutralStart = None;
            after = j;
            continue;
        }
        if (c == Bidi::NSM)
            c = prevRaw;
        prevRaw = c;
        const Bidi number = prevStrong == Bidi::AL ? Bidi::AN : Bidi::EN;
        if (c == Bidi::EN)
            c = number;
        else if (c == Bidi::ES || c == Bidi::CS) {
            const Bidi next = after < n ? t.at(after) : Bidi::Neutral;
            const Bidi nextNumber = next == Bidi::EN ? number : next;
            const bool joins =
                prevNumber != Bidi::Neutral && nextNumber == prevNumber && (prevNumber == Bidi::EN || c == Bidi::CS);
            c = joins ? prevNumber : Bidi::Neutral;
        } else if (c == Bidi::ET) {
            if (i >= etEnd) {
                etEnd = i;
                while (etEnd < n && t.at(etEnd) == Bidi::ET)
                    etEnd = t.next(etEnd);
                etNumber = etEnd < n && t.at(etEnd) == Bidi::EN && number == Bidi::EN;
            }
            c = prevNumber == Bidi::EN || etNumber ? Bidi::EN : Bidi::Neutral;
        }
        prevNumber = c == Bidi::EN || c == Bidi::AN ? c : Bidi::Neutral;
        if (c == Bidi::Neutral || c == Bidi::NSM) {
            if (neutralStart == None)
                neutralStart = i;
            continue;
        }
        bool level2 = true;
        bool sideL = false;
        if (c == Bidi::L) {
            sideL = true;
            prevStrong = Bidi::L;
        } else if (c == Bidi::R || c == Bidi::AL) {
            level2 = false;
            prevStrong = c;
        } else if (c == Bidi::EN) {
            sideL = prevStrong == Bidi::L;
        }
        if (neutralStart != None) {
            if (runStart != None && !(lastSideL && sideL)) {
                if (!run(runStart, neutralStart))
                    return;
                runStart = None;
            }
            neutralStart = None;
        }
        if (level2) {
            if (runStart == None)
                runStart = i;
        } else if (runStart != None) {
            if (!run(runStart, i))
                return;
            runStart = None;
        }
        lastSideL = sideL;
    }
    if (runStart != None)
        run(runStart, neutralStart != None ? neutralStart : n);
}

bool isNonNeutral(Bidi c)
{
    return c == Bidi::L || c == Bidi::R || c == Bidi::AL || c == Bidi::EN || c == Bidi::AN;
}

constexpr char LeftToRightMark = '\xFD';
constexpr std::string_view LeftToRightMarkUtf8 = "\xE2\x80\x8E";

// The first character start at or after i.
std::size_t characterStartFrom(std::string_view text, std::size_t i, TextEncoding held)
{
    if (held != TextEncoding::Windows1256)
        while (i < text.size() && !StartsCharacter(static_cast<unsigned char>(text[i])))
            ++i;
    return i;
}

template <class Chars>
std::string_view shownPart(const Chars& chars, int align, std::string& buffer, std::size_t limit, TextEncoding held)
{
    const std::string_view text = chars.text;
    const std::size_t n = text.size();
    if (align == AlignCentre) {
        const std::size_t from = characterStartFrom(text, (n - limit) / 2, held);
        return CutAtCharacter(text.substr(from), limit, held);
    }
    if (align == AlignStart) {
        // The right edge shows the text from its start, except that a
        // left-to-right stretch shows there with its end: when the head of
        // the text ends inside such a stretch, keep what comes before it and
        // the stretch's end.
        std::size_t a = 0;
        std::size_t b = 0;
        forEachLeftToRightRun(chars, [&](std::size_t ra, std::size_t rb) {
            if (ra >= limit)
                return false;
            if (rb > limit) {
                a = ra;
                b = rb;
                return false;
            }
            return true;
        });
        if (b == 0)
            return CutAtCharacter(text, limit, held);
        // The mark keeps the piece left to right whatever came before its cut.
        const std::string_view mark =
            held == TextEncoding::Windows1256 ? std::string_view(&LeftToRightMark, 1) : LeftToRightMarkUtf8;
        if (limit - a < mark.size())
            return text.substr(0, a); // no room for the mark, so none for the piece
        const std::size_t room = limit - a - mark.size();
        std::size_t from = characterStartFrom(text, b - room, held);
        while (from < b && !isNonNeutral(chars.at(from)))
            from = chars.next(from);
        buffer.assign(text.data(), a);
        buffer += mark;
        buffer.append(text.data() + from, b - from);
        return buffer;
    }
    // The left edge shows the text's end, except that a left-to-right stretch
    // shows there with its beginning: when the tail of the text starts inside
    // such a stretch, keep its beginning and what comes after it.
    const std::size_t tail = characterStartFrom(text, n - limit, held);
    std::size_t a = 0;
    std::size_t b = 0;
    forEachLeftToRightRun(chars, [&](std::size_t ra, std::size_t rb) {
        if (ra >= tail)
            return false;
        if (rb > tail) {
            a = ra;
            b = rb;
            return false;
        }
        return true;
    });
    if (b == 0)
        return text.substr(tail);
    buffer.assign(CutAtCharacter(text.substr(a, b - a), limit - (n - b), held));
    buffer.append(text.data() + b, n - b);
    return buffer;
}

} // namespace

std::string_view ShownPartOfText(std::string_view text, int align, std::string& buffer, std::size_t limit,
                                 TextEncoding held)
{
    const std::size_t n = text.size();
    if (n <= limit)
        return text;
    if (limit < 2)
        return CutAtCharacter(text, limit, held);
    if (held == TextEncoding::Windows1256)
        return shownPart(Cp1256Chars{text}, align, buffer, limit, held);
    return shownPart(Utf8Chars{text}, align, buffer, limit, held);
}

bool IsNumberText(std::string_view t, TextEncoding held)
{
    const bool utf8 = held != TextEncoding::Windows1256;
    const auto trim = [&t, utf8] {
        for (;;) {
            if (!t.empty() && (t.front() == ' ' || (!utf8 && t.front() == LeftToRightMark)))
                t.remove_prefix(1);
            else if (utf8 && t.substr(0, 3) == LeftToRightMarkUtf8)
                t.remove_prefix(3);
            else
                break;
        }
        while (!t.empty() && t.back() == ' ')
            t.remove_suffix(1);
    };
    trim();
    if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
        t = t.substr(1, t.size() - 2);
        trim();
    }
    if (!t.empty() && (t.front() == '-' || t.front() == '+'))
        t.remove_prefix(1);
    if (!t.empty() && t.back() == '%')
        t.remove_suffix(1);
    else if (utf8 && t.size() >= 2 && t.substr(t.size() - 2) == "\xD9\xAA") // Arabic percent sign
        t.remove_suffix(2);
    bool digit = false;
    for (std::size_t i = 0; i < t.size();) {
        const char32_t c = utf8 ? NextCodePoint(t, i) : static_cast<unsigned char>(t[i++]);
        if (c >= '0' && c <= '9')
            digit = true;
        else if (utf8 && IsAnyDigit(c))
            digit = true;
        else if (c != ',' && c != '.' && !(utf8 && (c == 0x066B || c == 0x066C)))
            return false;
    }
    return digit;
}

std::string_view CellDisplayText(const PaintGrid& grid, int col, int row, std::string& shaped)
{
    std::string_view display = grid.cellText(col, row);
    // Iran System text comes only in Windows-1256 tables; Unicode text is
    // shaped by the toolkit.
    if (grid.shapingOn() && grid.encoding() == TextEncoding::Windows1256) {
        ShapeDisplayText(display, shaped);
        if (!shaped.empty())
            display = shaped;
    }
    return display;
}

void FillGradient(QPainter& painter, const QRect& rect, std::int32_t startColour, std::int32_t endColour, int direction,
                  int bandCount)
{
    if (rect.width() <= 0 || rect.height() <= 0 || direction < 0 || direction > 3)
        return;
    int n = std::min(bandCount, GradientBandCount);
    if (n < 2) {
        painter.fillRect(rect, ToQColor(startColour));
        return;
    }
    const bool forward = direction == 0 || direction == 2;
    const std::int32_t base = forward ? startColour : endColour;
    const std::int32_t other = forward ? endColour : startColour;
    const int dr = ColourRed(other) - ColourRed(base);
    const int dg = ColourGreen(other) - ColourGreen(base);
    const int db = ColourBlue(other) - ColourBlue(base);

    const bool vertical = direction < 2;
    const int extent = vertical ? rect.height() : rect.width();
    n = std::max(2, std::min(n, extent));
    const int thickness = extent / n;
    const auto band = [&](int offset, int size) {
        return vertical ? QRect(rect.left(), rect.top() + offset, rect.width(), size)
                        : QRect(rect.left() + offset, rect.top(), size, rect.height());
    };
    if (thickness > 0) {
        for (int i = 0; i < n; ++i) {
            const QColor colour(ColourRed(base) + mulDiv(i, dr, n - 1), ColourGreen(base) + mulDiv(i, dg, n - 1),
                                ColourBlue(base) + mulDiv(i, db, n - 1));
            painter.fillRect(band(i * thickness, thickness), colour);
        }
    }
    const int rest = extent % n;
    if (rest > 0)
        painter.fillRect(band(extent - rest, rest), ToQColor(forward ? endColour : startColour));
}

// What a painter reuses from cell to cell: made anew for every cell, these
// would allocate every time.
struct CellPainter::Reused {
    CellStyle record;
    QString shown;
    std::string window;
    std::vector<int> edges;
    std::string shaped;
    std::string letters;
    std::string style;
    std::vector<GradientStrip> strips;
    FontCache fontCache;
    QFont lastRequested;
    QFont lastResolved;
};

CellPainter::CellPainter() : reused_(std::make_unique<Reused>())
{
}

CellPainter::~CellPainter() = default;

// The font of the last cell, kept while the grid's font and the record's
// font fields stay the same.
const QFont& CellPainter::cellFont(const QFont& gridFont, const std::string& name, int size, int styleBits)
{
    FontCache& c = reused_->fontCache;
    if (c.valid && c.size == size && c.styleBits == styleBits && c.name == name && c.gridFont == gridFont)
        return c.font;
    QFont font = gridFont;
    if (!name.empty())
        font.setFamily(ToQString(name));
    if (size > 0)
        font.setPointSize(size);
    font.setBold(styleBits & StyleBold);
    font.setItalic(styleBits & StyleItalic);
    font.setUnderline(styleBits & StyleUnderline);
    font.setStrikeOut(styleBits & StyleStrikeOut);
    c.valid = true;
    c.gridFont = gridFont;
    c.name = name;
    c.size = size;
    c.styleBits = styleBits;
    c.font = font;
    return c.font;
}

// Neighbouring cells mostly share font and colour; setting them again would
// allocate a new pen and a new resolved font every time.
void CellPainter::setFontAndPen(QPainter& painter, const QFont& font, const QColor& colour)
{
    Reused& r = *reused_;
    if (!(font == r.lastRequested && painter.font() == r.lastResolved)) {
        painter.setFont(font);
        r.lastRequested = font;
        r.lastResolved = painter.font();
    }
    const QPen& pen = painter.pen();
    if (pen.style() != Qt::SolidLine || pen.brush().style() != Qt::SolidPattern || pen.color() != colour
        || pen.widthF() != 1.0 || pen.isCosmetic())
        painter.setPen(colour);
}

// Where a cell's text goes, in the font it is drawn in.
struct CellPainter::Placed {
    QFont font;
    int w = 0; // width of the text
    int x = 0; // logical offset from the cell's start (right) edge
    int h = 0;
    int y = 0; // offset from the cell's top
    int ascent = 0;
    bool header = false;
    bool cut = false;
    TextEncoding held = TextEncoding::Windows1256;
};

// Reads the record already parsed into reused_->record; leaves the text to
// draw in reused_->shown.
void CellPainter::place(const QPaintDevice* device, const PaintGrid& grid, int col, int row, const QRect& rect,
                        std::string_view text, Placed& out)
{
    const CellStyle& record = reused_->record;
    // Of a huge cell only the part at its anchored edge can show: keep that
    // part, so that a whole file on one line paints as fast as any cell.
    out.held = grid.encoding();
    text = ShownPartOfText(text, record.align, reused_->window, LongCellText, out.held);
    QString& shown = reused_->shown;
    ToQString(text, shown, out.held);
    ShowOnOneLine(shown);

    const int styleBits = record.styleBits & 15;
    out.font = cellFont(grid.gridFont(), record.fontName, record.fontSize, styleBits);
    QFontMetrics metrics(out.font, device);

    // Offsets are logical: from the cell's start (right) edge towards the left.
    const int cellWidth = rect.width();
    out.w = DisplayTextWidth(metrics, shown);
    if (record.align == AlignStart)
        out.x = CellTextInset;
    else if (record.align == AlignEnd)
        out.x = cellWidth - out.w - CellTextInset;
    else
        out.x = cellWidth / 2 - out.w / 2;
    out.h = metrics.height();
    out.y = rect.height() / 2 - out.h / 2;

    out.header = row == 0 && record.align == AlignCentre;
    if (out.header) {
        const int columnWidth = grid.colWidth(col);
        if (out.w - columnWidth > HeaderSqueezeTolerance) {
            // The width is measured again only once the size has come down.
            out.font.setFamily(QString::fromLatin1(HeaderSqueezeFont));
            int size = pointSizeOf(out.font);
            while (size > SmallestSqueezeSize && out.w - columnWidth > HeaderSqueezeTolerance) {
                --size;
                out.font.setPointSize(size);
                out.w = DisplayTextWidth(QFontMetrics(out.font, device), shown);
            }
            metrics = QFontMetrics(out.font, device);
            out.x = cellWidth / 2 - out.w / 2;
            out.h = metrics.height();
            out.y = rect.height() / 2 - out.h / 2;
        }
        // A header keeps its squeeze as its way of fitting.
        out.cut = out.w - columnWidth > HeaderSqueezeTolerance;
    } else {
        // The widest text of a column is as wide as the column's text: it
        // fits inside the ring.
        out.cut = out.w > cellWidth - 2 * CellTextInset;
    }
    out.ascent = metrics.ascent();
}

// A text wider than its cell: a number becomes '#' marks across the cell; any
// other text keeps the whole glyphs that show at its anchored edge, and an
// ellipsis takes the place of what is cut.
void CellPainter::drawCutText(QPainter& painter, const QRect& rect, const Placed& placed, std::string_view text)
{
    const QString& shown = reused_->shown;
    const QFontMetrics metrics(placed.font, painter.device());
    const int cellWidth = rect.width();
    const int baseline = rect.top() + placed.y + placed.ascent;
    const int align = reused_->record.align;
    if (IsNumberText(text, placed.held)) {
        const int room = cellWidth - 2 * CellTextInset;
        const int hashWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('#')));
        int count = std::max(0, room / hashWidth);
        QString hashes(count, QLatin1Char('#'));
        while (count > 0 && DisplayTextWidth(metrics, hashes) > room)
            hashes.truncate(--count);
        if (count == 0)
            return;
        const int w = DisplayTextWidth(metrics, hashes);
        const int x = align == AlignStart ? CellTextInset
            : align == AlignEnd           ? cellWidth - w - CellTextInset
                                          : cellWidth / 2 - w / 2;
        drawClipped(painter, rect, QPoint(rect.left() + cellWidth - x - w, baseline), hashes);
        return;
    }

    const QString ellipsis(QChar(0x2026));
    const int ellipsisWidth = DisplayTextWidth(metrics, ellipsis);
    const int left = rect.left() + cellWidth - placed.x - placed.w;
    const int cellRight = rect.left() + cellWidth;
    const bool cutLeft = left < rect.left();
    const bool cutRight = left + placed.w > cellRight;
    const int keepLeft = cutLeft ? rect.left() + CellTextInset + ellipsisWidth : rect.left();
    const int keepRight = cutRight ? cellRight - CellTextInset - ellipsisWidth : cellRight;

    // The glyphs' left edges as the text is drawn, and its right end: the
    // whole glyphs between keepLeft and keepRight are kept.
    QTextLayout layout(shown, placed.font, painter.device());
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setTextDirection(Qt::RightToLeft);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(placed.w + 1000);
    layout.endLayout();
    std::vector<int>& edges = reused_->edges;
    edges.clear();
    for (const QGlyphRun& run : layout.glyphRuns())
        for (const QPointF& p : run.positions())
            edges.push_back(left + qRound(p.x()));
    edges.push_back(left + placed.w);
    std::sort(edges.begin(), edges.end());
    int from = INT_MAX;
    int to = INT_MIN;
    for (int e : edges)
        if (e >= keepLeft && e <= keepRight) {
            from = std::min(from, e);
            to = std::max(to, e);
        }
    if (from < to)
        drawClipped(painter, QRect(from, rect.top(), to - from, rect.height()) & rect, QPoint(left, baseline), shown);
    if (cutLeft)
        drawClipped(painter, rect, QPoint(rect.left() + CellTextInset, baseline), ellipsis);
    if (cutRight)
        drawClipped(painter, rect, QPoint(cellRight - CellTextInset - ellipsisWidth, baseline), ellipsis);
}

bool CellPainter::paintCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect,
                            std::string_view style, std::string_view text)
{
    // Only drawStyledCell's guarded call gets here: the buffers are free.
    CellStyle& record = reused_->record;
    if (!ParseCellStyle(style, record))
        return false;
    Placed placed;
    place(painter.device(), grid, col, row, rect, text, placed);

    std::int32_t back = (row % 2 != 0) ? record.oddRowBack : record.evenRowBack;
    const int currentRow = grid.currentRow();
    if (col == grid.currentCol() && row == currentRow)
        back = grid.hasKeyboardFocus() ? record.selectedBackFocused : record.selectedBackUnfocused;
    else if (row == currentRow && row > 0)
        back = CurrentRowColour;

    fillSplitGradient(painter, rect, back, GradientEdgeColour, &reused_->strips);

    const QString& shown = reused_->shown;
    if (!shown.isEmpty()) {
        setFontAndPen(painter, placed.font, ToQColor(record.fontColour));
        painter.setLayoutDirection(Qt::RightToLeft);
        if (placed.cut && !placed.header) {
            drawCutText(painter, rect, placed, text);
        } else {
            const int left = rect.left() + rect.width() - placed.x - placed.w;
            drawClipped(painter, rect, QPoint(left, rect.top() + placed.y + placed.ascent), shown);
        }
    }
    return true;
}

bool CellPainter::textCut(const QPaintDevice* device, const PaintGrid& grid, int col, int row, const QRect& rect)
{
    if (painting_)
        return false;
    Reused& r = *reused_;
    const std::string_view display = CellDisplayText(grid, col, row, r.shaped);
    AlignmentLettersFor(r.letters, display, grid.colCount(), grid.encoding());
    BuildCellStyle(r.style, col, row, r.letters);
    if (!ParseCellStyle(r.style, r.record))
        return false;
    Placed placed;
    place(device, grid, col, row, rect, display, placed);
    return placed.cut;
}

void CellPainter::drawStyledCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect,
                                 std::string_view style, std::string_view text)
{
    if (painting_)
        return;
    painting_ = true;
    struct Release {
        bool& painting;
        ~Release() { painting = false; }
    } release{painting_};
    try {
        paintCell(painter, grid, col, row, rect, style, text);
    } catch (...) {
        // The cell stays as far as it was painted.
    }
}

void CellPainter::drawCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect)
{
    // A paint inside a paint would be dropped anyway, and the buffers below
    // are still in use by the outer one.
    if (painting_)
        return;
    Reused& r = *reused_;
    const std::string_view display = CellDisplayText(grid, col, row, r.shaped);
    AlignmentLettersFor(r.letters, display, grid.colCount(), grid.encoding());
    BuildCellStyle(r.style, col, row, r.letters);
    drawStyledCell(painter, grid, col, row, rect, r.style, display);
}

} // namespace rasmik
