#pragma once
// What the main window's Print command calls: the grid font as the report
// carries it, and the print itself over the process-wide print lines.

#include "print/ReportFont.h"

#include <string>
#include <vector>

class QFont;
class QWidget;

namespace rasmik {

class CoreGrid;

// Face name (as Windows-1256), point size and style of a font. A font sized
// in pixels gets the point size those pixels make on a 96 dpi screen.
ReportFont ReportFontFromQFont(const QFont& font);

// The report lines of the last print; made at the first print, kept until the
// next one replaces them so that the preview can print from them again.
std::vector<std::string>& PrintLines();

// Builds PrintLines from the title and the grid in the grid's font, and shows
// them in the modal print preview over parent. Returns when it closes.
void PrintGrid(const CoreGrid& grid, const QFont& gridFont, const std::string& title,
               QWidget* parent);

} // namespace rasmik
