#pragma once
// Of a caption too long for its label only the part at the label's aligned
// edge can show. Cutting the rest away first keeps a huge cell from being
// laid out and measured whole, again and again, while it is fitted and
// printed.

#include <QFont>
#include <QString>

namespace rasmik {

// The edge of a right-to-left line that stays in view when the line is wider
// than its label: the right edge for flush right, the left one for flush left,
// the middle for centred text.
enum class VisibleEdge { Right, Left, Middle };

// The characters of text, a right-to-left paragraph, that the maxChars
// positions at edge of its visual order hold, kept in their logical order.
// A left-to-right run (Latin words, numbers) inside the line reads the other
// way, so at the right edge it keeps its end, not its start. text itself when
// it has no more than maxChars characters. Explicit embedding controls are
// taken as neutral characters.
QString VisibleCaptionPart(const QString& text, int maxChars, VisibleEdge edge);

// text, cut at edge to what a label widthPx screen pixels wide can show with
// font at its smallest fitted size (SmallestFontSize): the cut text is still
// wider than the label at that size, so fitting it gives the size the whole
// text would get, and the part in view is the same.
QString CutCaptionToLabel(const QString& text, const QFont& font, int widthPx, VisibleEdge edge);

} // namespace rasmik
