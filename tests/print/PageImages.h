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

// Compares a printed page with the preview of it, row by row of the table on
// it: table cut into rows equal bands, each narrowed by inset at both sides,
// where the outer frame lines round to different pixels. A band differs when
// more than allowed dark pixels of one image have no ink of the other within
// two pixels; a bracket turned round or a word moved across a space leaves
// dozens alone. Empty when no band differs; else what differs in the first
// that does, and both images are kept in the temporary folder as
// <name>-printed.png and <name>-preview.png.
QString UnmatchedRow(const QImage& printed, const QImage& preview, const QRect& table, int rows, int inset, int allowed,
                     const QString& name);
