// The report renderer's reading of a report line: cell items laid into the
// detail band's labels, then the band painted into a small image as the
// preview paints it. Input: the line; its first byte picks the band width.

#include "FuzzTargets.h"

#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"

#include <QImage>
#include <QPainter>

using namespace rasmik;

namespace rasmik::fuzz {

int ReportLine(const std::uint8_t* data, std::size_t size)
{
    EnsureGuiApplication();
    if (size == 0)
        return 0;
    const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);

    ReportBand band;
    band.setWidthMm(20.0 + data[0]);
    ReportRowFeeder feeder(band);
    feeder.layLine(line);

    // One label per item; a line of items each ending in the separator has no
    // item after the last separator.
    std::size_t separators = 0;
    for (std::size_t p = line.find(ItemSeparator); p != std::string_view::npos;
         p = line.find(ItemSeparator, p + ItemSeparator.size()))
        ++separators;
    int enabled = 0;
    for (const ReportLabel* label : feeder.labels()) {
        if (!label->enabled)
            continue;
        ++enabled;
        FUZZ_CHECK(label->font.pointSize() >= 1);
        FUZZ_CHECK(label->pixelHeight() >= 0);
    }
    FUZZ_CHECK(static_cast<std::size_t>(enabled) <= separators + 1);
    FUZZ_CHECK(band.heightMm() >= MinBandHeightMm);
    FUZZ_CHECK(band.labelCount() == static_cast<int>(feeder.labels().size()));

    QImage image(160, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    band.paint(painter, 0, ScreenDpi / 2, ScreenDpi / 2);
    painter.end();

    // A second line reuses the labels: the first line's extra ones go dark.
    feeder.layLine(std::string_view());
    for (const ReportLabel* label : feeder.labels())
        FUZZ_CHECK(!label->enabled);
    return 0;
}

} // namespace rasmik::fuzz
