#include "print/PrintCommand.h"

#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "render/QtText.h"
#include "table/CoreGrid.h"

#include <QFont>

#include <cmath>

namespace rasmik {

ReportFont ReportFontFromQFont(const QFont& font)
{
    ReportFont f;
    f.name = FromQString(font.family());
    f.size = font.pointSize();
    if (f.size <= 0 && font.pixelSize() > 0)
        f.size = static_cast<int>(std::lround(font.pixelSize() * 72.0 / ScreenDpi));
    f.style.bold = font.bold();
    f.style.italic = font.italic();
    f.style.underline = font.underline();
    f.style.strikeOut = font.strikeOut();
    return f;
}

bool PrintGrid(GridReport& report, const CoreGrid& grid, const QFont& gridFont, const QString& title, QWidget* parent)
{
    BuildPrintLines(grid, ReportFontFromQFont(gridFont), FromQString(title, grid.Encoding()), report.lines());
    report.setEncoding(grid.Encoding());
    return report.preview(parent);
}

} // namespace rasmik
