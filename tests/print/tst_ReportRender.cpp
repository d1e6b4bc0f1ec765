// The report as a reader sees it: PDF pages read back with pdftotext, the
// label layout of a row, and the print preview window.

#include "PdfText.h"

#include "common/WhenShown.h"
#include "print/PrintCommand.h"
#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "table/CoreGrid.h"
#include "text/Cp1256.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

using namespace rasmik;

namespace {

using Lines = std::vector<std::string>;

// Page geometry of the PDF report, in points.
constexpr double PtPerMm = 72.0 / 25.4;
constexpr double LeftEdge = 5 * PtPerMm;
constexpr double RightEdge = (210 - 8) * PtPerMm;
constexpr double BottomEdge = (297 - 10) * PtPerMm;

ReportFont dejaVu(int size = 10)
{
    ReportFont f;
    f.name = "DejaVu Sans";
    f.size = size;
    return f;
}

// A grid of equal columns (width 100 px) from rows of Latin text.
CoreGrid gridOf(const std::vector<std::vector<std::string>>& rows, int width = 100)
{
    CoreGrid g;
    g.Reset(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int c = 0; c < g.ColCount(); ++c)
        g.SetColWidth(c, width);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            g.SetCell(static_cast<int>(c), static_cast<int>(r), rows[r][c]);
    return g;
}

PdfText renderAndRead(const Lines& lines, const QTemporaryDir& dir, const QString& name = "r.pdf")
{
    const QString pdf = dir.filePath(name);
    if (const FileStatus r = RenderReportToPdf(lines, pdf); !r) {
        qWarning("render failed: %s", DescribeFileError(r.error()).c_str());
        return {};
    }
    return ReadPdfWords(pdf);
}

double pageX(int colFromRight, int cols)
{
    return RightEdge - (colFromRight + 0.5) * (RightEdge - LeftEdge) / cols;
}

} // namespace

class TestReportRender : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { endWatches(); }
    void rowsReadTopDownAndRightToLeft();
    void titleIsCentred();
    void persianCaptionsJoinAndRead();
    void utf8TablePrintsItsText();
    void rowsFlowOverPages();
    void longCaptionShrinks();
    void fittedSizeIsTheLargestThatFits_data();
    void fittedSizeIsTheLargestThatFits();
    void secondPrintShowsOnlyItsTable();
    void separatorInCellStaysInItsColumn();
    void cellsReadInTheirOwnDirection_data();
    void cellsReadInTheirOwnDirection();
    void manyColumnsAllPrint();
    void layingARow();
    void fittedCaptionIsWhole_data();
    void fittedCaptionIsWhole();
    void wideLineLaysAPageOfLabels();
    void wideTablePrintsWhatShows();
    void everyRunStartsFromTheFirstLine();
    void reportFontFromQFont();
    void pdfFileWholeOrNothing();
    void previewWindow();
    void printFailureMessage();
    void reportsDoNotShareLines();
};

void TestReportRender::rowsReadTopDownAndRightToLeft()
{
    const CoreGrid grid = gridOf({{"Name", "Age", "City"}, {"Ali", "30", "Tehran"}, {"Sara", "25", "Shiraz"}});
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "Roster", lines);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("r.pdf");
    QVERIFY(RenderReportToPdf(lines, pdf));
    const QStringList layout = ReadPdfLayout(pdf);
    auto lineWith = [&](const QString& word) {
        for (int i = 0; i < layout.size(); ++i)
            if (layout[i].contains(word))
                return i;
        return -1;
    };
    const int title = lineWith("Roster");
    const int header = lineWith("Name");
    const int first = lineWith("Ali");
    const int second = lineWith("Sara");
    QVERIFY2(title >= 0, qPrintable(layout.join('\n')));
    QVERIFY(title < header && header < first && first < second);
    for (int line : {header, first, second}) {
        const QString& s = layout[line];
        const QStringList order = line == header ? QStringList{"City", "Age", "Name"}
            : line == first                      ? QStringList{"Tehran", "30", "Ali"}
                                                 : QStringList{"Shiraz", "25", "Sara"};
        QVERIFY2(s.indexOf(order[0]) < s.indexOf(order[1]) && s.indexOf(order[1]) < s.indexOf(order[2]), qPrintable(s));
    }

    // Header cells are centred in their columns, body cells sit flush right.
    const PdfText text = ReadPdfWords(pdf);
    QCOMPARE(text.pages, 1);
    const PdfWord age = text.find("Age").value(0);
    QVERIFY(qAbs(age.xMid() - pageX(1, 3)) < 2);
    const PdfWord ali = text.find("Ali").value(0);
    const double columnRight = RightEdge;
    QVERIFY(ali.xMax < columnRight && ali.xMax > columnRight - 20);
    // The body text is the larger font: size + 2.
    QVERIFY(ali.yMax - ali.yMin > (text.find("Roster").value(0).yMax - text.find("Roster").value(0).yMin));
}

void TestReportRender::titleIsCentred()
{
    const CoreGrid grid = gridOf({{"a", "b"}}, 10);
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "Centred", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    const PdfWord title = text.find("Centred").value(0);
    QVERIFY(qAbs(title.xMid() - (LeftEdge + RightEdge) / 2) < 2);
    QVERIFY(qAbs(text.pageWidth - 210 * PtPerMm) < 1);
    QVERIFY(qAbs(text.pageHeight - 297 * PtPerMm) < 1);
    // The title row starts at the top margin.
    QVERIFY(title.yMin > 10 * PtPerMm - 1 && title.yMin < 10 * PtPerMm + 5);
}

void TestReportRender::persianCaptionsJoinAndRead()
{
    const std::string word = Utf8ToCp1256("گزارش");
    const CoreGrid grid = gridOf({{"h"}, {Utf8ToCp1256("سلام")}});
    Lines lines;
    BuildPrintLines(grid, dejaVu(), word, lines);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("fa.pdf");
    QVERIFY(RenderReportToPdf(lines, pdf));
    const PdfText text = ReadPdfWords(pdf);
    // pdftotext keeps the joined word together in its layout text, as
    // presentation forms inside embedding marks, in either reading order.
    const QString page = ReadPdfLetters(pdf);
    auto present = [&](const QString& s) { return HoldsEitherWay(page, s); };
    QVERIFY2(present(QStringLiteral("گزارش")), qPrintable(page));
    QVERIFY2(present(QStringLiteral("سلام")), qPrintable(page));
    // Joined letters come out as presentation forms, not as isolated letters.
    bool joined = false;
    for (const PdfWord& w : text.words)
        for (QChar c : w.text)
            joined = joined || (c.unicode() >= 0xFB50 && c.unicode() <= 0xFEFF);
    QVERIFY(joined);
}

// Letters that Windows-1256 lacks (U+06CC, Persian digits) print as they are.
void TestReportRender::utf8TablePrintsItsText()
{
    CoreGrid grid = gridOf({{"نام", "شماره"}, {"کتابی", "۱۲۳"}, {"یزد", "café"}});
    grid.SetEncoding(TextEncoding::Utf8);
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "گزارش ی", lines);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("utf8.pdf");
    QVERIFY(RenderReportToPdf(lines, pdf, TextEncoding::Utf8));
    const QString page = ReadPdfLetters(pdf);
    for (const char* word : {"گزارش", "شماره", "کتابی", "۱۲۳", "یزد", "café"})
        QVERIFY2(HoldsEitherWay(page, QString::fromUtf8(word)), qPrintable(QString::fromUtf8(word) + ": " + page));
    // Not the Arabic yeh that Windows-1256 would have put in its place.
    QVERIFY2(!page.contains(QChar(0x064A)), qPrintable(page));
}

void TestReportRender::rowsFlowOverPages()
{
    std::vector<std::vector<std::string>> rows{{"HeadA", "HeadB"}};
    for (int r = 1; r <= 200; ++r) {
        char id[8];
        std::snprintf(id, sizeof id, "R%03d", r);
        rows.push_back({id, "x"});
    }
    Lines lines;
    BuildPrintLines(gridOf(rows), dejaVu(), "Long", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    QVERIFY(text.pages >= 3);
    QCOMPARE(text.find("HeadA").size(), 1);
    QCOMPARE(text.find("HeadA").value(0).page, 0);
    QCOMPARE(text.find("Long").size(), 1);

    QList<PdfWord> ids;
    for (int r = 1; r <= 200; ++r) {
        char id[8];
        std::snprintf(id, sizeof id, "R%03d", r);
        const QList<PdfWord> hit = text.find(id);
        QCOMPARE(hit.size(), 1);
        ids << hit[0];
    }
    const double pitch = ids[1].yMin - ids[0].yMin;
    QVERIFY(pitch > 10);
    for (int i = 1; i < ids.size(); ++i) {
        const PdfWord& prev = ids[i - 1];
        const PdfWord& cur = ids[i];
        QVERIFY(cur.page == prev.page || cur.page == prev.page + 1);
        if (cur.page == prev.page) {
            QVERIFY(qAbs(cur.yMin - prev.yMin - pitch) < 0.5);
        } else {
            // A page ends only when one more row would cross the bottom margin,
            // and the next page starts at the top margin.
            QVERIFY2(prev.yMin + 2 * pitch > BottomEdge, qPrintable(cur.text));
            QVERIFY(cur.yMin < 10 * PtPerMm + 3);
        }
        QVERIFY(cur.yMax < BottomEdge);
    }
    QCOMPARE(ids.last().page, text.pages - 1);
}

void TestReportRender::longCaptionShrinks()
{
    std::string longCaption;
    for (int i = 1; i <= 40; ++i)
        longCaption += "w" + std::to_string(100 + i) + " ";
    const CoreGrid grid = gridOf(
        {{"A", "B", "C"}, {"Normal", longCaption, "Other"}, {"x", "MediumLengthCaptionThatShrinks_abcdef", "y"}});
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "T", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    QCOMPARE(text.pages, 1);
    const double normal = text.find("Normal").value(0).yMax - text.find("Normal").value(0).yMin;
    QVERIFY(normal > 10);
    for (int i = 1; i <= 40; ++i) {
        const QList<PdfWord> w = text.find("w" + QString::number(100 + i));
        QCOMPARE(w.size(), 1);
        // Three points: about a quarter of the twelve-point row.
        QVERIFY(w[0].yMax - w[0].yMin < normal * 0.35);
    }
    const PdfWord medium = text.find("MediumLengthCaptionThatShrinks_abcdef").value(0);
    const double mediumHeight = medium.yMax - medium.yMin;
    QVERIFY2(mediumHeight < normal * 0.95 && mediumHeight > normal * 0.35,
             qPrintable(QString("%1 %2").arg(mediumHeight).arg(normal)));
    // Fitted: it stays inside its column.
    QVERIFY(medium.xMin > pageX(1, 3) - (RightEdge - LeftEdge) / 6 - 1);
}

void TestReportRender::fittedSizeIsTheLargestThatFits_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("width");
    QTest::newRow("fits") << "Short" << 300;
    QTest::newRow("shrinks") << "A caption that is rather long" << 120;
    QTest::newRow("floor") << QString(200, 'W') << 40;
    QTest::newRow("persian") << QStringLiteral("\u200F  گزارش ماهانه فروش") << 60;
}

void TestReportRender::fittedSizeIsTheLargestThatFits()
{
    QFETCH(QString, caption);
    QFETCH(int, width);
    QFont font("DejaVu Sans");
    font.setPointSize(12);
    const int size = FitFontSize(font, caption, width);
    auto widthAt = [&](int s) {
        QFont f = font;
        f.setPointSize(s);
        return ScreenTextWidth(f, caption);
    };
    QVERIFY(size >= SmallestFontSize && size <= 12);
    if (size > SmallestFontSize)
        QVERIFY(widthAt(size) <= width);
    if (size < 12)
        QVERIFY(widthAt(size + 1) > width);
}

void TestReportRender::secondPrintShowsOnlyItsTable()
{
    std::vector<std::vector<std::string>> first{{"FirstHead"}};
    for (int r = 1; r <= 80; ++r)
        first.push_back({"First" + std::to_string(r)});
    Lines a;
    BuildPrintLines(gridOf(first), dejaVu(), "One", a);
    Lines b;
    BuildPrintLines(gridOf({{"SecondHead"}, {"Second1"}, {"Second2"}}), dejaVu(), "Two", b);

    QTemporaryDir dir;
    const PdfText one = renderAndRead(a, dir, "one.pdf");
    QVERIFY(one.pages >= 2);
    const PdfText two = renderAndRead(b, dir, "two.pdf");
    QCOMPARE(two.pages, 1);
    QStringList texts;
    for (const PdfWord& w : two.words)
        texts << w.text;
    QCOMPARE(texts.size(), 4);
    for (const char* expected : {"Two", "SecondHead", "Second1", "Second2"})
        QVERIFY(texts.contains(expected));
}

void TestReportRender::separatorInCellStaysInItsColumn()
{
    const std::string cell = std::string("P1") + std::string(ItemSeparator) + "P2";
    const CoreGrid grid = gridOf({{"H0", "H1", "H2"}, {"Z0", cell, "Z2"}});
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "T", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    const double third = (RightEdge - LeftEdge) / 3;
    auto column = [&](const PdfWord& w) { return static_cast<int>((RightEdge - w.xMid()) / third); };
    const PdfWord z0 = text.find("Z0").value(0);
    const QList<PdfWord> row = text.row(0, z0.yMid());
    QStringList inColumn[3];
    for (const PdfWord& w : row)
        inColumn[column(w)] << w.text;
    QCOMPARE(inColumn[0], QStringList{"Z0"});
    QCOMPARE(inColumn[2], QStringList{"Z2"});
    const QString middle = inColumn[1].join("");
    QVERIFY2(middle.contains("P1") && middle.contains("P2") && middle.contains("!") && middle.contains("`"),
             qPrintable(middle));
    // Read left to right, as its first letter says, the cell keeps its order.
    QVERIFY(text.find("P1").value(0).xMin < text.find("P2").value(0).xMin);
}

void TestReportRender::cellsReadInTheirOwnDirection_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<bool>("markOnTheRight");
    QTest::newRow("Latin first: left to right") << QByteArray("AB CD #") << true;
    QTest::newRow("Persian first: right to left") << QByteArray("\xDF AB CD #") << false;
    QTest::newRow("a right-to-left mark first") << QByteArray("\xFE"
                                                              "AB CD #")
                                                << false;
    QTest::newRow("no letter: right to left") << QByteArray("12 #") << false;
}

// The same in print as on screen: a neutral at the end of a cell goes to the
// side its reading direction ends on.
void TestReportRender::cellsReadInTheirOwnDirection()
{
    QFETCH(QByteArray, cell);
    QFETCH(bool, markOnTheRight);
    const CoreGrid grid = gridOf({{"Head"}, {cell.toStdString()}});
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "T", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    const PdfWord mark = text.find("#").value(0);
    const PdfWord number = text.find(cell.contains("12") ? "12" : "CD").value(0);
    QVERIFY(!mark.text.isEmpty() && !number.text.isEmpty());
    QCOMPARE(mark.xMin > number.xMin, markOnTheRight);
}

void TestReportRender::manyColumnsAllPrint()
{
    const int cols = 150;
    CoreGrid grid;
    grid.Reset(cols, 2);
    QString header;
    QString body;
    for (int c = 0; c < cols; ++c) {
        grid.SetColWidth(c, 20);
        const char letter = static_cast<char>('A' + c % 26);
        const char digit = static_cast<char>('0' + c % 10);
        grid.SetCell(c, 0, std::string(1, letter));
        grid.SetCell(c, 1, std::string(1, digit));
        header.prepend(QLatin1Char(letter));
        body.prepend(QLatin1Char(digit));
    }
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "T", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    QCOMPARE(text.pages, 1);
    // Labels sit at the band's top: one row of words shares its top edge.
    const PdfWord firstHeader = text.find("A").value(0);
    auto rowAt = [&](double yMin) {
        QList<PdfWord> row;
        for (const PdfWord& w : text.words)
            if (qAbs(w.yMin - yMin) < 0.2)
                row << w;
        std::sort(row.begin(), row.end(), [](const PdfWord& p, const PdfWord& q) { return p.xMin < q.xMin; });
        QString s;
        for (const PdfWord& w : row)
            s += w.text;
        return s;
    };
    QCOMPARE(rowAt(firstHeader.yMin), header);
    const PdfWord firstBody = text.find("0").value(0);
    QCOMPARE(rowAt(firstBody.yMin), body);
}

void TestReportRender::fittedCaptionIsWhole_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("share");
    QTest::newRow("Persian header") << QStringLiteral("نام خانوادگی") << 2 << 9.0;
    QTest::newRow("Persian body") << QStringLiteral("\u200F  یاسمین") << 0 << 6.0;
    QTest::newRow("Latin header") << QStringLiteral("Surname") << 2 << 6.0;
    QTest::newRow("Latin body") << QStringLiteral("\u200F  William") << 0 << 7.0;
    QTest::newRow("not shrunk") << QStringLiteral("ردیف") << 2 << 50.0;
}

// A caption fitted to its label prints whole, clear of the label's sides: its
// ink on the page is as wide as the same text printed alone.
void TestReportRender::fittedCaptionIsWhole()
{
    QFETCH(QString, caption);
    QFETCH(int, alignment);
    QFETCH(double, share);
    ReportBand band;
    band.setWidthMm(197);
    ReportRowFeeder feeder(band);
    const Lines none;
    feeder.start(none, TextEncoding::Utf8);
    const std::string held = caption.toStdString();
    feeder.layLine(
        MakeCellItem(static_cast<std::uint8_t>(alignment), 0, 0, 0, 0, 16777215, {}, "DejaVu Sans", 12, held, share)
        + std::string(ItemSeparator));
    ReportLabel label = *feeder.labels()[0];
    QVERIFY(label.enabled);
    // Above the smallest size, where a caption no longer needs to fit.
    QVERIFY(label.font.pointSize() > SmallestFontSize);
    if (share < 10)
        QVERIFY(label.font.pointSize() < 12);
    label.setPixelLeft(10);
    // As the PDF writer prints.
    constexpr double Dpi = 1200;
    constexpr double Scale = Dpi / ScreenDpi;
    const auto inkColumns = [](const QImage& img) {
        int from = INT_MAX;
        int to = INT_MIN;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 160) {
                    from = std::min(from, x);
                    to = std::max(to, x);
                }
        return std::pair{from, to};
    };
    const auto page = [&](const ReportLabel& l) {
        QImage img(int((l.pixelWidth() + 20) * Scale), int((l.pixelHeight() + 2) * Scale), QImage::Format_RGB32);
        img.setDotsPerMeterX(int(std::lround(Dpi / MmPerInch * 1000)));
        img.setDotsPerMeterY(img.dotsPerMeterX());
        img.fill(Qt::white);
        QPainter p(&img);
        l.paint(p, QPointF(0, 0), Scale, Scale, img.height());
        return img;
    };
    const auto [from, to] = inkColumns(page(label));
    ReportLabel alone = label;
    alone.setPixelWidth(label.pixelWidth() * 4);
    const auto [aloneFrom, aloneTo] = inkColumns(page(alone));
    const QString where = QStringLiteral("label %1..%2 px, ink %3..%4, alone %5 wide")
                              .arg(10 * Scale)
                              .arg((10 + label.pixelWidth()) * Scale)
                              .arg(from)
                              .arg(to)
                              .arg(aloneTo - aloneFrom);
    // A printer's pixel either way is where a glyph edge falls, not a cut.
    QVERIFY2(std::abs((to - from) - (aloneTo - aloneFrom)) <= 2, qPrintable(where));
    // Clear of the side lines' pixels.
    QVERIFY2(from >= (10 + 1) * Scale && to < (10 + label.pixelWidth() - 1) * Scale, qPrintable(where));
}

void TestReportRender::layingARow()
{
    ReportBand band;
    band.setWidthMm(197);
    ReportRowFeeder feeder(band);
    QCOMPARE(feeder.labels().size(), std::size_t(InitialLabelCount));

    const std::string line =
        MakeCellItem(2, 0, 1, 1, 1, 255, {true, false, false, false}, "DejaVu Sans", 14, "Head", 25)
        + std::string(ItemSeparator)
        + MakeCellItem(0, 1, 1, 0, 1, 16777215, {false, true, true, true}, "DejaVu Sans", 8, "Body", 75)
        + std::string(ItemSeparator);
    feeder.layLine(line);
    const ReportLabel& right = *feeder.labels()[0];
    const ReportLabel& left = *feeder.labels()[1];
    QVERIFY(right.enabled && left.enabled);
    for (std::size_t j = 2; j < feeder.labels().size(); ++j)
        QVERIFY(!feeder.labels()[j]->enabled);
    QCOMPARE(right.pixelWidth(), MmToScreenPixels(197 * 0.25));
    QCOMPARE(left.pixelWidth(), MmToScreenPixels(197 * 0.75));
    QVERIFY(qAbs(right.leftMm() + right.widthMm() - 197) < 0.3);
    QVERIFY(qAbs(left.leftMm() + left.widthMm() - right.leftMm()) < 0.3);
    QCOMPARE(right.alignment, LabelAlignment::Centre);
    QCOMPARE(left.alignment, LabelAlignment::Left);
    QVERIFY(!right.frameLeft && right.frameRight && !right.frameTop && !right.frameBottom);
    QVERIFY(left.frameLeft && left.frameRight && !left.frameTop && !left.frameBottom);
    QCOMPARE(right.font.pointSize(), 14);
    QVERIFY(right.font.bold() && !right.font.italic());
    QCOMPARE(left.font.pointSize(), 8);
    QVERIFY(left.font.italic() && left.font.underline() && left.font.strikeOut());
    QCOMPARE(right.caption, QStringLiteral("Head"));
    QCOMPARE(right.textDirection, Qt::LeftToRight);
    // The band takes the last item's colour and the tallest label's height.
    QCOMPARE(band.color, QColor(Qt::white));
    QCOMPARE(band.heightMm(), right.heightMm());
    QVERIFY(right.heightMm() > left.heightMm());

    // An empty line is an empty framed row of the lowest height.
    feeder.layLine("");
    for (const ReportLabel* l : feeder.labels())
        QVERIFY(!l->enabled);
    QCOMPARE(band.heightMm(), MinBandHeightMm);

    // A size too small to read still makes a band of at least 1 mm.
    feeder.layLine(MakeCellItem(0, 0, 0, 0, 0, 0, {}, "DejaVu Sans", 0, "", 100));
    QVERIFY(band.heightMm() >= MinBandHeightMm);
    QCOMPARE(band.color, QColor(Qt::black));

    // More items than labels: the band grows labels for them.
    std::string many;
    for (int i = 0; i < 130; ++i)
        many += MakeCellItem(0, 0, 1, 0, 1, 16777215, {}, "DejaVu Sans", 10, std::to_string(i), 100.0 / 130)
            + std::string(ItemSeparator);
    feeder.layLine(many);
    QVERIFY(feeder.labels().size() >= 130);
    QCOMPARE(band.labelCount(), static_cast<int>(feeder.labels().size()));
    int enabled = 0;
    for (const ReportLabel* l : feeder.labels())
        enabled += l->enabled ? 1 : 0;
    QCOMPARE(enabled, 130);
    QCOMPARE(feeder.labels()[129]->caption, QStringLiteral("\u200F129"));
    QVERIFY(feeder.labels()[129]->pixelLeft() < feeder.labels()[0]->pixelLeft());
}

// Items of no width, or beside the page, show nothing: a line of very many
// fields lays a page's worth of labels, and the row keeps the height the
// smallest fitted text gives it.
void TestReportRender::wideLineLaysAPageOfLabels()
{
    const int cols = 20000;
    CoreGrid grid;
    grid.Reset(cols, 1);
    for (int c = 0; c < cols; ++c) {
        grid.SetColWidth(c, c % 1000 == 0 ? 20000 : 40);
        grid.SetCell(c, 0, std::to_string(c));
    }
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "T", lines);
    QCOMPARE(lines.size(), std::size_t(2));

    ReportBand band;
    band.setWidthMm(197);
    ReportRowFeeder feeder(band);
    feeder.layLine(lines[1]);
    QVERIFY2(feeder.labels().size() <= std::size_t(InitialLabelCount),
             qPrintable(QString::number(feeder.labels().size())));
    QStringList captions;
    for (const ReportLabel* l : feeder.labels())
        if (l->enabled && !l->caption.isEmpty())
            captions << l->caption;
    // The twenty wide columns show, right to left; the rest have no width.
    QCOMPARE(captions.size(), cols / 1000);
    QCOMPARE(captions.front(), QStringLiteral("\u200F0"));
    QCOMPARE(captions.back(), QStringLiteral("\u200F19000"));

    QFont smallest(QStringLiteral("DejaVu Sans"));
    smallest.setPointSize(SmallestFontSize);
    QFont shown = feeder.labels()[0]->font;
    QCOMPARE(band.heightMm(), std::max(ScreenPixelsToMm(ScreenLineHeight(shown)), MinBandHeightMm));

    // With no column wide enough to show, the row is as tall as its texts at
    // the smallest size.
    for (int c = 0; c < cols; ++c)
        grid.SetColWidth(c, 40);
    BuildPrintLines(grid, dejaVu(), "T", lines);
    feeder.layLine(lines[1]);
    QVERIFY(feeder.labels().size() <= std::size_t(InitialLabelCount));
    QCOMPARE(band.heightMm(), std::max(ScreenPixelsToMm(ScreenLineHeight(smallest)), MinBandHeightMm));

    // Items a pixel wide run off the band's left side: those in the margin
    // still print, those beyond the page get no label.
    band.setRoomMm(5, 8);
    std::string pixels;
    for (int i = 0; i < 3000; ++i)
        pixels += MakeCellItem(0, 0, 1, 0, 1, 16777215, {}, "DejaVu Sans", 10, std::to_string(i),
                               100.0 / MmToScreenPixels(197))
            + std::string(ItemSeparator);
    feeder.layLine(pixels);
    int laid = 0;
    int leftmost = 0;
    for (const ReportLabel* l : feeder.labels())
        if (l->enabled && !l->caption.isEmpty()) {
            ++laid;
            leftmost = std::min(leftmost, l->pixelLeft());
        }
    // The last one laid ends on the page's edge (its side line's pixel).
    QCOMPARE(leftmost + 1, -MmToScreenPixels(5) - 1);
    QCOMPARE(laid, feeder.labels()[0]->pixelLeft() - leftmost + 1);
}

// A table far wider than the page prints the columns that have room, in
// their places, and no text of the columns that have none.
void TestReportRender::wideTablePrintsWhatShows()
{
    const int wide = 5;
    const int between = 600;
    CoreGrid grid;
    grid.Reset(wide * (between + 1), 2);
    for (int c = 0; c < grid.ColCount(); ++c) {
        const bool isWide = c % (between + 1) == 0;
        const int k = c / (between + 1);
        grid.SetColWidth(c, isWide ? 2000 : 9);
        grid.SetCell(c, 0, isWide ? "Head" + std::to_string(k) : "x" + std::to_string(c));
        grid.SetCell(c, 1, isWide ? "Body" + std::to_string(k) : "y" + std::to_string(c));
    }
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "Title", lines);
    QTemporaryDir dir;
    const PdfText text = renderAndRead(lines, dir);
    QVERIFY(text.ok);
    QCOMPARE(text.pages, 1);
    QStringList words;
    for (const PdfWord& w : text.words)
        words << w.text;
    words.sort();
    QStringList expected{"Title"};
    for (int k = 0; k < wide; ++k)
        expected << QStringLiteral("Head%1").arg(k) << QStringLiteral("Body%1").arg(k);
    expected.sort();
    QCOMPARE(words, expected);
    // Each wide column holds its share of the band, the first at the right;
    // the narrow ones between take no room.
    const double column = (RightEdge - LeftEdge) * 2000.0 / (wide * 2000.0 + wide * between * 9.0);
    for (int k = 0; k < wide; ++k) {
        const double left = RightEdge - (k + 1) * column;
        const double right = RightEdge - k * column;
        for (const QString& word : {QStringLiteral("Head%1").arg(k), QStringLiteral("Body%1").arg(k)}) {
            const PdfWord w = text.find(word).value(0);
            QVERIFY2(w.xMin > left - 2 && w.xMax < right + 2, qPrintable(word));
        }
    }
}

// Every run starts again from the first line, and the lines are read, not
// used up: the preview and each print from it give the same rows.
void TestReportRender::everyRunStartsFromTheFirstLine()
{
    ReportBand band;
    band.setWidthMm(100);
    ReportRowFeeder feeder(band);
    const Lines lines{MakeCellItem(0, 0, 1, 0, 1, 16777215, {}, "DejaVu Sans", 10, "First", 100),
                      MakeCellItem(0, 0, 1, 0, 1, 16777215, {}, "DejaVu Sans", 10, "Second", 100)};
    QVERIFY(feeder.atEnd());
    QVERIFY(!feeder.feedNext());
    for (int run = 0; run < 2; ++run) {
        feeder.start(lines);
        QStringList rows;
        while (feeder.feedNext())
            rows << feeder.labels()[0]->caption;
        QCOMPARE(rows, (QStringList{"First", "Second"}));
        QVERIFY(feeder.atEnd());
    }
    QCOMPARE(lines.size(), std::size_t(2));
}

void TestReportRender::reportFontFromQFont()
{
    QFont points("DejaVu Sans", 11);
    points.setBold(true);
    points.setStrikeOut(true);
    const ReportFont a = ReportFontFromQFont(points);
    QCOMPARE(QByteArray::fromStdString(a.name), QByteArray("DejaVu Sans"));
    QCOMPARE(a.size, 11);
    QVERIFY(a.style.bold && !a.style.italic && !a.style.underline && a.style.strikeOut);

    QFont pixels("DejaVu Sans");
    pixels.setPixelSize(16);
    pixels.setItalic(true);
    pixels.setUnderline(true);
    const ReportFont b = ReportFontFromQFont(pixels);
    QCOMPARE(b.size, 12);
    QVERIFY(!b.style.bold && b.style.italic && b.style.underline && !b.style.strikeOut);
}

void TestReportRender::pdfFileWholeOrNothing()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("no/such/folder/r.pdf");
    const FileStatus failed = RenderReportToPdf({"100 16777215 2 1 1 1 1 10 0 0 0 0 DejaVu Sans*T"}, missing);
    QCOMPARE(failed.code(), FileErrorCode::NotFound);
    QVERIFY(!QFile::exists(missing));

    const QString path = dir.filePath("r.pdf");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content");
    }
    QVERIFY(RenderReportToPdf({"100 16777215 2 1 1 1 1 10 0 0 0 0 DejaVu Sans*Fresh"}, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().startsWith("%PDF"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"r.pdf"});
    QCOMPARE(ReadPdfWords(path).find("Fresh").size(), 1);
}

void TestReportRender::previewWindow()
{
    std::vector<std::vector<std::string>> rows{{"PreviewHead"}};
    for (int r = 1; r <= 150; ++r)
        rows.push_back({"Row" + std::to_string(r)});
    const CoreGrid big = gridOf(rows);
    QTemporaryDir dir;
    const QString printed = dir.filePath("printed.pdf");

    int firstPages = 0;
    bool checked = false;
    whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
        checked = true;
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Velam"));
        QVERIFY(dlg->windowState() & Qt::WindowMaximized);
        QVERIFY(dlg->isModal());
        QPrinter* printer = dlg->printer();
        QCOMPARE(printer->docName(), QStringLiteral("Velam"));
        const QPageLayout layout = printer->pageLayout();
        QCOMPARE(layout.orientation(), QPageLayout::Portrait);
        const QMarginsF m = layout.margins(QPageLayout::Millimeter);
        QVERIFY(qAbs(m.left() - 5) < 0.1 && qAbs(m.right() - 8) < 0.1);
        QVERIFY(qAbs(m.top() - 10) < 0.1 && qAbs(m.bottom() - 10) < 0.1);
        if (QPrinterInfo::defaultPrinter().isNull())
            QCOMPARE(layout.pageSize().id(), QPageSize::A4);
        auto* preview = dlg->findChild<QPrintPreviewWidget*>();
        QVERIFY(preview);
        // Readable at once, with or without a window manager to maximise it.
        QCOMPARE(preview->zoomMode(), QPrintPreviewWidget::FitToWidth);
        const QRect room = dlg->screen()->availableGeometry();
        QVERIFY2(dlg->width() >= room.width() * 3 / 4 && dlg->height() >= room.height() * 3 / 4,
                 qPrintable(QStringLiteral("%1 x %2").arg(dlg->width()).arg(dlg->height())));
        firstPages = preview->pageCount();
        // Page through, then print from the preview: a fresh run of the same rows.
        preview->setCurrentPage(firstPages);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printed);
        preview->print();
        dlg->accept();
    });
    GridReport report;
    QVERIFY(PrintGrid(report, big, QFont("DejaVu Sans", 10), "Preview", nullptr));
    QVERIFY(checked);
    QVERIFY(firstPages >= 2);
    const PdfText text = ReadPdfWords(printed);
    QCOMPARE(text.pages, firstPages);
    QCOMPARE(text.find("PreviewHead").size(), 1);
    QCOMPARE(text.find("Row1").size(), 1);
    QCOMPARE(text.find("Row150").size(), 1);
    QCOMPARE(report.lines().size(), std::size_t(152));

    // A second print on the same report objects shows only the new table.
    int secondPages = 0;
    whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
        secondPages = dlg->findChild<QPrintPreviewWidget*>()->pageCount();
        dlg->reject();
    });
    QVERIFY(PrintGrid(report, gridOf({{"Small"}, {"One"}}), QFont("DejaVu Sans", 10), "Again", nullptr));
    QCOMPARE(secondPages, 1);
    QCOMPARE(report.lines().size(), std::size_t(3));
}

void TestReportRender::printFailureMessage()
{
    QString message;
    whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        dlg->printer()->setOutputFormat(QPrinter::PdfFormat);
        dlg->printer()->setOutputFileName("/nonexistent-folder/x/out.pdf");
        dlg->findChild<QPrintPreviewWidget*>()->print();
    });
    GridReport report;
    report.lines() = {"100 16777215 2 1 1 1 1 10 0 0 0 0 DejaVu Sans*T"};
    QVERIFY(!report.preview(nullptr));
    // The preview's own run ended with no more data (49); printing then failed.
    QVERIFY2(message.startsWith(QStringLiteral("Q Err 49: ")), qPrintable(message));
    QVERIFY(message.size() > 10);
}

// Two reports open side by side, and a PDF written in between, each keep
// their own rows: nothing of one print reaches another.
void TestReportRender::reportsDoNotShareLines()
{
    std::vector<std::vector<std::string>> rows{{"LongHead"}};
    for (int r = 1; r <= 120; ++r)
        rows.push_back({"Long" + std::to_string(r)});
    GridReport longReport;
    BuildPrintLines(gridOf(rows), dejaVu(), "L", longReport.lines());
    GridReport shortReport;
    BuildPrintLines(gridOf({{"ShortHead"}, {"Short1"}}), dejaVu(), "S", shortReport.lines());

    auto pagesShown = [](GridReport& report) {
        int pages = 0;
        whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
            pages = dlg->findChild<QPrintPreviewWidget*>()->pageCount();
            dlg->reject();
        });
        if (!report.preview(nullptr))
            return -1;
        return pages;
    };
    const int longPages = pagesShown(longReport);
    QVERIFY(longPages >= 2);
    QCOMPARE(pagesShown(shortReport), 1);
    QTemporaryDir dir;
    QCOMPARE(renderAndRead({"100 16777215 2 1 1 1 1 10 0 0 0 0 DejaVu Sans*Other"}, dir).pages, 1);
    QCOMPARE(pagesShown(longReport), longPages);
    QCOMPARE(longReport.lines().size(), std::size_t(122));
    QCOMPARE(shortReport.lines().size(), std::size_t(3));
}

QTEST_MAIN(TestReportRender)
#include "tst_ReportRender.moc"
