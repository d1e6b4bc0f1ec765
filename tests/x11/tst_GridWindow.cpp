// The main window in a real X window, as a user sees it: keys and clicks go
// through the X server (xdotool), and the pixels are read back from a grab of
// the screen. The current-row band follows the cursor, the horizontal scroll
// bar starts at the right, a cut cell shows its text in a tooltip.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/GridColours.h"
#include "common/InkMask.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "dialogs/TextPrompt.h"
#include "render/CellStyle.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <functional>

using namespace rasmik;

namespace {

bool Xdo(const QStringList& args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

QImage GrabScreen()
{
    QCoreApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
}

// A body cell's rectangle on the screen.
QRect CellOnScreen(GridWidget& grid, int col, int gridRow)
{
    const QModelIndex idx = grid.model()->index(grid.gridModel().modelRow(gridRow), col);
    const QRect r = grid.visualRect(idx);
    return QRect(grid.viewport()->mapToGlobal(r.topLeft()), r.size());
}

// The colour across the middle of a cell, away from its frame and its text.
QColor MiddleOf(const QImage& img, const QRect& r)
{
    return img.pixelColor(r.left() + 2, r.top() + 1 + (r.height() - 2) / 2);
}

// Every visible body cell has the colour of its place: the current cell
// yellow (orange without the focus), the rest of its row lilac, the others
// their row's colour, and no yellow pixel outside the current cell. The
// first cell that does not, or an empty text.
QString BandMismatch(MainWindow& w, const QImage& img)
{
    GridWidget& grid = *w.grid();
    const int curRow = w.document().currentRow();
    const int curCol = w.document().currentCol();
    const QRect view(grid.viewport()->mapToGlobal(QPoint(0, 0)), grid.viewport()->size());
    int checked = 0;
    for (int row = 1; row < w.document().grid().RowCount(); ++row) {
        for (int col = 0; col < w.document().grid().ColCount(); ++col) {
            const QRect r = CellOnScreen(grid, col, row);
            if (!view.contains(r))
                continue;
            const QColor expected = row == curRow && col == curCol ? (grid.hasKeyboardFocus() ? Yellow : Orange)
                : row == curRow                                    ? Lilac
                : row % 2                                          ? OddBlue
                                                                   : White;
            if (MiddleOf(img, r) != expected)
                return QStringLiteral("cell %1, %2 (current %3, %4): %5 for %6")
                    .arg(col)
                    .arg(row)
                    .arg(curCol)
                    .arg(curRow)
                    .arg(MiddleOf(img, r).name(), expected.name());
            if (row != curRow || col != curCol) {
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x)
                        if (img.pixelColor(x, y) == Yellow)
                            return QStringLiteral("yellow at %1, %2 in cell %3, %4").arg(x).arg(y).arg(col).arg(row);
            }
            ++checked;
        }
    }
    return checked >= 12 ? QString() : QStringLiteral("only %1 cells in view").arg(checked);
}

// The band as the screen shows it once the window has painted.
void ExpectBand(MainWindow& w)
{
    QString mismatch;
    WAIT_VERIFY2((mismatch = BandMismatch(w, GrabScreen())).isEmpty(), qPrintable(mismatch));
}

// The window gets the keyboard as after a click on it: no window manager here.
void Focus(MainWindow& w)
{
    QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(w.winId())}));
    WAIT_VERIFY(w.grid()->hasKeyboardFocus());
}

void Keys(const QStringList& keys)
{
    QVERIFY(Xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + keys));
}

// The horizontal extent of the scroll bar's handle in a screen grab: the
// pixels of its colour along the bar's middle.
std::pair<int, int> HandleOnScreen(QScrollBar& bar)
{
    const QImage img = GrabScreen();
    const QRect r(bar.mapToGlobal(QPoint(0, 0)), bar.size());
    int from = INT_MAX;
    int to = INT_MIN;
    for (int x = r.left(); x <= r.right(); ++x)
        if (img.pixel(x, r.center().y()) == ScrollHandleColour) {
            from = std::min(from, x);
            to = std::max(to, x);
        }
    return {from - r.left(), to - r.left()};
}

// The cell that paints a grid cell, on the screen: right to left, its
// section's left pixel is the grid line.
QRect PaintedCellOnScreen(GridWidget& grid, int col, int gridRow)
{
    if (gridRow == 0) {
        const QRect r = grid.header().cellRect(col);
        return QRect(grid.header().viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    const int mr = grid.gridModel().modelRow(gridRow);
    const QRect r(grid.columnViewportPosition(col) + GridLineWidth, grid.rowViewportPosition(mr),
                  grid.columnWidth(col) - GridLineWidth, grid.rowHeight(mr) - 1);
    return QRect(grid.viewport()->mapToGlobal(r.topLeft()), r.size());
}

// How much of a text colour a pixel holds over its background, 0..1, by the
// channel in which they differ most.
double InkOf(QRgb pixel, QRgb background, QRgb text)
{
    int best = 0;
    double ink = 0;
    for (int shift : {16, 8, 0}) {
        const int p = static_cast<int>((pixel >> shift) & 0xFF);
        const int b = static_cast<int>((background >> shift) & 0xFF);
        const int t = static_cast<int>((text >> shift) & 0xFF);
        if (std::abs(t - b) > best) {
            best = std::abs(t - b);
            ink = double(p - b) / (t - b);
        }
    }
    return best < 64 ? 0 : ink;
}

// The first and last pixel columns of img, from x0 to x1, rows y0 to y1,
// that hold ink of the text colour over background(y).
std::pair<int, int> InkColumns(const QImage& img, int x0, int x1, int y0, int y1,
                               const std::function<QRgb(int)>& background, QRgb text)
{
    int from = INT_MAX;
    int to = INT_MIN;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (InkOf(img.pixel(x, y), background(y), text) > 0.3) {
                from = std::min(from, x);
                to = std::max(to, x);
            }
    return {from, to};
}

QByteArray Table(int rows, int cols, const QByteArray& tag)
{
    QByteArray t;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            t += (c ? "\t" : "")
                + (r ? tag + "r" + QByteArray::number(r) + "c" + QByteArray::number(c)
                     : "Head" + QByteArray::number(c));
        t += "\r\n";
    }
    return t;
}

} // namespace

class TestGridWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase() { SetExeFolderForTesting(appDir.path().toStdString() + "/"); }

    void init()
    {
        if (QByteArray(QTest::currentTestFunction()).startsWith("toolTip"))
            return;
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs a real X server");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QFAIL("xdotool is missing: scripts/setup installs it");
    }

    void toolTipText_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << QByteArray("41,464,000") << QStringLiteral("<p>41,464,000</p>");
        QTest::newRow("markup stays text")
            << QByteArray("<b>a & b</b>") << QStringLiteral("<p>&lt;b&gt;a &amp; b&lt;/b&gt;</p>");
        QTest::newRow("Persian") << QByteArray("\xDA\xE1\xED") << QStringLiteral("<p>\u0639\u0644\u064A</p>");
        QTest::newRow("lines at spaces") << QByteArray(70, 'a') + " " + QByteArray(20, 'b')
                                         << "<p>" + QString(70, 'a') + "<br>\n" + QString(20, 'b') + "</p>";
        QTest::newRow("lines in a long word")
            << QByteArray(100, '7') << "<p>" + QString(80, '7') + "<br>\n" + QString(20, '7') + "</p>";
        QTest::newRow("the cell's own lines")
            << QByteArray("a\r\nb\rc\n") + QByteArray(90, 'd')
            << "<p>a<br>\nb<br>\nc<br>\n" + QString(80, 'd') + "<br>\n" + QString(10, 'd') + "</p>";
    }

    void toolTipText()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, shown);
        QCOMPARE(CellToolTip(std::string_view(cell.constData(), std::size_t(cell.size()))), shown);
    }

    void toolTipOfAHugeCell()
    {
        const std::string huge(5'000'000, 'x');
        const QString tip = CellToolTip(huge);
        QVERIFY(tip.count(QLatin1Char('x')) == ToolTipLength);
        QVERIFY(tip.contains(QChar(0x2026)));
    }

    void bandFollowsTheCursor()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.path() + "/a.txt", Table(14, 4, "a")));
        QVERIFY(Write(dir.path() + "/b.txt", Table(9, 3, "b")));
        MainWindow w({QFile::encodeName(dir.path() + "/a.txt").toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        CHECKED(Focus(w));
        QCOMPARE(w.document().currentRow(), 1);
        CHECKED(ExpectBand(w));

        // Keys.
        CHECKED(Keys({"Down", "Down", "Down"}));
        WAIT_COMPARE(w.document().currentRow(), 4);
        CHECKED(ExpectBand(w));
        CHECKED(Keys({"Left"}));
        WAIT_COMPARE(w.document().currentCol(), 1);
        CHECKED(ExpectBand(w));

        // The mouse.
        const QRect target = CellOnScreen(*w.grid(), 2, 7);
        QVERIFY(Xdo({"mousemove", "--sync", QString::number(target.center().x()), QString::number(target.center().y()),
                     "click", "1"}));
        WAIT_COMPARE(w.document().currentRow(), 7);
        QCOMPARE(w.document().currentCol(), 2);
        CHECKED(ExpectBand(w));

        // Search, from its key.
        answerNextTextPrompt([](TextPrompt& f) {
            f.edit()->setText(QStringLiteral("ar10c"));
            f.okButton()->click();
        });
        CHECKED(Keys({"ctrl+f"}));
        WAIT_COMPARE(w.document().currentRow(), 10);
        CHECKED(Focus(w));
        CHECKED(ExpectBand(w));

        // Delete Row: the next row comes up under the cursor.
        CHECKED(Keys({"ctrl+Delete"}));
        WAIT_COMPARE(w.document().grid().RowCount(), 13);
        CHECKED(ExpectBand(w));

        // Next File and Pre File: a new grid, its own cursor. The deleted row
        // is an unsaved change: the question comes first, and is let go.
        int asked = 0;
        w.runUnsavedQuestion = [&asked](QMessageBox&) { return ++asked, int(QMessageBox::Discard); };
        CHECKED(Keys({"ctrl+Right"}));
        WAIT_VERIFY(w.document().path().find("b.txt") != std::string::npos);
        QCOMPARE(asked, 1);
        CHECKED(Focus(w));
        CHECKED(ExpectBand(w));
        CHECKED(Keys({"Down", "Down"}));
        WAIT_COMPARE(w.document().currentRow(), 3);
        CHECKED(ExpectBand(w));
        CHECKED(Keys({"ctrl+Left"}));
        WAIT_VERIFY(w.document().path().find("a.txt") != std::string::npos);
        QCOMPARE(asked, 1);
        CHECKED(Focus(w));
        CHECKED(ExpectBand(w));
    }

    void scrollBarStartsAtTheRight()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.path() + "/wide.txt", Table(30, 30, "w")));
        MainWindow w({QFile::encodeName(dir.path() + "/wide.txt").toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        CHECKED(Focus(w));
        QScrollBar& bar = *w.grid()->horizontalScrollBar();
        QVERIFY(bar.isVisible());
        QVERIFY(bar.maximum() > bar.pageStep() / 2);
        QCOMPARE(bar.value(), 0);
        QCOMPARE(bar.layoutDirection(), Qt::RightToLeft);
        QVERIFY(!bar.invertedAppearance());

        // The first columns show at the right: so does the handle.
        auto [from, to] = HandleOnScreen(bar);
        QVERIFY2(from > bar.width() / 4 && to > bar.width() - 25 && to < bar.width(),
                 qPrintable(QStringLiteral("%1..%2 of %3").arg(from).arg(to).arg(bar.width())));
        const int length = to - from;

        // The last columns: the handle at the left.
        QStringList lefts;
        for (int i = 0; i < 30; ++i)
            lefts << QStringLiteral("Left");
        CHECKED(Keys(lefts));
        WAIT_COMPARE(w.document().currentCol(), 29);
        WAIT_COMPARE(bar.value(), bar.maximum());
        std::tie(from, to) = HandleOnScreen(bar);
        QVERIFY2(from >= 0 && from < 25 && to < bar.width() * 3 / 4,
                 qPrintable(QStringLiteral("%1..%2 of %3").arg(from).arg(to).arg(bar.width())));
        QVERIFY(qAbs(to - from - length) <= 1);
    }

    // A text that sets its column's width shows whole, in the header and in
    // the body, Persian and Latin: its ink spans as many pixel columns as the
    // same text painted alone, and fills the room inside the cell's ring. The
    // blank last column gives each row's background.
    void textsThatSetTheWidthShowWhole()
    {
        QTemporaryDir dir;
        const QString table = QStringLiteral("نام خانوادگی\tنام\tSurname\tName\t \r\n"
                                             "علی\tیاسمین\tAl\tWilliam\t \r\n"
                                             "ردیف\tرضا\tJo\tWilliam\t \r\n"
                                             " \t \t \t \t \r\n");
        QVERIFY(Write(dir.path() + "/fit.txt", table.toUtf8()));
        MainWindow w({QFile::encodeName(dir.path() + "/fit.txt").toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        CHECKED(Focus(w));
        GridWidget& grid = *w.grid();
        // The cursor away from the rows looked at: they keep their own colours.
        grid.setCurrentIndex(grid.model()->index(grid.gridModel().modelRow(3), 4));
        const int blank = 4;

        const auto check = [&](int col, int row) {
            const QImage img = GrabScreen();
            const QRect cell = PaintedCellOnScreen(grid, col, row);
            const QRect plain = PaintedCellOnScreen(grid, blank, row);
            const auto background = [&](int y) { return img.pixel(plain.center().x(), y); };
            const QString text = ToQString(w.document().grid().Cell(col, row), TextEncoding::Utf8);
            const QRgb colour = row == 0 ? qRgb(255, 255, 255) : ToQColor(ColumnFontColours[col]).rgb();
            const QFontMetrics fm(grid.font(), &grid);
            const int width = DisplayTextWidth(fm, text);
            QCOMPARE(width, w.document().grid().ColWidth(col));
            if (row == 0) {
                // The header's grid line stands where the body's does, its cell's ring beside it.
                QCOMPARE(img.pixel(cell.left() - 1, cell.center().y()), grid.palette().color(QPalette::Mid).rgb());
                QCOMPARE(img.pixel(cell.left(), cell.center().y()), ToQColor(HeaderBackColour).rgb());
            }

            // Alone, over the same background, at the same height.
            constexpr int Margin = 20;
            QImage alone(width + 2 * Margin, cell.height(), QImage::Format_RGB32);
            for (int y = 0; y < alone.height(); ++y)
                for (int x = 0; x < alone.width(); ++x)
                    alone.setPixel(x, y, background(cell.top() + y));
            {
                QPainter p(&alone);
                p.setFont(grid.font());
                p.setPen(QColor(colour));
                p.setLayoutDirection(Qt::RightToLeft);
                p.drawText(QPoint(Margin, cell.height() / 2 - fm.height() / 2 + fm.ascent()), text);
            }
            const auto [a, b] = InkColumns(
                alone, 0, alone.width() - 1, 1, alone.height() - 2, [&](int y) { return background(cell.top() + y); },
                colour);
            QVERIFY2(a >= Margin - 1 && b <= Margin + width, qPrintable(text));

            // Inside the ring: its pixels are the cell's colour, not background.
            const auto [from, to] = InkColumns(img, cell.left() + 1, cell.right() - 1, cell.top() + 1,
                                               cell.bottom() - 1, background, colour);
            const QString where = QStringLiteral("%1 in %2..%3: ink %4..%5 on screen, %6..%7 alone")
                                      .arg(text)
                                      .arg(cell.left())
                                      .arg(cell.right())
                                      .arg(from)
                                      .arg(to)
                                      .arg(a - Margin)
                                      .arg(b - Margin);
            QVERIFY2(to - from == b - a, qPrintable(where));
            // The text's room is the cell inside its ring.
            QVERIFY2(std::abs(from - (cell.left() + 1 + a - Margin)) <= 1, qPrintable(where));
            QVERIFY2(std::abs(to - (cell.left() + 1 + b - Margin)) <= 1, qPrintable(where));
        };
        const auto checkAll = [&] {
            CHECKED(check(0, 0));
            CHECKED(check(1, 1));
            CHECKED(check(2, 0));
            CHECKED(check(3, 1));
            CHECKED(check(3, 2));
        };
        WAIT_VERIFY(grid.currentIndex().column() == blank);
        CHECKED(checkAll());

        // Narrowed, then fitted again by a double click on the column's edge:
        // right to left, a column ends at its left side.
        grid.showColumnWidth(1, 10);
        grid.showColumnWidth(3, 10);
        for (int col : {1, 3}) {
            GridHeader& header = grid.header();
            const QPoint edge =
                header.viewport()->mapToGlobal(QPoint(header.sectionViewportPosition(col) + 1, header.height() / 2));
            QVERIFY(Xdo({"mousemove", "--sync", QString::number(edge.x()), QString::number(edge.y()), "click",
                         "--repeat", "2", "--delay", "80", "1"}));
            WAIT_VERIFY(w.document().grid().ColWidth(col) > 10);
        }
        CHECKED(checkAll());
    }

    void cutCellShowsItsTextInATooltip()
    {
        QTemporaryDir dir;
        QByteArray t = Table(6, 3, "t");
        const QByteArray longText = "Tea from Lahijan, " + QByteArray(300, 'x') + " the end";
        t.replace("tr2c1", longText);
        t.replace("tr3c2", "41,464,000");
        QVERIFY(Write(dir.path() + "/t.txt", t));
        MainWindow w({QFile::encodeName(dir.path() + "/t.txt").toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        CHECKED(Focus(w));
        // The user narrows column 2 below the number's width.
        w.grid()->horizontalHeader()->resizeSection(2, 40);

        const auto hover = [&w](int col, int row) {
            const QRect r = CellOnScreen(*w.grid(), col, row);
            QVERIFY(Xdo({"mousemove", "--sync", QString::number(r.center().x() + 1), QString::number(r.center().y())}));
            QVERIFY(Xdo({"mousemove", "--sync", QString::number(r.center().x()), QString::number(r.center().y())}));
        };
        CHECKED(hover(1, 2));
        WAIT_VERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().contains(QStringLiteral("Tea from Lahijan,")), qPrintable(QToolTip::text()));
        QVERIFY(QToolTip::text().contains(QStringLiteral("the end")));
        CHECKED(hover(2, 3));
        WAIT_VERIFY(QToolTip::text().contains(QStringLiteral("41,464,000")));
        QVERIFY(QToolTip::isVisible());
        // A cell that shows all of its text has none.
        CHECKED(hover(0, 4));
        WAIT_VERIFY(!QToolTip::isVisible());
    }

    // Each cell reads in the direction of its first strong character, as a
    // mark of that direction before it would say; the glyphs are compared
    // where they are, since a mark may change a cell's alignment.
    void cellsReadInTheirOwnDirection()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.path() + "/d.txt",
                      "Head\r\nx\r\n# This file (a)\r\nx\r\n\xFD# This file (a)\r\nx\r\n\xFE# This file (a)\r\n"));
        MainWindow w({QFile::encodeName(dir.path() + "/d.txt").toStdString()});
        w.show();
        QVERIFY(WaitExposed(&w));
        const auto ink = [&w](const QImage& screen, int row) {
            return InkMask(screen, CellOnScreen(*w.grid(), 0, row).adjusted(1, 1, -1, -1));
        };
        QImage plain;
        WAIT_VERIFY(!(plain = ink(GrabScreen(), 6)).isNull());
        // Rows 2, 4 and 6 share their colour, away from the cursor's row.
        const QImage screen = GrabScreen();
        QVERIFY(ink(screen, 2) == ink(screen, 4));
        QVERIFY(ink(screen, 2) != ink(screen, 6));
    }
};

QTEST_MAIN(TestGridWindow)
#include "tst_GridWindow.moc"
