#include "PageImages.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

namespace {

bool dark(const QImage& image, int x, int y, int threshold = 128)
{
    return qGray(image.pixel(x, y)) < threshold;
}

} // namespace

QImage RenderPdfPage(const QString& pdf, int page, int dpi)
{
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("page"));
    QProcess p;
    p.start(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
             QStringLiteral("-l"), QString::number(page), QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
             base});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QImage();
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

QImage PlayPicture(const QPicture& picture, QSize size, QPoint origin)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(origin);
    QPicture copy = picture;
    copy.play(&painter);
    painter.end();
    return image;
}

int UnmatchedInk(const QImage& a, const QImage& b, const QRect& area, int radius)
{
    const QRect inside = area & a.rect() & b.rect();
    int unmatched = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            // Clear ink of one against any ink of the other: the renderers
            // shade the edges of thin strokes differently.
            if (!dark(a, x, y, 96))
                continue;
            bool found = false;
            for (int dy = -radius; dy <= radius && !found; ++dy)
                for (int dx = -radius; dx <= radius && !found; ++dx)
                    found = b.rect().contains(x + dx, y + dy) && dark(b, x + dx, y + dy, 208);
            if (!found)
                ++unmatched;
        }
    return unmatched;
}

QRect InkBounds(const QImage& image, const QRect& area)
{
    const QRect inside = area & image.rect();
    QRect bounds;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (dark(image, x, y))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QString UnmatchedRow(const QImage& printed, const QImage& preview, const QRect& table, int rows, int inset, int allowed,
                     const QString& name)
{
    for (int r = 0; r < rows; ++r) {
        const QRect band =
            QRect(table.left(), table.top() + r * table.height() / rows, table.width(), table.height() / rows)
                .adjusted(inset, 0, -inset, 0);
        const int lost = UnmatchedInk(printed, preview, band, 2);
        const int added = UnmatchedInk(preview, printed, band, 2);
        if (lost > allowed || added > allowed) {
            printed.save(QDir::temp().filePath(name + QStringLiteral("-printed.png")));
            preview.save(QDir::temp().filePath(name + QStringLiteral("-preview.png")));
            return QStringLiteral("row %1: %2 printed pixels not in the preview, %3 the other way")
                .arg(r)
                .arg(lost)
                .arg(added);
        }
    }
    return QString();
}
