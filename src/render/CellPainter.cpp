#include "render/CellPainter.h"

#include "render/CellStyle.h"
#include "render/DisplayShaping.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"

#include <QBrush>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>

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

constexpr std::int32_t rgbOnly(std::int32_t c) { return c & 0xFFFFFF; }

// The inner part of a split gradient: the upper half fades from the edge
// colour at its top row to the cell colour, the lower half back again.
void fillInnerGradient(QPainter& painter, const QRect& inner, std::int32_t cellColour,
                       std::int32_t edgeColour)
{
    const int middle = inner.top() + inner.height() / 2;
    FillGradient(painter, QRect(inner.left(), inner.top(), inner.width(), middle - inner.top()),
                 cellColour, edgeColour, 1, GradientBandCount);
    FillGradient(painter,
                 QRect(inner.left(), middle, inner.width(), inner.top() + inner.height() - middle),
                 cellColour, edgeColour, 0, GradientBandCount);
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
                const QBrush& strip =
                    gradientStrip(*strips, inner.height(), rgbOnly(cellColour), rgbOnly(edgeColour));
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

} // namespace

void FillGradient(QPainter& painter, const QRect& rect, std::int32_t startColour,
                  std::int32_t endColour, int direction, int bandCount)
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
            const QColor colour(ColourRed(base) + mulDiv(i, dr, n - 1),
                                ColourGreen(base) + mulDiv(i, dg, n - 1),
                                ColourBlue(base) + mulDiv(i, db, n - 1));
            painter.fillRect(band(i * thickness, thickness), colour);
        }
    }
    const int rest = extent % n;
    if (rest > 0)
        painter.fillRect(band(extent - rest, rest), ToQColor(forward ? endColour : startColour));
}

void SplitGradientFill(QPainter& painter, const QRect& rect, std::int32_t cellColour,
                       std::int32_t edgeColour)
{
    fillSplitGradient(painter, rect, cellColour, edgeColour, nullptr);
}

// What a painter reuses from cell to cell: made anew for every cell, these
// would allocate every time.
struct CellPainter::Reused {
    CellStyle record;
    QString shown;
    std::string shaped;
    std::string letters;
    std::string style;
    std::vector<GradientStrip> strips;
    FontCache fontCache;
    QFont lastRequested;
    QFont lastResolved;
};

CellPainter::CellPainter() : reused_(std::make_unique<Reused>()) {}

CellPainter::~CellPainter() = default;

// The font of the last cell, kept while the grid's font and the record's
// font fields stay the same.
const QFont& CellPainter::cellFont(const QFont& gridFont, const std::string& name, int size, int styleBits)
{
    FontCache& c = reused_->fontCache;
    if (c.valid && c.size == size && c.styleBits == styleBits && c.name == name
        && c.gridFont == gridFont)
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
    if (pen.style() != Qt::SolidLine || pen.brush().style() != Qt::SolidPattern
        || pen.color() != colour || pen.widthF() != 1.0 || pen.isCosmetic())
        painter.setPen(colour);
}

bool CellPainter::paintCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect,
                            std::string_view style, std::string_view text)
{
    // Only drawStyledCell's guarded call gets here: the buffers are free.
    CellStyle& record = reused_->record;
    QString& shown = reused_->shown;
    if (!ParseCellStyle(style, record))
        return false;
    // Of a huge cell only the part at its anchored edge can show: keep that
    // part, so that a whole file on one line paints as fast as any cell.
    constexpr std::size_t LongText = 4096;
    if (text.size() > LongText) {
        if (record.align == AlignStart)
            text = text.substr(0, LongText);
        else if (record.align == AlignEnd)
            text = text.substr(text.size() - LongText);
        else
            text = text.substr((text.size() - LongText) / 2, LongText);
    }
    ToQString(text, shown);

    const int styleBits = record.styleBits & 15;
    std::int32_t back = (row % 2 != 0) ? record.oddRowBack : record.evenRowBack;
    QFont font = cellFont(grid.gridFont(), record.fontName, record.fontSize, styleBits);
    QFontMetrics metrics(font, painter.device());

    // Offsets are logical: from the cell's start (right) edge towards the left.
    const int cellWidth = rect.width();
    int w = DisplayTextWidth(metrics, shown);
    int x;
    if (record.align == AlignStart)
        x = 1;
    else if (record.align == AlignEnd)
        x = cellWidth - w - 1;
    else
        x = cellWidth / 2 - w / 2;

    const int currentRow = grid.currentRow();
    if (col == grid.currentCol() && row == currentRow)
        back = grid.hasKeyboardFocus() ? record.selectedBackFocused : record.selectedBackUnfocused;
    else if (row == currentRow && row > 0)
        back = CurrentRowColour;

    int h = metrics.height();
    int y = rect.height() / 2 - h / 2;

    fillSplitGradient(painter, rect, back, GradientEdgeColour, &reused_->strips);

    if (row == 0 && record.align == AlignCentre) {
        const int columnWidth = grid.colWidth(col);
        if (w - columnWidth > HeaderSqueezeTolerance) {
            // The width is measured again only once the size has come down.
            font.setFamily(QString::fromLatin1(HeaderSqueezeFont));
            int size = pointSizeOf(font);
            while (size > SmallestSqueezeSize && w - columnWidth > HeaderSqueezeTolerance) {
                --size;
                font.setPointSize(size);
                w = DisplayTextWidth(QFontMetrics(font, painter.device()), shown);
            }
            metrics = QFontMetrics(font, painter.device());
            x = cellWidth / 2 - w / 2;
            h = metrics.height();
            y = rect.height() / 2 - h / 2;
        }
    }

    if (!shown.isEmpty()) {
        setFontAndPen(painter, font, ToQColor(record.fontColour));
        painter.setLayoutDirection(Qt::RightToLeft);
        const int left = rect.left() + cellWidth - x - w;
        drawClipped(painter, rect, QPoint(left, rect.top() + y + metrics.ascent()), shown);
    }
    return true;
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
    std::string_view display = grid.cellText(col, row);
    if (grid.shapingOn()) {
        ShapeDisplayText(display, r.shaped);
        if (!r.shaped.empty())
            display = r.shaped;
    }
    AlignmentLettersFor(r.letters, display, grid.colCount());
    BuildCellStyle(r.style, col, row, r.letters);
    drawStyledCell(painter, grid, col, row, rect, r.style, display);
}

} // namespace rasmik
