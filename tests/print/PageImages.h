#pragma once
// Printed pages as pixels: a PDF page through poppler's pdftoppm, a recorded
// preview page played into an image, and a comparison of where their ink is
// that forgives the two renderers' different anti-aliasing.

#include <QImage>
#include <QPicture>
#include <QRect>
#include <QString>

// Page page (from 1) of pdf at dpi, or a null image when pdftoppm fails.
QImage RenderPdfPage(const QString& pdf, int page, int dpi);

// A picture played onto a white image of size, its origin moved to origin.
QImage PlayPicture(const QPicture& picture, QSize size, QPoint origin);

// Dark pixels of a inside area that have no pixel of ink of b within radius.
int UnmatchedInk(const QImage& a, const QImage& b, const QRect& area, int radius);

// The smallest rectangle inside area that holds every dark pixel of image.
QRect InkBounds(const QImage& image, const QRect& area);
