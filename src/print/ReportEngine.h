#pragma once
// A small banded report engine on QPainter: one detail band of labels, filled
// row by row through a need-data handler and paged onto any paged device (the
// preview's printer, a real printer, a PDF writer).
//
// Sizes follow the printed page: the band and the margins are in millimetres;
// a label keeps its place and size in whole screen pixels at 96 dpi, the unit
// in which its text is measured, and is scaled to the device when it prints.

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace rasmik {

inline constexpr double ScreenDpi = 96.0;
inline constexpr double MmPerInch = 25.4;
// The smallest point size a fitted label text gets.
inline constexpr int SmallestFontSize = 3;
// The lowest band, in millimetres.
inline constexpr double MinBandHeightMm = 1.0;

// Whole screen pixels for a length in millimetres, and back.
int MmToScreenPixels(double mm);
double ScreenPixelsToMm(int px);

// Width and line height of a text in a font, in screen pixels at 96 dpi.
int ScreenTextWidth(const QFont& font, const QString& text);
int ScreenLineHeight(const QFont& font);

// Lowers size one point at a time while it is above SmallestFontSize and the
// text, as widthAt(size) measures it, is wider than widthPx. Measures once per
// size tried.
int FitFontSize(int size, int widthPx, const std::function<int(int)>& widthAt);
// The same for a text in a font: the point size the font gets.
int FitFontSize(const QFont& font, const QString& text, int widthPx);

enum class LabelAlignment { Left = 0, Right = 1, Centre = 2 };

class TQRLabel {
public:
    // Place and size: set in millimetres, kept as whole screen pixels.
    void SetLeftMm(double mm) { left_ = MmToScreenPixels(mm); }
    void SetTopMm(double mm) { top_ = MmToScreenPixels(mm); }
    void SetWidthMm(double mm) { width_ = MmToScreenPixels(mm); }
    double LeftMm() const { return ScreenPixelsToMm(left_); }
    double WidthMm() const { return ScreenPixelsToMm(width_); }
    double HeightMm() const { return ScreenPixelsToMm(height_); }
    int PixelLeft() const { return left_; }
    int PixelTop() const { return top_; }
    int PixelWidth() const { return width_; }
    int PixelHeight() const { return height_; }
    void SetPixelHeight(int px) { height_ = px; }

    bool AutoSize = false;
    bool Transparent = true;
    Qt::LayoutDirection BiDiMode = Qt::RightToLeft;
    bool Enabled = false;
    LabelAlignment Alignment = LabelAlignment::Left;
    bool FrameLeft = false;
    bool FrameRight = false;
    bool FrameTop = false;
    bool FrameBottom = false;
    QFont Font;
    QString Caption;

    // Draws the label at its place in a band whose top left corner is origin
    // (device pixels); scale is device pixels per screen pixel. The side lines
    // run down the whole band (bandHeight device pixels), so that a row whose
    // labels have different heights still gets unbroken column rules. The
    // caption is clipped to the label.
    void Paint(QPainter& painter, QPointF origin, double scaleX, double scaleY,
               double bandHeight) const;

private:
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
};

enum class BandType { Detail };

class TQRBand {
public:
    TQRLabel* AddLabel();
    int LabelCount() const { return static_cast<int>(labels_.size()); }

    // Printable width of the page the current run prints on, in millimetres.
    double WidthMm() const { return widthMm_; }
    void SetWidthMm(double mm) { widthMm_ = mm; }
    double HeightMm() const { return heightMm_; }
    void SetHeightMm(double mm) { heightMm_ = mm; }

    BandType Type = BandType::Detail;
    QColor Color = Qt::white;
    bool FrameLeft = false;
    bool FrameRight = false;
    bool FrameTop = false;
    bool FrameBottom = false;

    // Background, frame and enabled labels, top left at (0, y) in device pixels.
    void Paint(QPainter& painter, double y, double dpiX, double dpiY) const;

private:
    std::vector<std::unique_ptr<TQRLabel>> labels_;
    double widthMm_ = 0;
    double heightMm_ = MinBandHeightMm;
};

class TQuickRep : public QObject {
public:
    explicit TQuickRep(QObject* owner);
    ~TQuickRep() override;

    // Page margins in millimetres.
    double LeftMargin = 10;
    double RightMargin = 10;
    double TopMargin = 10;
    double BottomMargin = 10;
    // Caption of the preview window and the print job's name.
    QString ReportTitle;

    // Called once at the start of every generation run.
    std::function<void()> BeforePrint;
    // Called before each band; answers whether one more band follows.
    std::function<void(bool& moreData)> OnNeedData;

    TQRBand* CreateBand();
    TQRBand* Band() const { return band_.get(); }

    // Portrait page layout with this report's margins on the given paper.
    QPageLayout PageLayoutFor(const QPageSize& paper) const;
    // Lays the bands onto device page by page, a new page whenever the next
    // band does not fit below the last. Returns the page count. Throws
    // std::runtime_error when the device cannot be painted on.
    int Generate(QPagedPaintDevice& device);
    // The modal print preview (maximized); printing from it generates the
    // pages again. Throws std::runtime_error with the reason when a
    // generation run failed; the preview is closed then.
    void Preview(QWidget* parent);

private:
    std::unique_ptr<TQRBand> band_;
};

} // namespace rasmik
