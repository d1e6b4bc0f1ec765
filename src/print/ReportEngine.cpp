#include "print/ReportEngine.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QMetaObject>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
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

QFont withPointSize(QFont font, int size)
{
    // A zero or negative point size is no font at all; print such text tiny.
    font.setPointSize(std::max(size, 1));
    return font;
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
    return QFontMetrics(font, screenDevice()).horizontalAdvance(text);
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
    return FitFontSize(font.pointSize(), widthPx, [&](int size) {
        return ScreenTextWidth(withPointSize(font, size), text);
    });
}

void TQRLabel::Paint(QPainter& painter, QPointF origin, double scaleX, double scaleY,
                     double bandHeight) const
{
    const QRectF rect(origin.x() + left_ * scaleX, origin.y() + top_ * scaleY, width_ * scaleX,
                      height_ * scaleY);
    painter.setPen(QPen(Qt::black, scaleX));
    const double bottom = std::max(rect.bottom(), origin.y() + bandHeight);
    if (FrameLeft)
        painter.drawLine(QPointF(rect.left(), origin.y()), QPointF(rect.left(), bottom));
    if (FrameRight)
        painter.drawLine(QPointF(rect.right(), origin.y()), QPointF(rect.right(), bottom));
    if (FrameTop)
        painter.drawLine(rect.topLeft(), rect.topRight());
    if (FrameBottom)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (!Transparent)
        painter.fillRect(rect, Qt::white);
    if (Caption.isEmpty())
        return;

    // Right-to-left mirrors left and right: left alignment prints flush right.
    Qt::Alignment horizontal = Qt::AlignHCenter;
    const bool rtl = BiDiMode == Qt::RightToLeft;
    if (Alignment == LabelAlignment::Left)
        horizontal = rtl ? Qt::AlignRight : Qt::AlignLeft;
    else if (Alignment == LabelAlignment::Right)
        horizontal = rtl ? Qt::AlignLeft : Qt::AlignRight;
    QTextOption option(Qt::AlignAbsolute | horizontal | Qt::AlignTop);
    option.setTextDirection(BiDiMode);
    option.setWrapMode(QTextOption::NoWrap);
    painter.save();
    painter.setClipRect(QRectF(rect.left(), origin.y(), rect.width(), bottom - origin.y()),
                        Qt::IntersectClip);
    painter.setFont(Font);
    painter.setPen(Qt::black);
    painter.drawText(rect, Caption, option);
    painter.restore();
}

TQRLabel* TQRBand::AddLabel()
{
    labels_.push_back(std::make_unique<TQRLabel>());
    return labels_.back().get();
}

void TQRBand::Paint(QPainter& painter, double y, double dpiX, double dpiY) const
{
    const QRectF rect(0, y, widthMm_ * dpiX / MmPerInch, heightMm_ * dpiY / MmPerInch);
    painter.fillRect(rect, Color);
    const double scaleX = dpiX / ScreenDpi;
    const double scaleY = dpiY / ScreenDpi;
    painter.setPen(QPen(Qt::black, scaleX));
    if (FrameTop)
        painter.drawLine(rect.topLeft(), rect.topRight());
    if (FrameBottom)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    if (FrameLeft)
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
    if (FrameRight)
        painter.drawLine(rect.topRight(), rect.bottomRight());
    for (const auto& label : labels_)
        if (label->Enabled)
            label->Paint(painter, rect.topLeft(), scaleX, scaleY, rect.height());
}

TQuickRep::TQuickRep(QObject* owner)
    : QObject(owner)
{
}

TQuickRep::~TQuickRep() = default;

TQRBand* TQuickRep::CreateBand()
{
    band_ = std::make_unique<TQRBand>();
    return band_.get();
}

QPageLayout TQuickRep::PageLayoutFor(const QPageSize& paper) const
{
    return QPageLayout(paper, QPageLayout::Portrait,
                       QMarginsF(LeftMargin, TopMargin, RightMargin, BottomMargin),
                       QPageLayout::Millimeter);
}

int TQuickRep::Generate(QPagedPaintDevice& device)
{
    if (!band_)
        throw std::runtime_error("the report has no band");
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("the printer cannot be opened for painting");
    painter.setRenderHint(QPainter::Antialiasing, false);

    const QPageLayout layout = device.pageLayout();
    band_->SetWidthMm(layout.paintRect(QPageLayout::Millimeter).width());
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    const double pageHeight = device.height();

    if (BeforePrint)
        BeforePrint();
    int pages = 1;
    double y = 0;
    for (;;) {
        bool moreData = false;
        if (OnNeedData)
            OnNeedData(moreData);
        if (!moreData)
            break;
        const double height = band_->HeightMm() * dpiY / MmPerInch;
        // A band that does not fit goes to the next page; one taller than a
        // whole page prints from the top of its own page.
        if (y > 0 && y + height > pageHeight) {
            if (!device.newPage())
                throw std::runtime_error("the printer cannot start a new page");
            ++pages;
            y = 0;
        }
        band_->Paint(painter, y, dpiX, dpiY);
        y += height;
    }
    if (!painter.end())
        throw std::runtime_error("the printer could not finish the document");
    return pages;
}

void TQuickRep::Preview(QWidget* parent)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        throw std::runtime_error("the print preview needs a window system");
    QPrinter printer(QPrinter::HighResolution);
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    const QPageSize paper = defaultPrinter.isNull() ? QPageSize(QPageSize::A4)
                                                    : defaultPrinter.defaultPageSize();
    printer.setPageLayout(PageLayoutFor(paper.isValid() ? paper : QPageSize(QPageSize::A4)));
    printer.setDocName(ReportTitle);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(ReportTitle);
    QString failure;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [this, &dialog, &failure](QPrinter* target) {
                         if (!failure.isEmpty())
                             return;
                         try {
                             Generate(*target);
                         } catch (const std::exception& e) {
                             failure = QString::fromUtf8(e.what());
                         } catch (...) {
                             failure = QStringLiteral("unknown error");
                         }
                         if (!failure.isEmpty())
                             QMetaObject::invokeMethod(&dialog, &QDialog::reject,
                                                       Qt::QueuedConnection);
                     });
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    dialog.exec();
    if (!failure.isEmpty())
        throw std::runtime_error(failure.toStdString());
}

} // namespace rasmik
