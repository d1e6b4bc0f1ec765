#pragma once
// What the main window's Print command calls: the grid font as the report
// carries it, and the print itself into a report its caller keeps.

#include "print/ReportFont.h"

class QFont;
class QString;
class QWidget;

namespace rasmik {

class CoreGrid;
class GridReport;

// Face name (as Windows-1256), point size and style of a font. A font sized
// in pixels gets the point size those pixels make on a 96 dpi screen.
ReportFont ReportFontFromQFont(const QFont& font);

// Fills report with the title row (title as the user typed it) and the grid's
// rows in the grid's font and held form, and shows them in the modal print
// preview over parent; returns when it closes. report keeps the lines until
// the next print. False when the print failed (the failure has been shown).
bool PrintGrid(GridReport& report, const CoreGrid& grid, const QFont& gridFont, const QString& title, QWidget* parent);

} // namespace rasmik
