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

constexpr char LeftToRightMark = '\xFD';
constexpr char RightToLeftMark = '\xFE';
constexpr std::string_view LeftToRightMarkUtf8 = "\xE2\x80\x8E";
constexpr std::string_view RightToLeftMarkUtf8 = "\xE2\x80\x8F";

} // namespace

std::string_view ShownPartOfText(std::string_view text, int align, std::string& buffer, std::size_t limit,
                                 TextEncoding held)
{
    if (text.size() <= limit)
        return text;
    return ShownPartOfText(text, align, buffer, limit, held, DirectionOfText(text, held));
}

std::string_view ShownPartOfText(std::string_view text, int align, std::string& buffer, std::size_t limit,
                                 TextEncoding held, ReadingDirection direction)
{
    if (text.size() <= limit)
        return text;
    if (limit < 2)
        return CutAtCharacter(text, limit, held);
    const VisibleEdge edge = align == AlignStart ? VisibleEdge::Right
        : align == AlignEnd                      ? VisibleEdge::Left
                                                 : VisibleEdge::Middle;
    const bool cp1256 = held == TextEncoding::Windows1256;
    const std::string_view leftMark = cp1256 ? std::string_view(&LeftToRightMark, 1) : LeftToRightMarkUtf8;
    const std::string_view rightMark = cp1256 ? std::string_view(&RightToLeftMark, 1) : RightToLeftMarkUtf8;
    const std::vector<ShownPiece> pieces = ShownPieces(text, held, direction, edge, limit, false, leftMark.size());
    if (pieces.size() == 1 && pieces[0].mark == ShownPiece::Mark::None)
        return text.substr(pieces[0].from, pieces[0].to - pieces[0].from);
    buffer.clear();
    for (const ShownPiece& piece : pieces) {
        if (piece.mark != ShownPiece::Mark::None)
            buffer += piece.mark == ShownPiece::Mark::LeftToRight ? leftMark : rightMark;
        buffer.append(text.data() + piece.from, piece.to - piece.from);
    }
    return buffer;
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
    // The direction the cell's text reads in: its first strong character's.
    Qt::LayoutDirection direction = Qt::RightToLeft;
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
    const ReadingDirection reading = DirectionOfText(text, out.held);
    out.direction = reading == ReadingDirection::LeftToRight ? Qt::LeftToRight : Qt::RightToLeft;
    text = ShownPartOfText(text, record.align, reused_->window, LongCellText, out.held, reading);
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
    option.setTextDirection(placed.direction);
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
        // The painter's direction is the paragraph's of the text it draws.
        painter.setLayoutDirection(placed.direction);
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
