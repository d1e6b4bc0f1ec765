#pragma once
// The painter of every cell of the main grid, the fixed header row included:
// row colours, the current cell and row, a soft vertical gradient, the
// centred white-on-red header with its squeeze, and the text on its side.
//
// Geometry: cell rectangles are window rectangles. Alignment is in the grid's
// right-to-left reading direction: a cell's start edge is its right edge on
// screen. Texts are in the grid's held form (Windows-1256 or UTF-8), drawn
// with a right-to-left base direction.
//
// A painter object keeps what it reuses from cell to cell (buffers, the
// last font, gradient strips) and a guard against re-entry; it belongs to
// one grid and the user-interface thread. It asks for no repaints: whoever
// moves the cursor repaints the rows concerned. It leaves the painter's pen,
// font, brush and layout direction changed; an active clip of the caller's is
// kept, a switched-off one is dropped.

#include "render/PaintGrid.h"
#include "text/BidiText.h"

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QColor;
class QFont;
class QPaintDevice;
class QPainter;

namespace rasmik {

constexpr int GradientBandCount = 255;

// A cell keeps its text this far inside each side: the ring of its split
// gradient, which also takes the ink a glyph may draw beyond its advance.
constexpr int CellTextInset = 1;
// The grid line that ends each section.
constexpr int GridLineWidth = 1;
// What a section adds to the text it holds whole.
constexpr int CellTextPadding = 2 * CellTextInset + GridLineWidth;
// A column's width in the document is the width of text it holds whole; on
// screen its section is that much wider, and back.
constexpr int SectionWidthForText(int textWidth)
{
    return textWidth + CellTextPadding;
}
constexpr int TextWidthOfSection(int sectionWidth)
{
    return sectionWidth > CellTextPadding ? sectionWidth - CellTextPadding : 0;
}
// A header text this much wider than its column still keeps the grid's font;
// it then reaches into the cell's ring, no further.
constexpr int HeaderSqueezeTolerance = 2;
constexpr int SmallestSqueezeSize = 4;
inline constexpr char HeaderSqueezeFont[] = "Traffic";

// A banded gradient: direction 0 top to bottom, 1 bottom to top, 2 left to
// right, 3 right to left; bandCount 0..255 (more counts as 255; below 2 is a
// plain fill with the start colour). Another direction paints nothing.
void FillGradient(QPainter& painter, const QRect& rect, std::int32_t startColour, std::int32_t endColour, int direction,
                  int bandCount);

// Of a cell text longer than this only a window is drawn: a whole file on one
// line paints as fast as any cell.
constexpr std::size_t LongCellText = 4096;

// The window of at most `limit` bytes of a long text that a cell shows at its
// anchored edge (align as in the cell record: start is the right edge), the
// text read as a paragraph of the given direction (by default its own): what
// the edge holds when the whole line is laid out, kept in the text's order.
// A piece cut from a stretch of the other direction gets a mark of that
// direction before it; a window joined from pieces is built in buffer. A
// text within the limit is returned as is. Held UTF-8 is cut between
// characters only.
std::string_view ShownPartOfText(std::string_view text, int align, std::string& buffer,
                                 std::size_t limit = LongCellText, TextEncoding held = TextEncoding::Windows1256);
std::string_view ShownPartOfText(std::string_view text, int align, std::string& buffer, std::size_t limit,
                                 TextEncoding held, ReadingDirection direction);

// Whether a text reads as a number: digits with ',' and '.', an optional sign
// or parentheses, an optional '%', spaces and a left-to-right mark around it.
// A number too wide for its cell is shown as '#' marks, never cut to another
// number. In held UTF-8, Persian and Arabic-Indic digits are digits, the
// Arabic decimal and thousands separators and percent sign count as '.',
// ',' and '%', and the mark is U+200E.
bool IsNumberText(std::string_view text, TextEncoding held = TextEncoding::Windows1256);

// The text a cell shows: shaped while the grid's switch is on (unless
// shaping leaves nothing; a UTF-8 grid is never shaped this way), else the
// cell's own; shaped is the buffer.
std::string_view CellDisplayText(const PaintGrid& grid, int col, int row, std::string& shaped);

class CellPainter {
public:
    CellPainter();
    ~CellPainter();
    CellPainter(const CellPainter&) = delete;
    CellPainter& operator=(const CellPainter&) = delete;

    // The draw-cell handler: display text (shaped while the grid's switch is
    // on, unless shaping leaves nothing), alignment letters, the cell's
    // record, paint.
    void drawCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect);

    // Paints one cell from its record and the text to show. A paint that
    // arrives while another cell is being painted is dropped; a record that
    // cannot be read leaves the cell unpainted. Never throws.
    void drawStyledCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect,
                        std::string_view style, std::string_view text);

    // Whether the cell's text is wider than the cell painted in rect on
    // device, so that part of it does not show (a header only once its
    // squeeze has not made it fit). False while a cell is being painted.
    bool textCut(const QPaintDevice* device, const PaintGrid& grid, int col, int row, const QRect& rect);

private:
    struct Reused;
    struct Placed;
    void place(const QPaintDevice* device, const PaintGrid& grid, int col, int row, const QRect& rect,
               std::string_view text, Placed& out);
    void drawCutText(QPainter& painter, const QRect& rect, const Placed& placed, std::string_view text);
    bool paintCell(QPainter& painter, const PaintGrid& grid, int col, int row, const QRect& rect,
                   std::string_view style, std::string_view text);
    const QFont& cellFont(const QFont& gridFont, const std::string& name, int size, int styleBits);
    void setFontAndPen(QPainter& painter, const QFont& font, const QColor& colour);

    std::unique_ptr<Reused> reused_;
    bool painting_ = false;
};

} // namespace rasmik
