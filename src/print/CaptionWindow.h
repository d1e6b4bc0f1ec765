#pragma once
// Of a caption too long for its label only the part at the label's aligned
// edge can show. Cutting the rest away first keeps a huge cell from being
// laid out and measured whole, again and again, while it is fitted and
// printed.

#include "text/BidiText.h"

#include <QFont>
#include <QString>

namespace rasmik {

// The characters of text, a paragraph read in its own direction (right to
// left without a strong character), that the maxChars positions at edge of
// its visual order hold, kept in their logical order: a run of the other
// direction inside the line reads the other way, so at an edge it keeps the
// end that shows there. text itself when it has no more than maxChars
// characters.
QString VisibleCaptionPart(const QString& text, int maxChars, VisibleEdge edge);

// text, cut at edge to what a label widthPx screen pixels wide can show with
// font at its smallest fitted size (SmallestFontSize): the cut text is still
// wider than the label at that size, so fitting it gives the size the whole
// text would get, and the part in view is the same.
QString CutCaptionToLabel(const QString& text, const QFont& font, int widthPx, VisibleEdge edge);

} // namespace rasmik
