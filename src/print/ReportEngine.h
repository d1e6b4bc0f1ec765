#pragma once
// A small banded report engine on QPainter: one detail band of labels, filled
// row by row through a next-band handler and paged onto any paged device (the
// preview's printer, a real printer, a PDF writer).
//
// Sizes follow the printed page: the band and the margins are in millimetres;
// a label keeps its place and size in whole screen pixels at 96 dpi, the unit
// in which its text is measured, and is scaled to the device when it prints.

#include <QColor>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPicture>
#include <QPointF>
#include <QString>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace rasmik {

inline constexpr double ScreenDpi = 96.0;
// The PDF writer's resolution.
inline constexpr double PrintDpi = 1200.0;
inline constexpr double MmPerInch = 25.4;
// The smallest point size a fitted label text gets.
inline constexpr int SmallestFontSize = 3;
// The lowest band, in millimetres.
inline constexpr double MinBandHeightMm = 1.0;

// Whole screen pixels for a length in millimetres, and back.
int MmToScreenPixels(double mm);
double ScreenPixelsToMm(int px);

// Width and line height of a text in a font, in screen pixels at 96 dpi. The
// width is the printed one, rounded up: the screen's whole-pixel advances
// can add up to less than the page's.
int ScreenTextWidth(const QFont& font, const QString& text);
int ScreenLineHeight(const QFont& font);

// Lowers size one point at a time while it is above SmallestFontSize and the
// text, as widthAt(size) measures it, is wider than widthPx. Measures once per
// size tried.
int FitFontSize(int size, int widthPx, const std::function<int(int)>& widthAt);
// The same for a text in a font: the point size the font gets.
int FitFontSize(const QFont& font, const QString& text, int widthPx);

// Thrown by a handler (nextBand) to stop a generation run the user cancelled;
// not a failure, so never reported as one.
struct ReportCancelled { };

enum class LabelAlignment { Left = 0, Right = 1, Centre = 2 };

// One cell of a printed row: a caption in a font, placed in the band, with
// optional side lines. Labels are transparent: the band's colour shows through.
class ReportLabel {
public:
    // Place and size: set in millimetres, kept as whole screen pixels.
    void setLeftMm(double mm) { left_ = MmToScreenPixels(mm); }
    void setTopMm(double mm) { top_ = MmToScreenPixels(mm); }
    void setWidthMm(double mm) { width_ = MmToScreenPixels(mm); }
    double leftMm() const { return ScreenPixelsToMm(left_); }
    double widthMm() const { return ScreenPixelsToMm(width_); }
    double heightMm() const { return ScreenPixelsToMm(height_); }
    int pixelLeft() const { return left_; }
    int pixelTop() const { return top_; }
    int pixelWidth() const { return width_; }
    int pixelHeight() const { return height_; }
    void setPixelHeight(int px) { height_ = px; }
    void setPixelLeft(int px) { left_ = px; }
    void setPixelWidth(int px) { width_ = px; }

    // Right to left mirrors the alignment: Left prints flush right.
    Qt::LayoutDirection direction = Qt::RightToLeft;
    // The direction the caption reads in: its first strong character's.
    Qt::LayoutDirection textDirection = Qt::RightToLeft;
    // A disabled label does not print.
    bool enabled = false;
    LabelAlignment alignment = LabelAlignment::Left;
    bool frameLeft = false;
    bool frameRight = false;
    bool frameTop = false;
    bool frameBottom = false;
    QFont font;
    QString caption;

    // The width, in screen pixels, that the caption is fitted to: the label
    // less its side line and a ring inside it, as a grid cell keeps them.
    int textRoom() const;

    // Draws the label at its place in a band whose top left corner is origin
    // (device pixels); scale is device pixels per screen pixel. The side lines
    // run down the whole band (bandHeight device pixels), so that a row whose
    // labels have different heights still gets unbroken column rules. The
    // caption is aligned inside its room, clipped to the label.
    void paint(QPainter& painter, QPointF origin, double scaleX, double scaleY, double bandHeight) const;

private:
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// The report's one detail band: a printed row, framed, holding the labels.
class ReportBand {
public:
    ReportLabel* addLabel();
    int labelCount() const { return static_cast<int>(labels_.size()); }

    // Printable width of the page the current run prints on, in millimetres.
    double widthMm() const { return widthMm_; }
    void setWidthMm(double mm) { widthMm_ = mm; }
    double heightMm() const { return heightMm_; }
    void setHeightMm(double mm) { heightMm_ = mm; }
    // The page beyond the band's left and right sides (the margins), in
    // millimetres: what a label placed outside the band can still show on.
    // Unbounded until a run sets them.
    double leftRoomMm() const { return leftRoomMm_; }
    double rightRoomMm() const { return rightRoomMm_; }
    void setRoomMm(double left, double right)
    {
        leftRoomMm_ = left;
        rightRoomMm_ = right;
    }

    QColor color = Qt::white;
    bool frameLeft = false;
    bool frameRight = false;
    bool frameTop = false;
    bool frameBottom = false;

    // Background, frame and enabled labels, top left at (0, y) in device pixels.
    void paint(QPainter& painter, double y, double dpiX, double dpiY) const;

private:
    std::vector<std::unique_ptr<ReportLabel>> labels_;
    double widthMm_ = 0;
    double heightMm_ = MinBandHeightMm;
    double leftRoomMm_ = std::numeric_limits<double>::infinity();
    double rightRoomMm_ = std::numeric_limits<double>::infinity();
};

// Pages the detail band onto a device: asks for one row at a time and starts
// a new page whenever the next row does not fit.
class ReportEngine {
public:
    ReportEngine();
    ~ReportEngine();

    // Page margins in millimetres.
    double leftMargin = 10;
    double rightMargin = 10;
    double topMargin = 10;
    double bottomMargin = 10;
    // Caption of the preview window and the print job's name.
    QString title;

    // Called once at the start of every generation run.
    std::function<void()> onRunStart;
    // Called before each band: fills the band with the next row and answers
    // whether there was one.
    std::function<bool()> nextBand;

    ReportBand& band() { return *band_; }
    const ReportBand& band() const { return *band_; }

    // Portrait page layout with this report's margins on the given paper.
    QPageLayout pageLayoutFor(const QPageSize& paper) const;
    // Lays the bands onto device page by page, a new page whenever the next
    // band does not fit below the last. Returns the page count. Throws
    // std::runtime_error when the device cannot be painted on; a printer is
    // aborted when the run fails or is cancelled.
    int generate(QPagedPaintDevice& device);
    // The same pages recorded as pictures, the way the print preview keeps
    // them: page n of layout, at the pictures' own resolution, its origin at
    // the top left corner of the printable area.
    std::vector<QPicture> generatePictures(const QPageLayout& layout);
    // The modal print preview (maximized); printing from it generates the
    // pages again. Throws std::runtime_error with the reason when a
    // generation run failed; the preview is closed then. A run cancelled
    // (ReportCancelled) before the first preview closes it without a word;
    // a cancelled print aborts the print and leaves the preview open. The
    // pages go with the preview.
    void preview(QWidget* parent);

private:
    // One run onto pages of layout, dpi device pixels per inch; newPage ends
    // a page and starts the next.
    int paintPages(QPainter& painter, const QPageLayout& layout, double dpiX, double dpiY, double pageHeight,
                   const std::function<void()>& newPage);

    std::unique_ptr<ReportBand> band_;
};

} // namespace rasmik
