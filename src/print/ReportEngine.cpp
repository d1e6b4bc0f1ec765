#include "print/ReportEngine.h"

#include "render/CellPainter.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QMetaObject>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRawFont>
#include <QScreen>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace rasmik {

namespace {

// A paint device at screen resolution, for measuring texts the way the label
// sizes are kept.
const QPaintDevice* screenDevice()
{
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32);
        const int dotsPerMeter = static_cast<int>(std::lround(ScreenDpi / MmPerInch * 1000.0));
        img.setDotsPerMeterX(dotsPerMeter);
        img.setDotsPerMeterY(dotsPerMeter);
        return img;
    }();
    return &device;
}

// The resolution pages are printed at (the PDF writer's): advances measured
// there are what the page shows.
const QPaintDevice* printDevice()
{
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_ARGB32);
        const int dotsPerMeter = static_cast<int>(std::lround(PrintDpi / MmPerInch * 1000.0));
        img.setDotsPerMeterX(dotsPerMeter);
        img.setDotsPerMeterY(dotsPerMeter);
        return img;
    }();
    return &device;
}

QFont withPointSize(QFont font, int size)
{
    // A zero or negative point size is no font at all; print such text tiny.
    font.setPointSize(std::max(size, 1));
    return font;
}

// A recorded picture (the print preview's pages) keeps each piece of text
// with its font and lays it out again, left to right, when it is played: the
// direction the piece had in its line is lost, so parentheses turn round and
// neutral characters move to the wrong side. Draw the text as the pieces
// the layout made of it, one font and one direction each, every piece held
// between two marks of its own direction, so that playing it back gives
// the same glyphs at the same places.
void drawTextForReplay(QPainter& painter, const QRectF& rect, const QString& text, const QTextOption& option)
{
    const QFont font = painter.font();
    QTextLayout layout(text, font, painter.device());
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return;
    }
    line.setLineWidth(rect.width());
    line.setPosition(QPointF(0, 0));
    layout.endLayout();

    const int length = static_cast<int>(text.size());
    for (int from = 0; from < length;) {
        // The longest stretch from here that the layout keeps in one run.
        int count = length - from;
        QList<QGlyphRun> runs = layout.glyphRuns(from, count);
        if (runs.size() > 1) {
            int low = 1;
            int high = count - 1;
            while (low < high) {
                const int middle = (low + high + 1) / 2;
                if (layout.glyphRuns(from, middle).size() <= 1)
                    low = middle;
                else
                    high = middle - 1;
            }
            count = low;
            runs = layout.glyphRuns(from, count);
        }
        if (!runs.isEmpty() && !runs.front().positions().isEmpty()) {
            const QGlyphRun& run = runs.front();
            const QList<QPointF> positions = run.positions();
            double left = positions.front().x();
            for (const QPointF& p : positions)
                left = std::min(left, p.x());
            QFont pieceFont = font;
            pieceFont.setFamily(run.rawFont().familyName());
            pieceFont.setStyleStrategy(QFont::NoFontMerging);
            const QChar mark(run.isRightToLeft() ? 0x200F : 0x200E);
            painter.setFont(pieceFont);
            painter.drawText(rect.topLeft() + QPointF(left, positions.front().y()),
                             mark + text.mid(from, count) + mark);
        }
        from += count;
    }
    painter.setFont(font);
}

} // namespace

int MmToScreenPixels(double mm)
{
    return static_cast<int>(std::lround(mm * ScreenDpi / MmPerInch));
}

double ScreenPixelsToMm(int px)
{
    return px * MmPerInch / ScreenDpi;
}

int ScreenTextWidth(const QFont& font, const QString& text)
{
    const double printed = QFontMetricsF(font, printDevice()).horizontalAdvance(text) * ScreenDpi / PrintDpi;
    // A hair over a whole pixel is rounding, not a pixel more.
    return static_cast<int>(std::ceil(printed - 1e-6));
}

int ScreenLineHeight(const QFont& font)
{
    return QFontMetrics(font, screenDevice()).height();
}

int FitFontSize(int size, int widthPx, const std::function<int(int)>& widthAt)
{
    while (size > SmallestFontSize && widthAt(size) > widthPx)
        --size;
    return size;
}

int FitFontSize(const QFont& font, const QString& text, int widthPx)
{
    return FitFontSize(font.pointSize(), widthPx,
                       [&](int size) { return ScreenTextWidth(withPointSize(font, size), text); });
}

int ReportLabel::textRoom() const
{
    return TextWidthOfSection(width_);
}

void ReportLabel::paint(QPainter& painter, QPointF origin, double scaleX, double scaleY, double bandHeight) const
{
    const QRectF rect(origin.x() + left_ * scaleX, origin.y() + top_ * scaleY, width_ * scaleX, height_ * scaleY);
    painter.setPen(QPen(Qt::black, scaleX));
    const double bottom = std::max(rect.bottom(), origin.y() + bandHeight);
    if (frameLeft)
        painter.drawLine(QPointF(rect.left(), origin.y()), QPointF(rect.left(), bottom));
    if (frameRight)
        painter.drawLine(QPointF(rect.right(), origin.y()), QPointF(rect.right(), bottom));
    if (frameTop)
        painter.drawLine(rect.topLeft(), rect.topRight());
    if (frameBottom)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (caption.isEmpty())
        return;

    // Right-to-left mirrors left and right: left alignment prints flush right.
    Qt::Alignment horizontal = Qt::AlignHCenter;
    const bool rtl = direction == Qt::RightToLeft;
    if (alignment == LabelAlignment::Left)
        horizontal = rtl ? Qt::AlignRight : Qt::AlignLeft;
    else if (alignment == LabelAlignment::Right)
        horizontal = rtl ? Qt::AlignLeft : Qt::AlignRight;
    QTextOption option(Qt::AlignAbsolute | horizontal | Qt::AlignTop);
    option.setTextDirection(textDirection);
    option.setWrapMode(QTextOption::NoWrap);
    painter.save();
    painter.setClipRect(QRectF(rect.left(), origin.y(), rect.width(), bottom - origin.y()), Qt::IntersectClip);
    painter.setFont(font);
    painter.setPen(Qt::black);
    // The room between the side lines, centred in the label.
    const double inset = (width_ - textRoom()) * scaleX / 2;
    const QRectF room = rect.adjusted(inset, 0, -inset, 0);
    if (painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Picture)
        drawTextForReplay(painter, room, caption, option);
    else
        painter.drawText(room, caption, option);
    painter.restore();
}

ReportLabel* ReportBand::addLabel()
{
    labels_.push_back(std::make_unique<ReportLabel>());
    return labels_.back().get();
}

void ReportBand::paint(QPainter& painter, double y, double dpiX, double dpiY) const
{
    const QRectF rect(0, y, widthMm_ * dpiX / MmPerInch, heightMm_ * dpiY / MmPerInch);
    painter.fillRect(rect, color);
    const double scaleX = dpiX / ScreenDpi;
    const double scaleY = dpiY / ScreenDpi;
    painter.setPen(QPen(Qt::black, scaleX));
    if (frameTop)
        painter.drawLine(rect.topLeft(), rect.topRight());
    if (frameBottom)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (frameLeft)
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
    if (frameRight)
        painter.drawLine(rect.topRight(), rect.bottomRight());
    for (const auto& label : labels_)
        if (label->enabled)
            label->paint(painter, rect.topLeft(), scaleX, scaleY, rect.height());
}

ReportEngine::ReportEngine() : band_(std::make_unique<ReportBand>())
{
}

ReportEngine::~ReportEngine() = default;

QPageLayout ReportEngine::pageLayoutFor(const QPageSize& paper) const
{
    return QPageLayout(paper, QPageLayout::Portrait, QMarginsF(leftMargin, topMargin, rightMargin, bottomMargin),
                       QPageLayout::Millimeter);
}

int ReportEngine::paintPages(QPainter& painter, const QPageLayout& layout, double dpiX, double dpiY, double pageHeight,
                             const std::function<void()>& newPage)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRectF printable = layout.paintRect(QPageLayout::Millimeter);
    const QRectF paper = layout.fullRect(QPageLayout::Millimeter);
    band_->setWidthMm(printable.width());
    band_->setRoomMm(printable.left() - paper.left(), paper.right() - printable.right());
    if (onRunStart)
        onRunStart();
    int pages = 1;
    double y = 0;
    for (;;) {
        if (!nextBand || !nextBand())
            break;
        const double height = band_->heightMm() * dpiY / MmPerInch;
        // A band that does not fit goes to the next page; one taller than a
        // whole page prints from the top of its own page.
        if (y > 0 && y + height > pageHeight) {
            newPage();
            ++pages;
            y = 0;
        }
        band_->paint(painter, y, dpiX, dpiY);
        y += height;
    }
    return pages;
}

int ReportEngine::generate(QPagedPaintDevice& device)
{
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("the printer cannot be opened for painting");
    int pages = 0;
    try {
        pages = paintPages(painter, device.pageLayout(), device.logicalDpiX(), device.logicalDpiY(), device.height(),
                           [&device] {
                               if (!device.newPage())
                                   throw std::runtime_error("the printer cannot start a new page");
                           });
    } catch (...) {
        // Half a document must not reach the printer. The preview's own
        // recording (a picture engine) keeps what it has and is closed.
        const bool recording = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Picture;
        if (auto* printer = dynamic_cast<QPrinter*>(&device); printer && !recording)
            printer->abort();
        painter.end();
        throw;
    }
    if (!painter.end())
        throw std::runtime_error("the printer could not finish the document");
    return pages;
}

std::vector<QPicture> ReportEngine::generatePictures(const QPageLayout& layout)
{
    std::vector<QPicture> pages;
    QPicture page;
    QPainter painter(&page);
    const double dpiX = page.logicalDpiX();
    const double dpiY = page.logicalDpiY();
    const double pageHeight = layout.paintRect(QPageLayout::Inch).height() * dpiY;
    paintPages(painter, layout, dpiX, dpiY, pageHeight, [&] {
        painter.end();
        pages.push_back(page);
        page = QPicture();
        painter.begin(&page);
    });
    painter.end();
    pages.push_back(page);
    return pages;
}

void ReportEngine::preview(QWidget* parent)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw std::runtime_error("the print preview needs a window system");
    QPrinter printer(QPrinter::HighResolution);
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    const QPageSize paper = defaultPrinter.isNull() ? QPageSize(QPageSize::A4) : defaultPrinter.defaultPageSize();
    printer.setPageLayout(pageLayoutFor(paper.isValid() ? paper : QPageSize(QPageSize::A4)));
    printer.setDocName(title);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(title);
    QString failure;
    bool previewMade = false;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [this, &dialog, &failure, &previewMade](QPrinter* target) {
                         if (!failure.isEmpty())
                             return;
                         try {
                             generate(*target);
                             previewMade = true;
                         } catch (const ReportCancelled&) {
                             // Nothing to show yet: the preview goes too.
                             if (!previewMade)
                                 QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
                             return;
                         } catch (const std::exception& e) {
                             failure = QString::fromUtf8(e.what());
                         } catch (...) {
                             failure = QStringLiteral("unknown error");
                         }
                         if (!failure.isEmpty())
                             QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
                     });
    // The size of the main window (or most of the screen), in case no window
    // manager maximises it; a page fitted to the width reads at once.
    if (parent && parent->window()->isVisible()) {
        dialog.setGeometry(parent->window()->geometry());
    } else if (const QScreen* screen = dialog.screen()) {
        const QRect room = screen->availableGeometry();
        dialog.setGeometry(
            room.adjusted(room.width() / 20, room.height() / 20, -room.width() / 20, -room.height() / 20));
    }
    if (auto* fitWidth = dialog.findChild<QAction*>(QStringLiteral("fitWidthAction")))
        fitWidth->trigger();
    else if (auto* pages = dialog.findChild<QPrintPreviewWidget*>())
        pages->fitToWidth();
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    dialog.exec();
    if (!failure.isEmpty())
        throw std::runtime_error(failure.toStdString());
}

} // namespace rasmik
