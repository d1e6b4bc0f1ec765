// Report lines as the renderer receives them, byte for byte, and the print
// title file.

#include "print/PrintTitle.h"
#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "table/CoreGrid.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

using namespace rasmik;

namespace {

using Lines = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const std::string Sep("\xFE\x21\x60\xFE", 4);

CoreGrid makeGrid(const std::vector<int>& widths, const Rows& rows)
{
    CoreGrid g;
    g.Reset(static_cast<int>(widths.size()), static_cast<int>(rows.size()));
    for (std::size_t c = 0; c < widths.size(); ++c)
        g.SetColWidth(static_cast<int>(c), widths[c]);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            g.SetCell(static_cast<int>(c), static_cast<int>(r), rows[r][c]);
    return g;
}

ReportFont arial10(bool bold = false)
{
    ReportFont f;
    f.name = "Arial";
    f.size = 10;
    f.style.bold = bold;
    return f;
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// Splits a report line into its items the way the renderer cuts them.
Lines items(std::string line)
{
    Lines out;
    while (!line.empty()) {
        const auto p = line.find(Sep);
        out.push_back(line.substr(0, p));
        line = p == std::string::npos ? std::string() : line.substr(p + Sep.size());
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Rows)
Q_DECLARE_METATYPE(std::vector<int>)

class TestReportLines : public QObject {
    Q_OBJECT
private slots:
    void gridLines_data();
    void gridLines();
    void shareText_data();
    void shareText();
    void titleComesFirst();
    void utf8GridGivesUtf8Lines();
    void fontStyleAndSize();
    void separatorInsideCaptionKeepsItems_data();
    void separatorInsideCaptionKeepsItems();
    void escapeLeavesOrdinaryCaptions_data();
    void escapeLeavesOrdinaryCaptions();
    void manyColumns();
    void fitFontSize_data();
    void fitFontSize();
    void printTitleFile_data();
    void printTitleFile();
};

void TestReportLines::gridLines_data()
{
    QTest::addColumn<std::vector<int>>("widths");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<Lines>("expected");

    const std::string h = " 16777215 2 ";
    const std::string b = " 16777215 0 ";
    QTest::newRow("small grid") << std::vector<int>{50, 30, 20}
                                << Rows{{"Name", "Age", "City"}, {"Ali", "30", "\xE4\xC7\xE3"}}
                                << Lines{"50" + h + "0 1 1 1 12 0 0 0 0 Arial*Name" + Sep + "30" + h
                                             + "0 1 1 1 12 0 0 0 0 Arial*Age" + Sep + "20" + h
                                             + "1 1 1 1 12 0 0 0 0 Arial*City" + Sep,
                                         "50" + b + "0 1 0 1 12 0 0 0 0 Arial*\xFE  Ali" + Sep + "30" + b
                                             + "0 1 0 1 12 0 0 0 0 Arial*\xFE  30" + Sep + "20" + b
                                             + "1 1 0 1 12 0 0 0 0 Arial*\xFE  \xE4\xC7\xE3" + Sep};
    QTest::newRow("single column") << std::vector<int>{64} << Rows{{"H"}, {"v1"}, {"v2"}}
                                   << Lines{"100" + h + "1 1 1 1 12 0 0 0 0 Arial*H" + Sep,
                                            "100" + b + "1 1 0 1 12 0 0 0 0 Arial*\xFE  v1" + Sep,
                                            "100" + b + "1 1 0 1 12 0 0 0 0 Arial*\xFE  v2" + Sep};
    QTest::newRow("narrow column skipped")
        << std::vector<int>{9, 8, 27} << Rows{{"a", "b", "c"}}
        << Lines{"25" + h + "0 1 1 1 12 0 0 0 0 Arial*a" + Sep + "75" + h + "1 1 1 1 12 0 0 0 0 Arial*c" + Sep};
    // The left line belongs to the last grid column only, printed or not; the
    // band's own frame closes the table on the left.
    QTest::newRow("narrow last column") << std::vector<int>{40, 40, 3} << Rows{{"a", "b", "c"}}
                                        << Lines{"50" + h + "0 1 1 1 12 0 0 0 0 Arial*a" + Sep + "50" + h
                                                 + "0 1 1 1 12 0 0 0 0 Arial*b" + Sep};
    QTest::newRow("empty header cell") << std::vector<int>{10, 10, 20} << Rows{{"x", "", "z"}, {"1", "2", "3"}}
                                       << Lines{"25" + h + "0 1 1 1 12 0 0 0 0 Arial*x" + Sep + "25" + h
                                                    + "0 1 1 1 12 0 0 0 0 Arial*" + Sep + "50" + h
                                                    + "1 1 1 1 12 0 0 0 0 Arial*z" + Sep,
                                                "25" + b + "0 1 0 1 12 0 0 0 0 Arial*\xFE  1" + Sep + "25" + b
                                                    + "0 1 0 1 12 0 0 0 0 Arial*\xFE  2" + Sep + "50" + b
                                                    + "1 1 0 1 12 0 0 0 0 Arial*\xFE  3" + Sep};
    QTest::newRow("header row only") << std::vector<int>{30, 10} << Rows{{"only", "row"}}
                                     << Lines{"75" + h + "0 1 1 1 12 0 0 0 0 Arial*only" + Sep + "25" + h
                                              + "1 1 1 1 12 0 0 0 0 Arial*row" + Sep};
    QTest::newRow("all columns narrow") << std::vector<int>{8, 0, 5}
                                        << Rows{{"a", "b", "c"}, {"1", "2", "3"}, {"4", "5", "6"}} << Lines{"", "", ""};
    QTest::newRow("repeating shares") << std::vector<int>{64, 64, 64} << Rows{{"p", "q", "r"}}
                                      << Lines{"33.3333333333333" + h + "0 1 1 1 12 0 0 0 0 Arial*p" + Sep
                                               + "33.3333333333333" + h + "0 1 1 1 12 0 0 0 0 Arial*q" + Sep
                                               + "33.3333333333333" + h + "1 1 1 1 12 0 0 0 0 Arial*r" + Sep};
}

void TestReportLines::gridLines()
{
    QFETCH(std::vector<int>, widths);
    QFETCH(Rows, rows);
    QFETCH(Lines, expected);
    const CoreGrid grid = makeGrid(widths, rows);
    Lines lines{"kept"};
    GridToReportLines(grid, 0, grid.ColCount() - 1, arial10(), lines);
    QCOMPARE(lines.size(), expected.size() + 1);
    QCOMPARE(lines[0], std::string("kept"));
    for (std::size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(bytes(lines[i + 1]), bytes(expected[i]));
}

void TestReportLines::shareText_data()
{
    QTest::addColumn<double>("share");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("whole") << 100.0 << QByteArray("100");
    QTest::newRow("half step") << 12.5 << QByteArray("12.5");
    QTest::newRow("two thirds") << 200.0 / 3 << QByteArray("66.6666666666667");
    QTest::newRow("small") << 0.0625 << QByteArray("0.0625");
    QTest::newRow("tiny share still readable") << 9e-6 << QByteArray("9e-06");
}

void TestReportLines::shareText()
{
    QFETCH(double, share);
    QFETCH(QByteArray, text);
    QCOMPARE(bytes(FormatShare(share)), text);
}

void TestReportLines::titleComesFirst()
{
    const CoreGrid grid = makeGrid({40, 60}, {{"A", "B"}, {"1", "2"}});
    Lines lines{"left over from the last print"};
    BuildPrintLines(grid, arial10(true), "My \xE4\xC7\xE3", lines);
    QCOMPARE(lines.size(), std::size_t(3));
    QCOMPARE(bytes(lines[0]), QByteArray("100 16777215 2 1 1 1 1 10 1 0 0 0 Arial*My \xE4\xC7\xE3"));
    QCOMPARE(
        bytes(lines[1]),
        bytes("40 16777215 2 0 1 1 1 12 1 0 0 0 Arial*A" + Sep + "60 16777215 2 1 1 1 1 12 1 0 0 0 Arial*B" + Sep));
    QVERIFY(lines[2].find("Arial*\xFE  2") != std::string::npos);

    BuildPrintLines(grid, arial10(), "", lines);
    QCOMPARE(bytes(lines[0]), QByteArray("100 16777215 2 1 1 1 1 10 0 0 0 0 Arial*"));
}

// A UTF-8 grid's lines carry UTF-8 throughout: its cells, its right-to-left
// mark, the font's name; the separators keep their bytes, which UTF-8 never
// holds.
void TestReportLines::utf8GridGivesUtf8Lines()
{
    CoreGrid grid = makeGrid({40, 60}, {{"نام", "شهر"}, {"کتابی", "۱۲"}});
    grid.SetEncoding(TextEncoding::Utf8);
    ReportFont font = arial10();
    font.name = "\xE4\xC7\xE3"; // Windows-1256, as fonts are named
    Lines lines;
    BuildPrintLines(grid, font, "گزارش ی", lines);
    QCOMPARE(lines.size(), std::size_t(3));
    QCOMPARE(bytes(lines[0]), QByteArray("100 16777215 2 1 1 1 1 10 0 0 0 0 نام*گزارش ی"));
    QCOMPARE(
        bytes(lines[1]),
        bytes("40 16777215 2 0 1 1 1 12 0 0 0 0 نام*نام" + Sep + "60 16777215 2 1 1 1 1 12 0 0 0 0 نام*شهر" + Sep));
    QCOMPARE(bytes(lines[2]),
             bytes("40 16777215 0 0 1 0 1 12 0 0 0 0 نام*\xE2\x80\x8F  کتابی" + Sep
                   + "60 16777215 0 1 1 0 1 12 0 0 0 0 نام*\xE2\x80\x8F  ۱۲" + Sep));
}

void TestReportLines::fontStyleAndSize()
{
    ReportFont f;
    f.name = "DejaVu Sans";
    f.size = 254;
    f.style = {true, true, true, true};
    const CoreGrid grid = makeGrid({20}, {{"h"}});
    Lines lines;
    GridToReportLines(grid, 0, 0, f, lines);
    // Sizes are bytes; a size past 255 stays at 255.
    QCOMPARE(bytes(lines[0]), bytes("100 16777215 2 1 1 1 1 255 1 1 1 1 DejaVu Sans*h" + Sep));

    // A '*' would end the font name early.
    const std::string item = MakeCellItem(1, 0, 0, 0, 0, 255, {}, "Odd*Name", 9, "c*d", 12.5);
    QCOMPARE(bytes(item), QByteArray("12.5 255 1 0 0 0 0 9 0 0 0 0 OddName*c*d"));
}

void TestReportLines::separatorInsideCaptionKeepsItems_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("separator inside") << QByteArray("a\xFE!`\xFE"
                                                    "b");
    QTest::newRow("separator alone") << QByteArray("\xFE!`\xFE");
    QTest::newRow("separator at end") << QByteArray("x\xFE!`\xFE");
    QTest::newRow("two separators") << QByteArray("\xFE!`\xFE\xFE!`\xFE");
    QTest::newRow("half separator at end") << QByteArray("y\xFE!`");
    QTest::newRow("looks escaped already") << QByteArray("\xFE!\x1F`\xFE");
}

void TestReportLines::separatorInsideCaptionKeepsItems()
{
    QFETCH(QByteArray, cell);
    const std::string text = cell.toStdString();
    const CoreGrid grid = makeGrid({20, 20, 20}, {{"L", text, "R"}, {"1", text, "3"}});
    Lines lines;
    GridToReportLines(grid, 0, 2, arial10(), lines);
    const std::vector<std::string> expectedCaptions[] = {{"L", text, "R"}, {"\xFE  1", "\xFE  " + text, "\xFE  3"}};
    for (std::size_t row = 0; row < 2; ++row) {
        const Lines parts = items(lines[row]);
        QCOMPARE(parts.size(), std::size_t(3));
        for (std::size_t c = 0; c < 3; ++c) {
            const std::string caption = parts[c].substr(parts[c].find('*') + 1);
            QCOMPARE(bytes(UnescapeCaption(caption)), bytes(expectedCaptions[row][c]));
        }
    }
}

void TestReportLines::escapeLeavesOrdinaryCaptions_data()
{
    QTest::addColumn<QByteArray>("caption");
    QTest::newRow("latin") << QByteArray("Hello, world! `x`");
    QTest::newRow("persian") << QByteArray("\xE4\xC7\xE3 \xCE\xC7\xE4\xC8\xC7\xCF\xDB\xED");
    QTest::newRow("rlm and bang") << QByteArray("\xFE!a`\xFE");
    QTest::newRow("bang grave without rlm") << QByteArray("!`\xFE");
    QTest::newRow("body prefix") << QByteArray("\xFE  text");
    QTest::newRow("escape byte elsewhere") << QByteArray("\x1F`\xFE!\x1F"
                                                         "a`");
    QTest::newRow("empty") << QByteArray();
}

void TestReportLines::escapeLeavesOrdinaryCaptions()
{
    QFETCH(QByteArray, caption);
    const std::string text = caption.toStdString();
    QCOMPARE(bytes(EscapeCaption(text)), caption);
    QCOMPARE(bytes(UnescapeCaption(text)), caption);
}

void TestReportLines::manyColumns()
{
    const int cols = 1200;
    CoreGrid grid;
    grid.Reset(cols, 2);
    for (int c = 0; c < cols; ++c) {
        grid.SetColWidth(c, 10 + c % 3);
        grid.SetCell(c, 0, "H" + std::to_string(c));
        grid.SetCell(c, 1, std::to_string(c));
    }
    Lines lines;
    GridToReportLines(grid, 0, cols - 1, arial10(), lines);
    QCOMPARE(lines.size(), std::size_t(2));
    const Lines header = items(lines[0]);
    const Lines body = items(lines[1]);
    QCOMPARE(header.size(), std::size_t(cols));
    QCOMPARE(body.size(), std::size_t(cols));
    double sum = 0;
    for (int c = 0; c < cols; ++c) {
        std::string_view rest = header[static_cast<std::size_t>(c)];
        sum += TakeFloatToken(rest, -1);
        QVERIFY(header[static_cast<std::size_t>(c)].ends_with("Arial*H" + std::to_string(c)));
        QVERIFY(body[static_cast<std::size_t>(c)].ends_with("Arial*\xFE  " + std::to_string(c)));
    }
    QVERIFY(qAbs(sum - 100.0) < 1e-9);
    // Only the last column draws the left line.
    QVERIFY(body.back().find(" 16777215 0 1 1 0 1 12 ") != std::string::npos);
    QVERIFY(body.front().find(" 16777215 0 0 1 0 1 12 ") != std::string::npos);
}

void TestReportLines::fitFontSize_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("fitted");
    QTest::addColumn<QList<int>>("measured");
    // The fake text is 10 pixels wide per point.
    QTest::newRow("fits at once") << 12 << 120 << 12 << QList<int>{12};
    QTest::newRow("shrinks point by point") << 12 << 95 << 9 << QList<int>{12, 11, 10, 9};
    QTest::newRow("stops at three points") << 6 << 5 << 3 << QList<int>{6, 5, 4};
    QTest::newRow("three points is not measured") << 3 << 1 << 3 << QList<int>{};
    QTest::newRow("smaller start stays") << 2 << 1 << 2 << QList<int>{};
}

void TestReportLines::fitFontSize()
{
    QFETCH(int, start);
    QFETCH(int, width);
    QFETCH(int, fitted);
    QFETCH(QList<int>, measured);
    QList<int> calls;
    const int got = FitFontSize(start, width, [&](int size) {
        calls << size;
        return size * 10;
    });
    QCOMPARE(got, fitted);
    QCOMPARE(calls, measured);
}

void TestReportLines::printTitleFile_data()
{
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QByteArray>("loaded");
    QTest::addColumn<QByteArray>("typed");
    QTest::newRow("first print") << false << QByteArray() << QByteArray() << QByteArray("Sales");
    QTest::newRow("empty title") << true << QByteArray("Old") << QByteArray("Old") << QByteArray();
    QTest::newRow("hand edit with CR LF")
        << true << QByteArray("Title\r\n") << QByteArray("Title") << QByteArray("Title");
    QTest::newRow("only one CR LF dropped")
        << true << QByteArray("T\r\n\r\n") << QByteArray("T\r\n") << QByteArray("T\r\n");
    QTest::newRow("persian") << true << QByteArray("\xDA\xE4\xE6\xC7\xE4") << QByteArray("\xDA\xE4\xE6\xC7\xE4")
                             << QByteArray("\xDA\xE4");
}

void TestReportLines::printTitleFile()
{
    QFETCH(bool, fileThere);
    QFETCH(QByteArray, onDisk);
    QFETCH(QByteArray, loaded);
    QFETCH(QByteArray, typed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SetExeFolderForTesting(QDir(dir.path()).absolutePath().toStdString() + "/");
    const QString path = dir.filePath("HPrint.txt");
    QCOMPARE(QString::fromStdString(PrintTitlePath()), path);
    if (fileThere) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(onDisk);
    }
    QCOMPARE(bytes(LoadPrintTitle()), loaded);
    QVERIFY(SavePrintTitle(typed.toStdString()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), typed);
}

QTEST_GUILESS_MAIN(TestReportLines)
#include "tst_ReportLines.moc"
