// The style record of a grid cell: the texts built for the grid, the choice
// of the alignment letters, and reading a record back.

#include "render/CellStyle.h"

#include <QtTest>

#include <string>

using namespace rasmik;

namespace {

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TestCellStyle : public QObject {
    Q_OBJECT
private slots:
    void recordsForTheGrid_data();
    void recordsForTheGrid();
    void alignmentLetters_data();
    void alignmentLetters();
    void utf8AlignmentLetters_data();
    void utf8AlignmentLetters();
    void alignFromLetters_data();
    void alignFromLetters();
    void buildCellStyleArguments();
    void columnColoursCycle();
    void readBack_data();
    void readBack();
    void unreadable_data();
    void unreadable();
    void allCharsIn();
};

void TestCellStyle::recordsForTheGrid_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("record");
    // Windows-1256: D3 E1 C7 E3 is a Persian word, FD the left-to-right mark.
    QTest::newRow("header, Persian") << 4 << 0 << QByteArray("\xD3\xE1\xC7\xE3")
                                     << QByteArray("16777215,255,255,255,255,2,0,0,");
    QTest::newRow("header, digits") << 0 << 0 << QByteArray("123") << QByteArray("16777215,255,255,255,255,2,0,0,");
    QTest::newRow("row 5 col 3 Persian") << 3 << 5 << QByteArray("\xD3\xE1\xC7\xE3")
                                         << QByteArray("16711680,16777215,16775923,6998782,65535,1,0,0,");
    QTest::newRow("row 2 col 8 digits") << 8 << 2 << QByteArray("2024")
                                        << QByteArray("0,16777215,16775923,6998782,65535,0,0,0,");
    QTest::newRow("row 1 col 1 mark then Persian")
        << 1 << 1 << QByteArray("\xFD\xD3\xE1\xC7\xE3") << QByteArray("255,16777215,16775923,6998782,65535,0,0,0,");
    QTest::newRow("empty text is plain") << 2 << 3 << QByteArray("")
                                         << QByteArray("32768,16777215,16775923,6998782,65535,0,0,0,");
    QTest::newRow("ASCII with one Persian letter")
        << 6 << 4 << QByteArray("Total \xE3 2") << QByteArray("16711935,16777215,16775923,6998782,65535,1,0,0,");
    QTest::newRow("euro sign counts as plain")
        << 7 << 9 << QByteArray("\x80 100") << QByteArray("32896,16777215,16775923,6998782,65535,0,0,0,");
    QTest::newRow("0x81 is Persian") << 5 << 9 << QByteArray("\x81")
                                     << QByteArray("8388608,16777215,16775923,6998782,65535,1,0,0,");
    QTest::newRow("column 12 cycles to maroon")
        << 12 << 1 << QByteArray("x") << QByteArray("128,16777215,16775923,6998782,65535,0,0,0,");
}

// What the draw handler does for every cell: letters from the text, record
// from column, row and letters.
void TestCellStyle::recordsForTheGrid()
{
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, record);
    const std::string letters = AlignmentLettersFor(std::string_view(text.constData(), text.size()), 13);
    QCOMPARE(bytes(BuildCellStyle(col, row, letters)), record);
}

void TestCellStyle::alignmentLetters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("colCount");
    QTest::addColumn<QByteArray>("letters");
    QTest::newRow("digits") << QByteArray("12.5") << 4 << QByteArray("llll");
    QTest::newRow("Latin") << QByteArray("Tehran") << 2 << QByteArray("ll");
    QTest::newRow("empty") << QByteArray("") << 3 << QByteArray("lll");
    QTest::newRow("control bytes") << QByteArray("\x01\x7f", 2) << 1 << QByteArray("l");
    QTest::newRow("euro") << QByteArray("\x80") << 2 << QByteArray("ll");
    QTest::newRow("Persian") << QByteArray("\xD3\xE1\xC7\xE3") << 3 << QByteArray("");
    QTest::newRow("one Persian letter") << QByteArray("abc\xE3xyz") << 3 << QByteArray("");
    QTest::newRow("mark first") << QByteArray("\xFD\xD3\xE1") << 2 << QByteArray("ll");
    QTest::newRow("mark not first") << QByteArray("\xD3\xFD") << 2 << QByteArray("");
    QTest::newRow("no columns") << QByteArray("1") << 0 << QByteArray("");
}

void TestCellStyle::alignmentLetters()
{
    QFETCH(QByteArray, text);
    QFETCH(int, colCount);
    QFETCH(QByteArray, letters);
    QCOMPARE(bytes(AlignmentLettersFor(std::string_view(text.constData(), text.size()), colCount)), letters);
}

// Held UTF-8 goes by characters: a Persian letter's bytes are never taken
// one by one, Persian digits are digits.
void TestCellStyle::utf8AlignmentLetters_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("letters");
    QTest::newRow("Latin") << QByteArray("Tehran") << QByteArray("ll");
    QTest::newRow("Persian digits") << QByteArray("۱۲۳٫۵") << QByteArray("ll");
    QTest::newRow("Arabic-Indic digits") << QByteArray("١٬٢٣٤") << QByteArray("ll");
    QTest::newRow("euro") << QByteArray("€ 5") << QByteArray("ll");
    QTest::newRow("Persian with yeh") << QByteArray("کتابی") << QByteArray("");
    QTest::newRow("Persian digits in a phrase") << QByteArray("پلاک ۱۲") << QByteArray("");
    QTest::newRow("mark first") << QByteArray("\xE2\x80\x8E"
                                              "کتاب")
                                << QByteArray("ll");
    QTest::newRow("mark not first") << QByteArray("ک\xE2\x80\x8E") << QByteArray("");
    // The Windows-1256 mark byte is no character of UTF-8.
    QTest::newRow("byte FD first") << QByteArray("\xFDک") << QByteArray("");
    QTest::newRow("Latin letter beyond ASCII") << QByteArray("café") << QByteArray("");
}

void TestCellStyle::utf8AlignmentLetters()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, letters);
    QCOMPARE(QByteArray::fromStdString(AlignmentLettersFor(text.toStdString(), 2, TextEncoding::Utf8)), letters);
}

void TestCellStyle::alignFromLetters_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("align");
    // Letters "xCl": column 1 centre, column 2 start, the rest end.
    QTest::newRow("col 0 x") << 0 << AlignEnd;
    QTest::newRow("col 1 C") << 1 << AlignCentre;
    QTest::newRow("col 2 l") << 2 << AlignStart;
    QTest::newRow("col 3 none") << 3 << AlignEnd;
    QTest::newRow("col 9 none") << 9 << AlignEnd;
}

void TestCellStyle::alignFromLetters()
{
    QFETCH(int, col);
    QFETCH(int, align);
    QCOMPARE(AlignFromLetters("xCl", col), align);
    // The record carries the same alignment in field 6.
    const auto style = ParseCellStyle(BuildCellStyle(col, 3, "xCl"));
    QVERIFY(style);
    QCOMPARE(style->align, align);
    // Lower- and upper-case letters mean the same.
    QCOMPARE(AlignFromLetters("XcL", col), align);
}

void TestCellStyle::buildCellStyleArguments()
{
    // Style bits keep their low four bits: 17 is bold only.
    QCOMPARE(bytes(BuildCellStyle(0, 2, "", -1, 17)), QByteArray("0,16777215,16775923,6998782,65535,1,1,0,"));
    // Row backgrounds given, size and font name given.
    QCOMPARE(bytes(BuildCellStyle(1, 2, "xC", 100, 3, 12, "Tahoma", 200)),
             QByteArray("255,200,100,6998782,65535,2,3,12,Tahoma"));
    // Row 0 ignores the backgrounds and the letters but keeps the font fields.
    QCOMPARE(bytes(BuildCellStyle(1, 0, "lll", 100, 2, 9, "Arial", 200)),
             QByteArray("16777215,255,255,255,255,2,2,9,Arial"));
    // Negative values are written with their sign.
    QCOMPARE(bytes(FormatCellStyle(-1, -2147483647 - 1, 0, 0, 0, 0, -1, -8, "")),
             QByteArray("-1,-2147483648,0,0,0,0,15,-8,"));
}

void TestCellStyle::columnColoursCycle()
{
    const std::int32_t expected[8][3] = {{0, 0, 0},   {255, 0, 0}, {0, 128, 0},   {0, 0, 255},
                                         {128, 0, 0}, {0, 0, 128}, {255, 0, 255}, {128, 128, 0}};
    for (int col = 0; col < 24; ++col) {
        const auto style = ParseCellStyle(BuildCellStyle(col, 1, ""));
        QVERIFY(style);
        const auto* rgb = expected[col % 8];
        QCOMPARE(ColourRed(style->fontColour), rgb[0]);
        QCOMPARE(ColourGreen(style->fontColour), rgb[1]);
        QCOMPARE(ColourBlue(style->fontColour), rgb[2]);
    }
}

void TestCellStyle::readBack_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QByteArray>("fontName");
    QTest::newRow("header") << QByteArray("16777215,255,255,255,255,2,0,0,")
                            << QList<int>{16777215, 255, 255, 255, 255, 2, 0, 0} << QByteArray();
    QTest::newRow("font name with commas") << QByteArray("1,2,3,4,5,0,1,10,Name, with, commas,")
                                           << QList<int>{1, 2, 3, 4, 5, 0, 1, 10} << QByteArray("Name, with, commas,");
    QTest::newRow("signs") << QByteArray("-5,+6,0,0,0,1,0,-2147483648,x")
                           << QList<int>{-5, 6, 0, 0, 0, 1, 0, -2147483647 - 1} << QByteArray("x");
    QTest::newRow("style bits beyond four kept as read")
        << QByteArray("0,0,0,0,0,0,31,0,") << QList<int>{0, 0, 0, 0, 0, 0, 31, 0} << QByteArray();
}

void TestCellStyle::readBack()
{
    QFETCH(QByteArray, record);
    QFETCH(QList<int>, fields);
    QFETCH(QByteArray, fontName);
    const auto style = ParseCellStyle(std::string_view(record.constData(), record.size()));
    QVERIFY(style);
    const QList<int> read{
        style->fontColour,          style->evenRowBack, style->oddRowBack, style->selectedBackUnfocused,
        style->selectedBackFocused, style->align,       style->styleBits,  style->fontSize};
    QCOMPARE(read, fields);
    QCOMPARE(bytes(style->fontName), fontName);
}

void TestCellStyle::unreadable_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("seven commas") << QByteArray("16777215,255,255,255,255,2,0,0");
    QTest::newRow("no commas") << QByteArray("16777215");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("letter in field 1") << QByteArray("1a,0,0,0,0,0,0,0,");
    QTest::newRow("letter in field 8") << QByteArray("0,0,0,0,0,0,0,x,");
    QTest::newRow("empty field 4") << QByteArray("0,0,0,,0,0,0,0,");
    QTest::newRow("space in a field") << QByteArray("0,0, 1,0,0,0,0,0,");
    QTest::newRow("sign alone") << QByteArray("-,0,0,0,0,0,0,0,");
    QTest::newRow("beyond 32 bits") << QByteArray("2147483648,0,0,0,0,0,0,0,");
    QTest::newRow("far beyond 32 bits") << QByteArray("99999999999999999999999,0,0,0,0,0,0,0,");
}

void TestCellStyle::unreadable()
{
    QFETCH(QByteArray, record);
    QVERIFY(!ParseCellStyle(std::string_view(record.constData(), record.size())));
}

void TestCellStyle::allCharsIn()
{
    CharSet digits;
    for (char c = '0'; c <= '9'; ++c)
        digits.set(static_cast<unsigned char>(c));
    QVERIFY(AllCharsIn("", digits));
    QVERIFY(AllCharsIn("0123456789", digits));
    QVERIFY(!AllCharsIn("12a", digits));
    QVERIFY(!AllCharsIn(std::string_view("1\0", 2), digits));
    CharSet high;
    high.set(0xFF);
    QVERIFY(AllCharsIn("\xFF\xFF", high));
}

QTEST_APPLESS_MAIN(TestCellStyle)
#include "tst_CellStyle.moc"
