// The cell painter on pixels: cells of a fake right-to-left grid painted into
// an image with a known font, colours read at known points.

#include "common/GridColours.h"
#include "common/InkMask.h"
#include "render/CellPainter.h"
#include "render/CellStyle.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "text/Cp1256.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace rasmik;

namespace {

const QColor Marker(1, 2, 3);
const QColor HeaderRed(255, 0, 0);
const QColor EdgeGrey(234, 234, 234);

// Column 0 at the right edge, as the grid lays them out.
class FakeGrid : public PaintGrid {
public:
    std::vector<int> widths{60, 80, 100, 70};
    int rowCount = 10;
    int rowHeight = 20;
    int curCol = 1;
    int curRow = 8;
    bool focus = true;
    bool shaping = false;
    QFont font{QStringLiteral("DejaVu Sans"), 10};
    std::set<int> hiddenCols;
    std::map<std::pair<int, int>, std::string> texts;
    std::function<void()> duringPaint;

    int totalWidth() const
    {
        int w = 0;
        for (int cw : widths)
            w += cw;
        return w;
    }
    int colCount() const override { return static_cast<int>(widths.size()); }
    int currentCol() const override { return curCol; }
    int currentRow() const override { return curRow; }
    bool hasKeyboardFocus() const override { return focus; }
    int colWidth(int col) const override { return widths[static_cast<std::size_t>(col)]; }
    QFont gridFont() const override
    {
        if (duringPaint)
            duringPaint();
        return font;
    }
    std::string_view cellText(int col, int row) const override
    {
        const auto it = texts.find({col, row});
        return it == texts.end() ? std::string_view(" ") : std::string_view(it->second);
    }
    QRect cellRect(int col, int row) const
    {
        if (col < 0 || col >= colCount() || row < 0 || row >= rowCount || hiddenCols.count(col))
            return QRect();
        int right = totalWidth();
        for (int c = 0; c < col; ++c)
            right -= widths[static_cast<std::size_t>(c)];
        return QRect(right - widths[static_cast<std::size_t>(col)], row * rowHeight,
                     widths[static_cast<std::size_t>(col)], rowHeight);
    }
    bool shapingOn() const override { return shaping; }
    TextEncoding held = TextEncoding::Windows1256;
    TextEncoding encoding() const override { return held; }
};

// The split gradient band by band: the cell in cellColour with a 1-pixel
// frame, fading inside to edgeColour at the inner top and bottom rows.
void SplitGradient(QPainter& p, const QRect& r, std::int32_t cellColour, std::int32_t edgeColour)
{
    p.fillRect(r, ToQColor(cellColour));
    const QRect inner = r.adjusted(1, 1, -1, -1);
    if (inner.width() <= 0 || inner.height() <= 0)
        return;
    const int middle = inner.top() + inner.height() / 2;
    FillGradient(p, QRect(inner.left(), inner.top(), inner.width(), middle - inner.top()), cellColour, edgeColour, 1,
                 GradientBandCount);
    FillGradient(p, QRect(inner.left(), middle, inner.width(), inner.top() + inner.height() - middle), cellColour,
                 edgeColour, 0, GradientBandCount);
}

// A fresh painter for every test, as every grid has its own.
std::unique_ptr<CellPainter> cells;
CellPainter& Cells()
{
    return *cells;
}

QImage blankImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.setDotsPerMeterX(3780); // 96 dpi
    img.setDotsPerMeterY(3780);
    img.fill(Marker);
    return img;
}

QImage gridImage(const FakeGrid& g)
{
    return blankImage(g.totalWidth(), g.rowCount * g.rowHeight);
}

void paintCell(QImage& img, FakeGrid& g, int col, int row)
{
    QPainter p(&img);
    Cells().drawCell(p, g, col, row, g.cellRect(col, row));
}

void paintAll(QImage& img, FakeGrid& g)
{
    QPainter p(&img);
    for (int row = 0; row < g.rowCount; ++row)
        for (int col = 0; col < g.colCount(); ++col)
            Cells().drawCell(p, g, col, row, g.cellRect(col, row));
}

// The colour across the middle of a cell (the row where the gradient holds
// the cell colour), away from the frame and from any text.
QColor middleOf(const QImage& img, const QRect& r)
{
    return img.pixelColor(r.left() + 2, r.top() + 1 + (r.height() - 2) / 2);
}

// Horizontal extent of the pixels of a cell that are near the given ink colour.
struct Ink {
    int left = INT_MAX;
    int right = INT_MIN;
    int count = 0;
};
Ink inkIn(const QImage& img, const QRect& r, const std::function<bool(QColor)>& isInk)
{
    Ink ink;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (isInk(img.pixelColor(x, y))) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ++ink.count;
            }
    return ink;
}
bool dark(QColor c)
{
    return c.red() + c.green() + c.blue() < 300;
}
bool whitish(QColor c)
{
    return c.red() > 240 && c.green() > 200 && c.blue() > 200;
}

std::string cp(const char* utf8)
{
    return FromQString(QString::fromUtf8(utf8));
}

} // namespace

class TestCellPainter : public QObject {
    Q_OBJECT
private slots:
    void init() { cells = std::make_unique<CellPainter>(); }

    void gradientOfTwentyPixelCell_data();
    void gradientOfTwentyPixelCell();
    void threePixelCell();
    void fillGradientBands_data();
    void fillGradientBands();
    void fillGradientEdgeCases();
    void stripMatchesBandsAnywhere();
    void currentCellAndRow();
    void lilacBandMovesWithTheCurrentRow();
    void headerColours();
    void headerSqueeze_data();
    void headerSqueeze();
    void textSide_data();
    void textSide();
    void textClippedToCell();
    void shapingSwitch();
    void unreadableRecordLeavesCellUnpainted();
    void reentrantPaintIsDropped();
    void shownPartOfLongText_data();
    void shownPartOfLongText();
    void longLatinCellShowsItsEnd_data();
    void longLatinCellShowsItsEnd();
    void numberText_data();
    void numberText();
    void cutNumberShowsMarks();
    void cutTextShowsEllipsis_data();
    void cutTextShowsEllipsis();
    void widestTextOfColumnIsNotCut();
    void cellReadsInItsOwnDirection_data();
    void cellReadsInItsOwnDirection();
    void utf8PaintsAsWindows1256_data();
    void utf8PaintsAsWindows1256();
    void utf8TextSide_data();
    void utf8TextSide();
    void utf8GridIsNeverShapedByTheSwitch();
    void utf8ShownPartCutsBetweenCharacters_data();
    void utf8ShownPartCutsBetweenCharacters();
    void utf8NumberText_data();
    void utf8NumberText();
};

void TestCellPainter::gradientOfTwentyPixelCell_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<QColor>>("column");
    // Frame, nine bands from grey to the cell colour, nine back, frame.
    // Halves round away from zero: 10.5 -> 11 up, -10.5 -> -11 down.
    QList<QColor> white;
    const int up[9] = {234, 237, 239, 242, 245, 247, 250, 252, 255};
    const int down[9] = {255, 252, 250, 247, 244, 242, 239, 237, 234};
    white << White;
    for (int v : up)
        white << QColor(v, v, v);
    for (int v : down)
        white << QColor(v, v, v);
    white << White;
    QTest::newRow("row 2, white") << 2 << white;

    const int redUp[9] = {234, 235, 236, 237, 239, 240, 241, 242, 243};
    const int redDown[9] = {243, 242, 241, 240, 238, 237, 236, 235, 234};
    QList<QColor> blue;
    blue << OddBlue;
    for (int i = 0; i < 9; ++i)
        blue << QColor(redUp[i], 234 + 2 * i, up[i]);
    for (int i = 0; i < 9; ++i)
        blue << QColor(redDown[i], 250 - 2 * i, down[i]);
    blue << OddBlue;
    QTest::newRow("row 3, light blue") << 3 << blue;
}

void TestCellPainter::gradientOfTwentyPixelCell()
{
    QFETCH(int, row);
    QFETCH(QList<QColor>, column);
    FakeGrid g;
    QImage img = gridImage(g);
    paintCell(img, g, 2, row);
    const QRect r = g.cellRect(2, row);
    QCOMPARE(r.height(), 20);
    for (int y = 0; y < 20; ++y)
        QCOMPARE(img.pixelColor(r.left() + 30, r.top() + y), column[y]);
    // The frame's sides keep the cell colour; the neighbours are untouched.
    for (int y = 1; y < 19; ++y) {
        QCOMPARE(img.pixelColor(r.left(), r.top() + y), column[0]);
        QCOMPARE(img.pixelColor(r.right(), r.top() + y), column[0]);
        QCOMPARE(img.pixelColor(r.left() - 1, r.top() + y), Marker);
        QCOMPARE(img.pixelColor(r.right() + 1, r.top() + y), Marker);
    }
}

void TestCellPainter::threePixelCell()
{
    FakeGrid g;
    g.rowHeight = 3;
    QImage img = gridImage(g);
    paintCell(img, g, 0, 2);
    const QRect r = g.cellRect(0, 2);
    // Inner rectangle one pixel high: the lower half's remainder, in grey.
    QCOMPARE(img.pixelColor(r.left() + 5, r.top()), White);
    QCOMPARE(img.pixelColor(r.left() + 5, r.top() + 1), EdgeGrey);
    QCOMPARE(img.pixelColor(r.left() + 5, r.top() + 2), White);
    QCOMPARE(img.pixelColor(r.left(), r.top() + 1), White);
    QCOMPARE(img.pixelColor(r.right(), r.top() + 1), White);
}

void TestCellPainter::fillGradientBands_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QList<QColor>>("colours");
    // Start (10, 20, 30), end (210, 120, 30) over 600 pixels in 255 bands:
    // bands of 2 pixels up to 509, then 90 pixels of the remainder.
    const QColor s(10, 20, 30), e(210, 120, 30);
    const QList<int> offsets{0, 1, 2, 3, 254, 255, 506, 507, 508, 509, 510, 599};
    const QList<QColor> forward{s,
                                s,
                                QColor(11, 20, 30),
                                QColor(11, 20, 30),
                                QColor(110, 70, 30),
                                QColor(110, 70, 30),
                                QColor(209, 120, 30),
                                QColor(209, 120, 30),
                                e,
                                e,
                                e,
                                e};
    const QList<QColor> backward{e,
                                 e,
                                 QColor(209, 120, 30),
                                 QColor(209, 120, 30),
                                 QColor(110, 70, 30),
                                 QColor(110, 70, 30),
                                 QColor(11, 20, 30),
                                 QColor(11, 20, 30),
                                 s,
                                 s,
                                 s,
                                 s};
    QTest::newRow("0 top to bottom") << 0 << offsets << forward;
    QTest::newRow("1 bottom to top") << 1 << offsets << backward;
    QTest::newRow("2 left to right") << 2 << offsets << forward;
    QTest::newRow("3 right to left") << 3 << offsets << backward;
}

void TestCellPainter::fillGradientBands()
{
    QFETCH(int, direction);
    QFETCH(QList<int>, offsets);
    QFETCH(QList<QColor>, colours);
    const bool vertical = direction < 2;
    QImage img = vertical ? blankImage(6, 620) : blankImage(620, 6);
    {
        QPainter p(&img);
        const QRect r = vertical ? QRect(2, 10, 3, 600) : QRect(10, 2, 600, 3);
        FillGradient(p, r, PackColour(10, 20, 30), PackColour(210, 120, 30), direction, 255);
    }
    for (int i = 0; i < offsets.size(); ++i) {
        const QPoint at = vertical ? QPoint(3, 10 + offsets[i]) : QPoint(10 + offsets[i], 3);
        QCOMPARE(img.pixelColor(at), colours[i]);
    }
    // Nothing outside the rectangle.
    QCOMPARE(img.pixelColor(vertical ? QPoint(3, 9) : QPoint(9, 3)), Marker);
    QCOMPARE(img.pixelColor(vertical ? QPoint(3, 610) : QPoint(610, 3)), Marker);
    QCOMPARE(img.pixelColor(vertical ? QPoint(1, 300) : QPoint(300, 1)), Marker);
}

void TestCellPainter::fillGradientEdgeCases()
{
    QImage img = blankImage(20, 20);
    QPainter p(&img);
    const std::int32_t s = PackColour(100, 0, 0), e = PackColour(0, 0, 200);
    FillGradient(p, QRect(0, 0, 10, 0), s, e, 0, 255);  // no height
    FillGradient(p, QRect(0, 0, 0, 10), s, e, 0, 255);  // no width
    FillGradient(p, QRect(0, 0, 10, 10), s, e, 7, 255); // no such direction
    QCOMPARE(img.pixelColor(0, 0), Marker);
    FillGradient(p, QRect(0, 0, 5, 5), s, e, 0, 1); // one band: the start colour
    QCOMPARE(img.pixelColor(4, 4), QColor(100, 0, 0));
    // Two pixels high, 255 bands asked: two bands of one pixel, start to end.
    FillGradient(p, QRect(10, 0, 5, 2), s, e, 0, 255);
    QCOMPARE(img.pixelColor(12, 0), QColor(100, 0, 0));
    QCOMPARE(img.pixelColor(12, 1), QColor(0, 0, 200));
    // One pixel high: no band fits, the remainder gets the end colour (direction 0)
    // or the start colour (direction 1).
    FillGradient(p, QRect(10, 5, 5, 1), s, e, 0, 255);
    FillGradient(p, QRect(10, 6, 5, 1), s, e, 1, 255);
    QCOMPARE(img.pixelColor(12, 5), QColor(0, 0, 200));
    QCOMPARE(img.pixelColor(12, 6), QColor(100, 0, 0));
    // Five pixels in three bands: bands of one pixel, two of remainder.
    FillGradient(p, QRect(10, 10, 5, 5), s, e, 0, 3);
    QCOMPARE(img.pixelColor(12, 10), QColor(100, 0, 0));
    QCOMPARE(img.pixelColor(12, 11), QColor(50, 0, 100));
    QCOMPARE(img.pixelColor(12, 12), QColor(0, 0, 200));
    QCOMPARE(img.pixelColor(12, 13), QColor(0, 0, 200));
    QCOMPARE(img.pixelColor(12, 14), QColor(0, 0, 200));
}

// Cells at any height and position get the gradient band by band, as if
// every band were filled one by one (the painter tiles a strip painted once).
void TestCellPainter::stripMatchesBandsAnywhere()
{
    for (int height : {2, 4, 7, 20, 33, 255, 300, 600, 1100}) {
        FakeGrid g;
        g.rowHeight = height;
        g.rowCount = 4;
        g.curRow = 1;
        QImage painted = gridImage(g);
        paintCell(painted, g, 0, 2);
        paintCell(painted, g, 0, 2); // over itself: the same
        paintCell(painted, g, 0, 3);
        QImage banded = painted;
        {
            QPainter p(&banded);
            SplitGradient(p, g.cellRect(0, 2), EvenRowBackColour, GradientEdgeColour);
            SplitGradient(p, g.cellRect(0, 3), OddRowBackColour, GradientEdgeColour);
        }
        QVERIFY2(painted == banded, qPrintable(QStringLiteral("height %1").arg(height)));
    }
}

void TestCellPainter::currentCellAndRow()
{
    FakeGrid g;
    g.curCol = 1;
    g.curRow = 4;
    QImage img = gridImage(g);
    paintAll(img, g);
    QCOMPARE(middleOf(img, g.cellRect(1, 4)), Yellow);
    for (int col : {0, 2, 3})
        QCOMPARE(middleOf(img, g.cellRect(col, 4)), Lilac);
    QCOMPARE(middleOf(img, g.cellRect(1, 2)), White);
    QCOMPARE(middleOf(img, g.cellRect(1, 5)), OddBlue);
    // Edges of the current cell still fade to grey.
    QCOMPARE(img.pixelColor(g.cellRect(1, 4).left() + 5, g.cellRect(1, 4).top() + 1), EdgeGrey);

    g.focus = false;
    paintAll(img, g);
    QCOMPARE(middleOf(img, g.cellRect(1, 4)), Orange);
    QCOMPARE(middleOf(img, g.cellRect(0, 4)), Lilac);

    // The header row never takes the lilac band, nor the current cell's colour.
    g.curRow = 0;
    g.focus = true;
    paintAll(img, g);
    for (int col = 0; col < 4; ++col)
        QCOMPARE(middleOf(img, g.cellRect(col, 0)), HeaderRed);
}

void TestCellPainter::lilacBandMovesWithTheCurrentRow()
{
    FakeGrid g;
    g.curCol = 2;
    g.curRow = 3;
    g.hiddenCols = {3}; // scrolled out at the left
    QImage img = gridImage(g);
    paintAll(img, g);
    QCOMPARE(middleOf(img, g.cellRect(0, 3)), Lilac);
    QCOMPARE(middleOf(img, g.cellRect(2, 3)), Yellow);

    // The painter keeps no row of its own: a repaint after the cursor moved
    // shows the band on the new row only.
    g.curRow = 7;
    paintAll(img, g);
    for (int col : {0, 1, 2})
        QCOMPARE(middleOf(img, g.cellRect(col, 3)), OddBlue);
    for (int col : {0, 1})
        QCOMPARE(middleOf(img, g.cellRect(col, 7)), Lilac);
    QCOMPARE(middleOf(img, g.cellRect(2, 7)), Yellow);

    // Two painters of two grids do not share the current row.
    FakeGrid other;
    other.curRow = 5;
    CellPainter second;
    QImage otherImg = gridImage(other);
    {
        QPainter p(&otherImg);
        second.drawCell(p, other, 0, 5, other.cellRect(0, 5));
        second.drawCell(p, other, 0, 7, other.cellRect(0, 7));
    }
    QCOMPARE(middleOf(otherImg, other.cellRect(0, 5)), Lilac);
    QCOMPARE(middleOf(otherImg, other.cellRect(0, 7)), OddBlue);
}

void TestCellPainter::headerColours()
{
    FakeGrid g;
    g.texts[{2, 0}] = "Name";
    QImage img = gridImage(g);
    paintCell(img, g, 2, 0);
    const QRect r = g.cellRect(2, 0);
    QCOMPARE(img.pixelColor(r.left() + 2, r.top() + 10), HeaderRed);
    QCOMPARE(img.pixelColor(r.left() + 2, r.top()), HeaderRed);
    QCOMPARE(img.pixelColor(r.left() + 2, r.top() + 1), EdgeGrey);
    QCOMPARE(img.pixelColor(r.left() + 2, r.bottom() - 1), EdgeGrey);
    const Ink ink = inkIn(img, r, whitish);
    QVERIFY(ink.count > 10);
    // Centred.
    const double inkCentre = (ink.left + ink.right + 1) / 2.0;
    const double cellCentre = r.left() + r.width() / 2.0;
    QVERIFY2(qAbs(inkCentre - cellCentre) <= 2.0, qPrintable(QString::number(inkCentre - cellCentre)));
}

void TestCellPainter::headerSqueeze_data()
{
    // overflow: how much wider than its column the text is at 10 points;
    // none: the column is 15 px wide.
    QTest::addColumn<int>("overflow");
    QTest::addColumn<bool>("squeezed");
    QTest::newRow("2 px too wide: grid font") << 2 << false;
    QTest::newRow("fits") << -20 << false;
    QTest::newRow("3 px too wide: squeezed") << 3 << true;
    QTest::newRow("10 px too wide: squeezed") << 10 << true;
    QTest::newRow("far too wide: 4 points") << INT_MIN << true;
}

void TestCellPainter::headerSqueeze()
{
    QFETCH(int, overflow);
    QFETCH(bool, squeezed);
    const std::string text = "Registration number";
    FakeGrid g;
    QImage img = gridImage(g);
    const QString shown = ToQString(text);
    const int w10 = DisplayTextWidth(QFontMetrics(g.font, &img), shown);
    g.widths = {overflow == INT_MIN ? 15 : w10 - overflow, 60};
    img = gridImage(g);
    g.texts[{0, 0}] = text;
    paintCell(img, g, 0, 0);
    const QRect r = g.cellRect(0, 0);

    // What the header must look like: the grid's font when the text is at most
    // 2 px wider than the column; otherwise "Traffic" one point smaller at
    // least, shrinking until it fits, never below 4 points. Centred on the
    // width drawn.
    QFont expected = g.font;
    int w = w10;
    if (squeezed) {
        expected.setFamily(QStringLiteral("Traffic"));
        int size = 10;
        do {
            --size;
            expected.setPointSize(size);
            w = DisplayTextWidth(QFontMetrics(expected, &img), shown);
        } while (size > 4 && w - r.width() > 2);
        QVERIFY(expected.pointSize() <= 9 && expected.pointSize() >= 4);
        if (overflow == INT_MIN)
            QCOMPARE(expected.pointSize(), 4);
    }
    QImage background = gridImage(g);
    {
        QPainter p(&background);
        SplitGradient(p, r, HeaderBackColour, GradientEdgeColour);
    }
    QImage reference = background;
    {
        QPainter p(&reference);
        p.setClipRect(r);
        p.setFont(expected);
        p.setPen(Qt::white);
        p.setLayoutDirection(Qt::RightToLeft);
        const QFontMetrics fm(expected, &reference);
        const int left = r.left() + r.width() - (r.width() / 2 - w / 2) - w;
        const int top = r.top() + r.height() / 2 - fm.height() / 2;
        p.drawText(QPoint(left, top + fm.ascent()), shown);
    }
    int inked = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            inked += img.pixel(x, y) != background.pixel(x, y);
    QVERIFY(inked > 5);
    QVERIFY(img == reference);
}

void TestCellPainter::textSide_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("rightSide");
    QTest::newRow("digits") << QByteArray("12345") << true;
    QTest::newRow("Latin") << QByteArray("Tehran") << true;
    QTest::newRow("Persian") << QByteArray(cp("کتاب").c_str()) << false;
    QTest::newRow("Persian with digits") << QByteArray(cp("پلاک 12").c_str()) << false;
    QTest::newRow("mark, then Persian") << QByteArray(cp("\xe2\x80\x8e"
                                                         "کتاب")
                                                          .c_str())
                                        << true;
}

// Numbers, Latin and marked texts at the cell's right edge, 1 px in; Persian
// at its left edge, 1 px in.
void TestCellPainter::textSide()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, rightSide);
    FakeGrid g;
    g.widths = {40, 200, 40};
    g.texts[{1, 2}] = text.toStdString();
    QImage img = gridImage(g);
    paintCell(img, g, 1, 2);
    const QRect r = g.cellRect(1, 2);
    const Ink ink = inkIn(img, r, [](QColor c) { return c.red() > 120 && c.green() < 100 && c.blue() < 100; });
    QVERIFY(ink.count > 5); // column 1 writes in red
    if (rightSide)
        QVERIFY2(ink.left > r.left() + r.width() / 2, qPrintable(QString::number(ink.left)));
    else
        QVERIFY2(ink.right < r.left() + r.width() / 2, qPrintable(QString::number(ink.right)));

    // The same pixels as the text drawn right to left from 1 px inside its edge.
    const QString shown = ToQString(text.toStdString());
    QImage reference = gridImage(g);
    {
        QPainter p(&reference);
        SplitGradient(p, r, EvenRowBackColour, GradientEdgeColour);
        const QFontMetrics fm(g.font, &reference);
        const int w = DisplayTextWidth(fm, shown);
        p.setClipRect(r);
        p.setFont(g.font);
        p.setPen(QColor(255, 0, 0));
        p.setLayoutDirection(Qt::RightToLeft);
        const int left = rightSide ? r.right() - w : r.left() + 1;
        p.drawText(QPoint(left, r.top() + r.height() / 2 - fm.height() / 2 + fm.ascent()), shown);
    }
    QVERIFY(img == reference);
}

void TestCellPainter::textClippedToCell()
{
    FakeGrid g;
    g.widths = {30, 30, 30};
    g.texts[{1, 2}] = "WWWWWWWWWWWWWWWW";
    QImage img = gridImage(g);
    paintCell(img, g, 1, 2);
    const QRect r = g.cellRect(1, 2);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!r.contains(x, y))
                QCOMPARE(img.pixelColor(x, y), Marker);
    QVERIFY(inkIn(img, r, [](QColor c) { return c.red() > 120 && c.green() < 100; }).count > 20);
}

void TestCellPainter::shapingSwitch()
{
    // Iran System digits one and two: Persian letters as Windows-1256, the
    // number 12 once shaped, and then at the right edge like any number.
    FakeGrid g;
    g.widths = {200};
    g.texts[{0, 2}] = "\x81\x82";
    const auto inkOf = [&g] {
        QImage img = gridImage(g);
        paintCell(img, g, 0, 2);
        return inkIn(img, g.cellRect(0, 2), dark);
    };
    const Ink plain = inkOf();
    QVERIFY(plain.count > 0 && plain.right < 100);
    g.shaping = true;
    const Ink shaped = inkOf();
    QVERIFY(shaped.count > 0 && shaped.left > 100);
    QCOMPARE(g.texts[(std::pair<int, int>{0, 2})], std::string("\x81\x82"));
}

void TestCellPainter::unreadableRecordLeavesCellUnpainted()
{
    FakeGrid g;
    g.curRow = 5;
    QImage img = gridImage(g);
    const QRect bad = g.cellRect(0, 2);
    const QRect good = g.cellRect(1, 2);
    {
        QPainter p(&img);
        Cells().drawStyledCell(p, g, 0, 2, bad, "0,16777215,16775923,6998782,65535,1,0,0", "x");
        Cells().drawStyledCell(p, g, 0, 2, bad, "0,16777215,16775923,6998782,65535,1,0,a,", "x");
        Cells().drawStyledCell(p, g, 1, 2, good, BuildCellStyle(1, 2, ""), "x");
    }
    for (int y = bad.top(); y <= bad.bottom(); ++y)
        for (int x = bad.left(); x <= bad.right(); ++x)
            QCOMPARE(img.pixelColor(x, y), Marker);
    QCOMPARE(middleOf(img, good), White);
}

void TestCellPainter::reentrantPaintIsDropped()
{
    FakeGrid g;
    QImage img = gridImage(g);
    QPainter p(&img);
    const QRect inner = g.cellRect(3, 2);
    int attempts = 0;
    g.duringPaint = [&] {
        ++attempts;
        Cells().drawCell(p, g, 3, 2, inner);
        Cells().drawStyledCell(p, g, 3, 2, inner, BuildCellStyle(3, 2, ""), "x");
    };
    Cells().drawCell(p, g, 0, 2, g.cellRect(0, 2));
    g.duringPaint = nullptr;
    QVERIFY(attempts > 0);
    p.end();
    QCOMPARE(middleOf(img, g.cellRect(0, 2)), White);
    QCOMPARE(img.pixelColor(inner.center()), Marker);
    // The guard is released: the next paint of that cell goes through.
    paintCell(img, g, 3, 2);
    QCOMPARE(middleOf(img, inner), White);
}

namespace {

// n bytes of numbered Latin words: every part of it differs from every other.
std::string latinWords(std::size_t n)
{
    std::string t;
    for (int i = 0; t.size() < n; ++i)
        t += "word" + std::to_string(i) + ' ';
    t.resize(n);
    t.back() = 'Z';
    return t;
}

std::string persianWords(std::size_t n)
{
    const std::string word = cp("کتاب ");
    std::string t;
    while (t.size() < n)
        t += word;
    t.resize(n);
    t.back() = cp("ی")[0];
    return t;
}

} // namespace

void TestCellPainter::shownPartOfLongText_data()
{
    // The window must begin with head and end with tail (bytes of the text).
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("align");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("tail");
    const QByteArray latin = QByteArray::fromStdString(latinWords(5000));
    const QByteArray persian = QByteArray::fromStdString(persianWords(5000));
    QByteArray digits;
    while (digits.size() < 6000)
        digits += "464,";
    digits += "000";
    QTest::newRow("short: as it is") << QByteArray("abc") << AlignStart << QByteArray("abc") << QByteArray("abc");
    // A text that reads left to right shows its end at the right edge.
    const QByteArray latinEnd = latin.right(qsizetype(LongCellText)).left(40);
    QTest::newRow("Latin") << latin << AlignStart << latinEnd << latin.right(40);
    QTest::newRow("mark, then Latin") << "\xFD" + latin << AlignStart << latinEnd << latin.right(40);
    QTest::newRow("numbers, then Latin") << "12 34 " + latin << AlignStart << latinEnd << latin.right(40);
    // Digits alone read right to left, as a number: its end, marked to stay one.
    QTest::newRow("digits") << digits << AlignStart << QByteArray("\xFD") << digits.right(40);
    // Persian from the right edge: its start, also inside a left-to-right text.
    QTest::newRow("mark, then Persian") << "\xFD" + persian << AlignStart << persian.left(40) << QByteArray();
    QTest::newRow("Latin, then Persian") << "abc " + persian << AlignStart << persian.left(40) << QByteArray();
    QTest::newRow("Persian, then Latin, at the right")
        << persian.left(10) + " " + latin << AlignStart << persian.left(10) + " " << QByteArray("Z");
    // Persian against the left edge: its end shows.
    QTest::newRow("Persian") << persian << AlignEnd << QByteArray() << persian.right(40);
    // Latin at the far end of Persian shows its beginning at the left edge.
    QTest::newRow("Persian, then Latin") << persian.left(10) + " " + latin << AlignEnd << latin.left(40)
                                         << QByteArray();
    QTest::newRow("Latin between Persian") << persian.left(10) + " " + latin + " " + persian.left(20) << AlignEnd
                                           << latin.left(40) << " " + persian.left(20);
    QTest::newRow("header: the middle") << latin << AlignCentre << latin.mid(452, 40) << latin.mid(4500, 48);
}

void TestCellPainter::shownPartOfLongText()
{
    QFETCH(QByteArray, text);
    QFETCH(int, align);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, tail);
    std::string buffer;
    const std::string_view shown =
        ShownPartOfText(std::string_view(text.constData(), std::size_t(text.size())), align, buffer);
    const QByteArray got(shown.data(), qsizetype(shown.size()));
    QVERIFY(got.size() <= qsizetype(LongCellText));
    QVERIFY2(got.startsWith(head), got.left(60).constData());
    QVERIFY2(got.endsWith(tail), got.right(60).constData());
}

void TestCellPainter::longLatinCellShowsItsEnd_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray latin = QByteArray::fromStdString(latinWords(9000));
    QTest::newRow("Latin") << latin;
    QTest::newRow("mark, then Latin") << "\xFD" + latin;
}

// A cell of thousands of bytes looks like a cell holding only its last words.
void TestCellPainter::longLatinCellShowsItsEnd()
{
    QFETCH(QByteArray, text);
    FakeGrid g;
    g.font = QFont(QStringLiteral("DejaVu Sans Mono"), 10);
    g.widths = {60, 300};
    g.texts[{1, 2}] = text.toStdString();
    QImage img = gridImage(g);
    paintCell(img, g, 1, 2);
    // The last words, from a letter: a piece starting with digits would put them at the right.
    g.texts[{1, 2}] = text.mid(text.indexOf("word", text.size() - 80)).toStdString();
    QImage reference = gridImage(g);
    paintCell(reference, g, 1, 2);
    QVERIFY(inkIn(img, g.cellRect(1, 2), [](QColor c) { return c.red() > 120 && c.green() < 100; }).count > 50);
    // The text's right end falls at another fraction of a pixel: a glyph may
    // be shaded as if moved by less than a pixel, and the first whole glyph
    // after the ellipsis may be another one. Every strongly inked pixel of
    // one has ink within a pixel in the other.
    const QRect r = g.cellRect(1, 2);
    const auto strong = [](const QImage& im, int x, int y) { return qGreen(im.pixel(x, y)) < 80; };
    const auto inkNear = [](const QImage& im, int x, int y) {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (qGreen(im.pixel(x + dx, y + dy)) < 200)
                    return true;
        return false;
    };
    for (int y = r.top() + 1; y < r.bottom(); ++y)
        for (int x = r.left() + 40; x < r.right(); ++x) {
            QVERIFY2(!strong(img, x, y) || inkNear(reference, x, y),
                     qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
            QVERIFY2(!strong(reference, x, y) || inkNear(img, x, y),
                     qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
        }
}

void TestCellPainter::numberText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("number");
    QTest::newRow("thousands") << QByteArray("41,464,000") << true;
    QTest::newRow("negative in parentheses") << QByteArray("(1,200,000)") << true;
    QTest::newRow("sign and decimals") << QByteArray("-12.50") << true;
    QTest::newRow("percent") << QByteArray("5%") << true;
    QTest::newRow("spaces and mark") << QByteArray(" \xFD"
                                                   "300 ")
                                     << true;
    QTest::newRow("date") << QByteArray("1400/09/15") << false;
    QTest::newRow("code") << QByteArray("A-100") << false;
    QTest::newRow("separators only") << QByteArray(",.") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("Persian") << QByteArray(cp("پلاک 12").c_str()) << false;
}

void TestCellPainter::numberText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, number);
    QCOMPARE(IsNumberText(text.toStdString()), number);
}

// A number too wide for its cell never shows as another number: '#' marks
// from the cell's right edge across it.
void TestCellPainter::cutNumberShowsMarks()
{
    FakeGrid g;
    g.widths = {60, 50, 60};
    g.texts[{1, 2}] = "41,464,000";
    QImage img = gridImage(g);
    const QRect r = g.cellRect(1, 2);
    QVERIFY(DisplayTextWidth(QFontMetrics(g.font, &img), QStringLiteral("41,464,000")) > r.width());
    QVERIFY(Cells().textCut(&img, g, 1, 2, r));
    paintCell(img, g, 1, 2);

    const QFontMetrics fm(g.font, &img);
    QString marks;
    while (DisplayTextWidth(fm, marks + QLatin1Char('#')) <= r.width() - 2)
        marks += QLatin1Char('#');
    QVERIFY(marks.size() >= 3);
    QImage reference = gridImage(g);
    {
        QPainter p(&reference);
        SplitGradient(p, r, EvenRowBackColour, GradientEdgeColour);
        p.setClipRect(r);
        p.setFont(g.font);
        p.setPen(QColor(255, 0, 0));
        p.setLayoutDirection(Qt::RightToLeft);
        const int w = DisplayTextWidth(fm, marks);
        p.drawText(QPoint(r.right() - w, r.top() + r.height() / 2 - fm.height() / 2 + fm.ascent()), marks);
    }
    QVERIFY(img == reference);
    // The tooltip shows it whole: the cell is cut, its neighbour is not.
    g.texts[{0, 2}] = "4,000";
    QVERIFY(!Cells().textCut(&img, g, 0, 2, g.cellRect(0, 2)));
}

void TestCellPainter::cutTextShowsEllipsis_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("cutOnLeft");
    QTest::newRow("Latin: cut on the left") << QByteArray("Tea from Lahijan, first flush") << true;
    QTest::newRow("date: cut on the left") << QByteArray("1400/09/15 12:30:45") << true;
    QTest::newRow("Persian: cut on the right") << QByteArray(cp("پرداخت نقدی پیش از تحویل کالا").c_str()) << false;
}

// A text too wide for its cell keeps the whole glyphs at its anchored edge
// where they were, and an ellipsis stands 1 px inside the edge where it is cut.
void TestCellPainter::cutTextShowsEllipsis()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, cutOnLeft);
    FakeGrid g;
    g.widths = {40, 90, 40};
    g.texts[{1, 2}] = text.toStdString();
    QImage img = gridImage(g);
    const QRect r = g.cellRect(1, 2);
    QVERIFY(Cells().textCut(&img, g, 1, 2, r));
    paintCell(img, g, 1, 2);

    const QString shown = ToQString(text.toStdString());
    const QFontMetrics fm(g.font, &img);
    const int w = DisplayTextWidth(fm, shown);
    const int baseline = r.top() + r.height() / 2 - fm.height() / 2 + fm.ascent();
    const QString ellipsis(QChar(0x2026));
    const int ew = DisplayTextWidth(fm, ellipsis);
    const auto render = [&](const QString& s, int left) {
        QImage out = gridImage(g);
        QPainter p(&out);
        SplitGradient(p, r, EvenRowBackColour, GradientEdgeColour);
        p.setClipRect(r);
        p.setFont(g.font);
        p.setPen(QColor(255, 0, 0));
        p.setLayoutDirection(Qt::RightToLeft);
        if (!s.isEmpty())
            p.drawText(QPoint(left, baseline), s);
        return out;
    };
    const QImage whole = render(shown, cutOnLeft ? r.right() - w : r.left() + 1);
    const QImage dots = render(ellipsis, cutOnLeft ? r.left() + 1 : r.right() - ew);
    const QImage background = render(QString(), 0);
    const auto red = [](QColor c) { return c.red() > 120 && c.green() < 100 && c.blue() < 100; };

    // The ellipsis, whole, at the cut edge; the text as before at the other.
    const QRect dotsBox(cutOnLeft ? r.left() + 1 : r.right() - ew, r.top(), ew, r.height());
    const QRect keptBox = cutOnLeft ? QRect(dotsBox.right() + 12, r.top(), r.right() - dotsBox.right() - 11, r.height())
                                    : QRect(r.left(), r.top(), dotsBox.left() - 12 - r.left(), r.height());
    QVERIFY(inkIn(dots, dotsBox, red).count > 2);
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb got = img.pixel(x, y);
            if (dotsBox.contains(x, y))
                QCOMPARE(got, dots.pixel(x, y));
            else if (keptBox.contains(x, y))
                QCOMPARE(got, whole.pixel(x, y));
            else
                QVERIFY(got == whole.pixel(x, y) || got == background.pixel(x, y));
        }
    }
    QVERIFY(inkIn(img, keptBox, red).count > 20);
    // Nothing outside the cell.
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!r.contains(x, y))
                QCOMPARE(img.pixelColor(x, y), Marker);
}

// A cell with room for its column's widest text and the ring around it: that
// text is drawn whole, inside the ring; a pixel less and it is cut.
void TestCellPainter::widestTextOfColumnIsNotCut()
{
    FakeGrid g;
    const QString date = QStringLiteral("1400/09/15");
    QImage img = gridImage(g);
    const int w = DisplayTextWidth(QFontMetrics(g.font, &img), date);
    g.widths = {40, w + 2 * CellTextInset - 1, 40};
    g.texts[{1, 2}] = date.toStdString();
    img = gridImage(g);
    QVERIFY(Cells().textCut(&img, g, 1, 2, g.cellRect(1, 2)));
    g.widths = {40, w + 2 * CellTextInset, 40};
    g.texts[{1, 3}] = "1,141,464,000";
    img = gridImage(g);
    QVERIFY(!Cells().textCut(&img, g, 1, 2, g.cellRect(1, 2)));
    QVERIFY(Cells().textCut(&img, g, 1, 3, g.cellRect(1, 3)));
    paintCell(img, g, 1, 2);
    const QRect r = g.cellRect(1, 2);
    QImage reference = gridImage(g);
    {
        QPainter p(&reference);
        SplitGradient(p, r, EvenRowBackColour, GradientEdgeColour);
        const QFontMetrics fm(g.font, &reference);
        p.setClipRect(r);
        p.setFont(g.font);
        p.setPen(QColor(255, 0, 0));
        p.setLayoutDirection(Qt::RightToLeft);
        p.drawText(QPoint(r.right() - w, r.top() + r.height() / 2 - fm.height() / 2 + fm.ascent()), date);
    }
    QVERIFY(img == reference);
}

namespace {

// The left-to-right mark in UTF-8.
const std::string Lrm = "\xE2\x80\x8E";

// A grid of four columns whose every row holds text, in either held form.
QImage paintedGrid(const std::vector<std::string>& texts, TextEncoding held, bool shaping = false)
{
    FakeGrid g;
    g.held = held;
    g.shaping = shaping;
    g.widths = {60, 300, 45, 90};
    g.rowCount = static_cast<int>(texts.size()) + 1;
    for (int c = 0; c < g.colCount(); ++c)
        for (std::size_t r = 0; r < texts.size(); ++r)
            g.texts[{c, static_cast<int>(r)}] = texts[r];
    QImage img = gridImage(g);
    paintAll(img, g);
    return img;
}

} // namespace

void TestCellPainter::cellReadsInItsOwnDirection_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("leftToRight");
    QTest::newRow("a Latin note") << QByteArray("# This file (a)") << true;
    QTest::newRow("Latin, then Persian") << QByteArray("ab (\xDF) 12") << true;
    QTest::newRow("a formula: no letter") << QByteArray("-6617+11031") << false;
    QTest::newRow("Persian, then Latin") << QByteArray("\xDF (ab) 12") << false;
}

// The first strong character decides, as a mark of that direction before the
// text would; a text without one reads right to left. In both held forms.
// (The mark may change the alignment: the glyphs are compared where they are.)
void TestCellPainter::cellReadsInItsOwnDirection()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, leftToRight);
    const std::string cell = text.toStdString();
    const std::string own = leftToRight ? "\xFD" : "\xFE";
    const std::string other = leftToRight ? "\xFE" : "\xFD";
    for (const TextEncoding held : {TextEncoding::Windows1256, TextEncoding::Utf8}) {
        // The dark pixels of the painted text, cut to their bounds.
        const auto ink = [held](const std::string& t) {
            FakeGrid g;
            g.held = held;
            g.widths = {300};
            g.texts[{0, 1}] = held == TextEncoding::Windows1256 ? t : Cp1256ToUtf8(t);
            QImage img = gridImage(g);
            paintCell(img, g, 0, 1);
            return InkMask(img, g.cellRect(0, 1).adjusted(1, 1, -1, -1));
        };
        QVERIFY(!ink(cell).isNull());
        QVERIFY(ink(cell) == ink(own + cell));
        QVERIFY(ink(cell) != ink(other + cell));
    }
}

void TestCellPainter::utf8PaintsAsWindows1256_data()
{
    // Texts whose every character is in Windows-1256: the same drawing.
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("Persian") << QStringList{QStringLiteral("کتاب"), QStringLiteral("پرداخت نقد از تحویل کالا")};
    QTest::newRow("Latin and numbers") << QStringList{QStringLiteral("Tehran"), QStringLiteral("41,464,000"),
                                                      QStringLiteral("(1,200,000)"), QStringLiteral("1400/09/15")};
    QTest::newRow("marks and mixtures") << QStringList{QString(QChar(0x200E)) + QStringLiteral("کتاب"),
                                                       QStringLiteral("پلاک 12"), QStringLiteral("Tea از Lahijan"),
                                                       QStringLiteral("€ 5")};
    // Cut cells within the window of a long cell in both forms: beyond it the
    // window holds other bytes in each (the mark alone is three in UTF-8).
    QString persian;
    while (persian.size() < 1500)
        persian += QStringLiteral("کتاب سبز ");
    QString latin;
    for (int i = 0; latin.size() < 3000; ++i)
        latin += QStringLiteral("word%1 ").arg(i);
    QTest::newRow("long cells") << QStringList{persian, latin, QStringLiteral("abc ") + persian};
}

void TestCellPainter::utf8PaintsAsWindows1256()
{
    QFETCH(QStringList, texts);
    std::vector<std::string> windows;
    std::vector<std::string> utf8;
    for (const QString& t : texts) {
        windows.push_back(FromQString(t));
        utf8.push_back(t.toStdString());
    }
    const QImage expected = paintedGrid(windows, TextEncoding::Windows1256);
    QVERIFY(expected == paintedGrid(utf8, TextEncoding::Utf8));
}

void TestCellPainter::utf8TextSide_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("rightSide");
    QTest::newRow("Persian with yeh") << QByteArray("کتابی") << false;
    QTest::newRow("Persian digits") << QByteArray("۱۲۳۴۵") << true;
    QTest::newRow("Arabic-Indic number") << QByteArray("٤٬٠٠٠") << true;
    QTest::newRow("Persian with Persian digits") << QByteArray("پلاک ۱۲") << false;
    QTest::newRow("mark, then yeh") << QByteArray::fromStdString(Lrm + "یک") << true;
    QTest::newRow("Latin beyond ASCII") << QByteArray("café") << false;
}

// As in Windows-1256: numbers and marked texts at the right edge, Persian at
// the left, decided by characters.
void TestCellPainter::utf8TextSide()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, rightSide);
    FakeGrid g;
    g.held = TextEncoding::Utf8;
    g.widths = {40, 200, 40};
    g.texts[{1, 2}] = text.toStdString();
    QImage img = gridImage(g);
    paintCell(img, g, 1, 2);
    const QRect r = g.cellRect(1, 2);
    const QString shown = QString::fromUtf8(text);
    QImage reference = gridImage(g);
    {
        QPainter p(&reference);
        SplitGradient(p, r, EvenRowBackColour, GradientEdgeColour);
        const QFontMetrics fm(g.font, &reference);
        const int w = DisplayTextWidth(fm, shown);
        p.setClipRect(r);
        p.setFont(g.font);
        p.setPen(QColor(255, 0, 0));
        p.setLayoutDirection(Qt::RightToLeft);
        const int left = rightSide ? r.right() - w : r.left() + 1;
        p.drawText(QPoint(left, r.top() + r.height() / 2 - fm.height() / 2 + fm.ascent()), shown);
    }
    QVERIFY(inkIn(img, r, [](QColor c) { return c.red() > 120 && c.green() < 100 && c.blue() < 100; }).count > 5);
    QVERIFY(img == reference);
}

// Display shaping reads Iran System bytes, which only Windows-1256 tables hold.
void TestCellPainter::utf8GridIsNeverShapedByTheSwitch()
{
    const std::vector<std::string> texts = {"کتاب", "پلاک 12", "(12) abc", "۱۲"};
    QVERIFY(paintedGrid(texts, TextEncoding::Utf8, true) == paintedGrid(texts, TextEncoding::Utf8, false));
    // The switch still works on Windows-1256 text.
    const std::vector<std::string> iranSystem = {"\x81\x82"};
    QVERIFY(paintedGrid(iranSystem, TextEncoding::Windows1256, true)
            != paintedGrid(iranSystem, TextEncoding::Windows1256, false));
}

void TestCellPainter::utf8ShownPartCutsBetweenCharacters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("align");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("tail");
    QByteArray persian; // two bytes a letter, three a mark
    while (persian.size() < 9001)
        persian += "کتابی ۱۲ ";
    persian += "ی";
    QByteArray latin;
    for (int i = 0; latin.size() < 6000; ++i)
        latin += "word" + QByteArray::number(i) + ' ';
    latin += 'Z';
    const QByteArray mark = QByteArray::fromStdString(Lrm);
    QTest::newRow("Persian against the left edge: its end") << persian << AlignEnd << QByteArray() << persian.right(40);
    QTest::newRow("mark, then Persian: its start") << mark + persian << AlignStart << persian.left(40) << QByteArray();
    QTest::newRow("Latin: its end") << latin << AlignStart << QByteArray() << latin.right(40);
    QTest::newRow("Persian, then Latin: the Latin start")
        << persian.left(26) + " " + latin << AlignEnd << latin.left(40) << QByteArray();
    QTest::newRow("Latin between Persian") << persian.left(26) + " " + latin + " " + persian.left(42) << AlignEnd
                                           << latin.left(40) << " " + persian.left(42);
    QTest::newRow("Persian, odd length, centred") << "x" + persian << AlignCentre << QByteArray() << QByteArray();
    QTest::newRow("Persian, odd length, start") << "x" + persian << AlignStart << persian.left(40) << QByteArray();
}

void TestCellPainter::utf8ShownPartCutsBetweenCharacters()
{
    QFETCH(QByteArray, text);
    QFETCH(int, align);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, tail);
    std::string buffer;
    const std::string_view shown = ShownPartOfText(std::string_view(text.constData(), std::size_t(text.size())), align,
                                                   buffer, LongCellText, TextEncoding::Utf8);
    const QByteArray got(shown.data(), qsizetype(shown.size()));
    QVERIFY(got.size() <= qsizetype(LongCellText));
    QVERIFY(got.size() > qsizetype(LongCellText) - 4);
    QVERIFY2(IsValidUtf8(shown), got.left(60).toHex().constData());
    QVERIFY2(got.startsWith(head), got.left(60).constData());
    QVERIFY2(got.endsWith(tail), got.right(60).constData());
}

void TestCellPainter::utf8NumberText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("number");
    QTest::newRow("Persian digits and separators") << QByteArray("۴۱٬۴۶۴٫۵") << true;
    QTest::newRow("Arabic-Indic in parentheses") << QByteArray("(٤٬٠٠٠)") << true;
    QTest::newRow("sign and Arabic percent") << QByteArray("-۱۲٪") << true;
    QTest::newRow("mark and spaces") << QByteArray::fromStdString(" " + Lrm + "۳۰۰ ") << true;
    QTest::newRow("ASCII") << QByteArray("41,464,000") << true;
    QTest::newRow("date") << QByteArray("۱۴۰۰/۰۹/۱۵") << false;
    QTest::newRow("Persian") << QByteArray("پلاک ۱۲") << false;
    QTest::newRow("separators only") << QByteArray("٬٫") << false;
    // The Windows-1256 mark byte is not a mark in UTF-8.
    QTest::newRow("byte FD") << QByteArray("\xFD"
                                           "300")
                             << false;
}

void TestCellPainter::utf8NumberText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, number);
    QCOMPARE(IsNumberText(text.toStdString(), TextEncoding::Utf8), number);
}

QTEST_MAIN(TestCellPainter)
#include "tst_CellPainter.moc"
