// The report renderer's reading of a report line: cell items laid into the
// detail band's labels, then the band painted into a small image as the
// preview paints it. Input: the line; its first byte picks the band width.

#include "FuzzTargets.h"

#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>

using namespace rasmik;

namespace {

// Fitting a caption looks its font up at every point size from the item's
// down, and each size of a family the font library does not know is a fresh
// search of every installed font: one item of 250 points in a made-up family
// takes 20 s here. Lines are taken while their items would cost at most this
// many lookups of a known family, a lookup of an unknown one counting as many.
constexpr double LookupBudget = 1000;
constexpr double UnknownFamilyCost = 25;

bool WithinCaps(std::string_view line)
{
    // An empty name leaves the default family, looked up afresh at each size too.
    static const std::string_view seedFamilies[] = {"DejaVu Sans", "Tahoma", "Nimbus Sans"};
    double cost = 0;
    for (std::string_view rest = line; !rest.empty();) {
        const std::size_t end = rest.find(ItemSeparator);
        std::string_view item = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + ItemSeparator.size());
        // share colour alignment left right top bottom size, four style
        // flags, then the font name up to '*'.
        double size = 0;
        for (int token = 0; token < 12; ++token) {
            while (!item.empty() && item.front() == ' ')
                item.remove_prefix(1);
            const std::string_view word = item.substr(0, item.find(' '));
            if (token == 7)
                size = std::strtod(std::string(word).c_str(), nullptr);
            item.remove_prefix(word.size());
        }
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        const std::string_view name = item.substr(0, item.find('*'));
        const bool known = std::find(std::begin(seedFamilies), std::end(seedFamilies), name) != std::end(seedFamilies);
        cost += (known ? 1 : UnknownFamilyCost) * std::clamp(std::isnan(size) ? 1.0 : size, 1.0, 255.0);
        if (cost > LookupBudget)
            return false;
    }
    return true;
}

} // namespace

namespace rasmik::fuzz {

int ReportLine(const std::uint8_t* data, std::size_t size)
{
    EnsureGuiApplication();
    if (size == 0)
        return 0;
    const std::string_view line(reinterpret_cast<const char*>(data + 1), size - 1);
    if (CapSlowInputs && !WithinCaps(line))
        return -1; // not kept in the corpus either

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
