#pragma once
// The dark pixels (text) of an area of an image, cut to their bounds: two
// texts painted at different places, on different backgrounds, compare equal
// when their glyphs are the same and in the same order.

#include <QImage>
#include <QRect>

inline QImage InkMask(const QImage& img, const QRect& area, int darkBelow = 110)
{
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(img.pixel(x, y)) < darkBelow)
                bounds |= QRect(x, y, 1, 1);
    QImage mask(bounds.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < bounds.height(); ++y)
        for (int x = 0; x < bounds.width(); ++x)
            mask.setPixel(x, y, qGray(img.pixel(bounds.left() + x, bounds.top() + y)) < darkBelow ? 0 : 255);
    return mask;
}
