// The table commands on tables held as UTF-8: each gives what it gives for
// the same text in Windows-1256, with Persian and Arabic-Indic digits read
// as digits, and never cuts a character in two.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "table/ClipboardTable.h"
#include "table/ColumnExtract.h"
#include "table/ColumnOrder.h"
#include "table/ColumnSum.h"
#include "table/EditCommands.h"
#include "table/Search.h"
#include "table/TableDocument.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/TextEncoding.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <random>

using namespace rasmik;
using namespace testgrid;

namespace {

// A table file's bytes for rows at '\n' and cells at '|'.
std::string tableBytes(QByteArray text)
{
    text.replace('|', '\t');
    text.replace("\n", "\r\n");
    return b(text + "\r\n");
}

// The UTF-8 text laid out as a UTF-8 table.
CoreGrid utf8Grid(const QByteArray& text)
{
    TableLines lines = TableLines::FromBytes(tableBytes(text));
    lines.setEncoding({TextEncoding::Utf8, false});
    CoreGrid g;
    LayoutGridCells(g, lines, "");
    return g;
}

// The same text laid out as a Windows-1256 table (nearest letters taken).
CoreGrid cp1256Grid(const QByteArray& utf8)
{
    CoreGrid g;
    LayoutGridCells(g, TableLines::FromBytes(tableBytes(w(utf8.constData()))), "");
    return g;
}

bool allValidUtf8(const CoreGrid& g)
{
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < g.ColCount(); ++c)
            if (!IsValidUtf8(g.Cell(c, r)))
                return false;
    return true;
}

// Text in an encoding, with its mark when mark is set.
QByteArray encoded(const QByteArray& utf8, TextEncoding to, bool mark)
{
    std::string out(ByteOrderMarkOf({to, mark}));
    if (to == TextEncoding::Windows1256)
        out += Utf8ToCp1256(b(utf8));
    else
        AppendHeldAs(b(utf8), TextEncoding::Utf8, to, out);
    return q(out);
}

const QByteArray Utf8Mark("\xEF\xBB\xBF");

} // namespace

class TestUtf8Commands : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;
    QTemporaryDir dir_;

    std::string folder() const { return NativePath(dir_.path()) + "/"; }
    std::string file(const char* name) const { return path(dir_, name); }

private slots:
    // ---- search ----
    void matchesAllWords_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("match");
        QTest::newRow("a Persian word") << QByteArray("نام") << QByteArray("نام خانوادگی") << true;
        QTest::newRow("spaces of the text removed") << QByteArray("علیرضا") << QByteArray("علی رضا") << true;
        QTest::newRow("words in any order") << QByteArray("رضا علی") << QByteArray("علی رضا") << true;
        QTest::newRow("Arabic yeh finds Persian yeh") << QByteArray("علي") << QByteArray("علی") << true;
        QTest::newRow("Arabic kaf finds Persian kaf") << QByteArray("ك") << QByteArray("کتاب") << true;
        QTest::newRow("Latin letters fold") << QByteArray("tehran شهر") << QByteArray("شهر TEHRAN") << true;
        QTest::newRow("letters beyond ASCII do not fold") << QByteArray("ÉTÉ") << QByteArray("été") << false;
        QTest::newRow("no-break space is no space") << QByteArray("ab") << QByteArray("a\u00A0b") << false;
        QTest::newRow("part of a word") << QByteArray("شهر") << QByteArray("شهرها") << true;
        QTest::newRow("a letter sharing its last byte") << QByteArray("ن") << QByteArray("چ") << false;
        QTest::newRow("a character beyond the code page") << QByteArray("Ω") << QByteArray("x Ω y") << true;
    }
    void matchesAllWords()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, text);
        QFETCH(bool, match);
        QCOMPARE(MatchesAllWords(b(query), b(text), TextEncoding::Utf8), match);
        // The same text in Windows-1256, where every character has its byte.
        std::string qa;
        std::string ta;
        if (Utf8ToCp1256Exactly(b(query), qa) && Utf8ToCp1256Exactly(b(text), ta))
            QCOMPARE(MatchesAllWords(qa, ta, TextEncoding::Windows1256), match);
    }

    void searchFrom_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("sameInCp1256"); // the Windows-1256 table, ی there as ي, agrees
        QTest::newRow("a city") << QByteArray("تهران") << 1 << 1 << true;
        QTest::newRow("Latin, any case") << QByteArray("shiraz") << 1 << 2 << true;
        QTest::newRow("from a later row") << QByteArray("علی") << 2 << 4 << true;
        QTest::newRow("Persian yeh") << QByteArray("ی") << 1 << 1 << true;
        QTest::newRow("Arabic yeh finds Persian yeh") << QByteArray("ي") << 2 << 4 << true;
        QTest::newRow("two words of one row") << QByteArray("اصفهان زهرا") << 1 << 3 << true;
        QTest::newRow("never across cells") << QByteArray("زهرااصفهان") << 2 << 1 << true;
        QTest::newRow("header row never") << QByteArray("شهر") << 1 << 1 << true;
        QTest::newRow("far down the table") << QByteArray("هدف") << 1 << 2500 << true;
    }
    void searchFrom()
    {
        QFETCH(QByteArray, query);
        QFETCH(int, startRow);
        QFETCH(int, target);
        QFETCH(bool, sameInCp1256);
        QByteArray text("نام|شهر\nعلی|تهران\nReza|Shiraz\nزهرا|اصفهان\nعلیرضا|Tabriz");
        // Enough rows for the search to go through several blocks.
        for (int r = 5; r <= 3000; ++r)
            text += "\nردیف " + QByteArray::number(r) + "|" + (r == 2500 ? "هدف" : "مقدار");
        const CoreGrid g = utf8Grid(text);
        QCOMPARE(g.Encoding(), TextEncoding::Utf8);
        QCOMPARE(SearchFrom(g, b(query), startRow), target);
        if (sameInCp1256)
            QCOMPARE(SearchFrom(cp1256Grid(text), b(w(query.constData())), startRow), target);
    }

    // ---- sum ----
    void sum_data()
    {
        QTest::addColumn<QByteArray>("cells");      // rows of column 1, UTF-8
        QTest::addColumn<QByteArray>("asciiCells"); // the same with ASCII digits
        QTest::addColumn<QString>("shown");
        QTest::newRow("Persian digits, separators, parentheses")
            << QByteArray("۱٬۲۳۴٫۵۰|(۱۰۰)|abc|۱۲") << QByteArray("1,234.50|(100)|abc|12") << "1,146.5";
        QTest::newRow("Arabic-Indic digits") << QByteArray("١٢٣|-٤٥") << QByteArray("123|-45") << "78";
        QTest::newRow("digits of both kinds in one cell") << QByteArray("۱2|3۴") << QByteArray("12|34") << "46";
        QTest::newRow("ASCII comma, Arabic point")
            << QByteArray("۱,۲۳۴|۰٫۲۵") << QByteArray("1,234|0.25") << "1,234.25";
        QTest::newRow("a word after the number adds nothing") << QByteArray("۱۲ ریال|۵") << QByteArray("12 x|5") << "5";
        QTest::newRow("words only") << QByteArray("نام|شهر") << QByteArray("a|b") << "0";
        QTest::newRow("leading spaces") << QByteArray("  ۷|۱") << QByteArray("  7|1") << "8";
        QTest::newRow("exponent") << QByteArray("۱e۳|۲") << QByteArray("1e3|2") << "1,002";
        QTest::newRow("Persian comma is no separator") << QByteArray("۱،۲۳۴|۱") << QByteArray("1x234|1") << "1";
    }
    void sum()
    {
        QFETCH(QByteArray, cells);
        QFETCH(QByteArray, asciiCells);
        QFETCH(QString, shown);
        const auto table = [](const QByteArray& column) {
            QByteArray text;
            for (const auto& c : column.split('|'))
                text += "نام|" + c + "\n";
            text.chop(1);
            return text;
        };
        const CoreGrid g = utf8Grid(table(cells));
        QCOMPARE(QString::fromStdString(FormatGroupedNumber(SumColumn(g, 1))), shown);
        QCOMPARE(SumColumn(g, 1), SumColumn(cp1256Grid(table(asciiCells)), 1));
        QCOMPARE(SumColumn(g, 0), 0.0);
    }

    // ---- editing commands ----
    void simpleNumber_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("Persian digits and separators") << QByteArray("۱٬۲۳۴٫۵۰") << QByteArray("1234.50");
        QTest::newRow("minus") << QByteArray("-۷") << QByteArray("-7");
        QTest::newRow("a unit after") << QByteArray("۱۲ کیلو") << QByteArray("12");
        QTest::newRow("letters only") << QByteArray("نام") << QByteArray("");
        QTest::newRow("accounting parentheses") << QByteArray("(۱,۳۳۶,۰۰۰)") << QByteArray("-1336000");
        QTest::newRow("Arabic-Indic with the decimal point") << QByteArray("١٢٫٥") << QByteArray("12.5");
        QTest::newRow("words around") << QByteArray("ریال ۵۰۰ تومان") << QByteArray("500");
        QTest::newRow("a sign alone") << QByteArray("-ریال") << QByteArray("");
        QTest::newRow("ASCII as it was") << QByteArray("1,234.50") << QByteArray("1234.50");
        QTest::newRow("beyond the code page") << QByteArray("Ω۳😀") << QByteArray("3");
    }
    void simpleNumber()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QByteArray, kept);
        CoreGrid g = utf8Grid("مبلغ ۱|x\n" + cell + "|y");
        g.Col = 0;
        SimpleNumber(g);
        QCOMPARE(gridText(g), QByteArray("مبلغ ۱|x\n") + kept + "|y");
        QVERIFY(allValidUtf8(g));
    }

    void columnAndRowCommands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("blank column") << "blank" << 1 << 1 << QByteArray("نام||کد\nعلی||۱\nزهرا||۲");
        QTest::newRow("shift column") << "shift" << 0 << 1 << QByteArray("شهر|شهر|کد\nتهران|تهران|۱\nقم|قم|۲");
        QTest::newRow("shift the last column") << "shift" << 2 << 1 << QByteArray("نام|شهر|\nعلی|تهران|\nزهرا|قم|");
        QTest::newRow("delete row") << "deleteRow" << 0 << 1 << QByteArray("نام|شهر|کد\nزهرا|قم|۲");
        QTest::newRow("delete column") << "deleteCol" << 1 << 1 << QByteArray("نام|کد\nعلی|۱\nزهرا|۲");
    }
    void columnAndRowCommands()
    {
        QFETCH(QString, command);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(QByteArray, after);
        CoreGrid g = utf8Grid("نام|شهر|کد\nعلی|تهران|۱\nزهرا|قم|۲");
        g.Col = col;
        g.Row = row;
        if (command == "blank")
            BlankColumn(g);
        else if (command == "shift")
            ShiftColumnLeft(g);
        else if (command == "deleteRow")
            QVERIFY(CanDeleteRow(g) && DeleteGridRow(g, g.Row));
        else
            QVERIFY(CanDeleteColumn(g) && DeleteGridColumn(g, g.Col));
        QCOMPARE(gridText(g), after);
        QCOMPARE(g.Encoding(), TextEncoding::Utf8);
    }

    // ---- values and their order ----
    void persianAlphabet()
    {
        const QList<QByteArray> alphabet =
            QByteArray("ا ب پ ت ث ج چ ح خ د ذ ر ز ژ س ش ص ض ط ظ ع غ ف ق ک گ ل م ن و ه ی").split(' ');
        QList<QByteArray> shuffled = alphabet;
        std::mt19937 rng(7);
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        const CoreGrid g = utf8Grid(shuffled.join('\n'));
        QCOMPARE(joined(ColumnValues(g, 0, true, PersianCollator(TextEncoding::Utf8))), alphabet.join('|'));
    }

    void sameOrderAsCp1256()
    {
        // Values that Windows-1256 holds exactly: the UTF-8 order is theirs.
        const QList<QByteArray> values = QByteArray("پدر تاج گل کتاب ژاله زهره چاه جام آب ات کار کارت بـا بت 9 a z "
                                                    "Apple apple -x ة ك ي ى ؤ و ء é e")
                                             .split(' ');
        QByteArray utf8Column;
        QByteArray cp1256Column;
        for (const auto& v : values) {
            std::string held;
            QVERIFY(Utf8ToCp1256Exactly(b(v), held));
            utf8Column += v + "\n";
            cp1256Column += q(held) + "\n";
        }
        utf8Column.chop(1);
        cp1256Column.chop(1);
        CoreGrid byCp1256;
        LayoutGridCells(byCp1256, TableLines::FromBytes(tableBytes(cp1256Column)), "");
        std::vector<std::string> expected;
        for (const auto& v : ColumnValues(byCp1256, 0, true, PersianCollator()))
            expected.push_back(Cp1256ToUtf8(v));
        QCOMPARE(joined(ColumnValues(utf8Grid(utf8Column), 0, true, PersianCollator(TextEncoding::Utf8))),
                 joined(expected));
    }

    void utf8Order_data()
    {
        QTest::addColumn<QByteArray>("column"); // rows, '|' between
        QTest::addColumn<QByteArray>("sorted"); // without repeat
        QTest::newRow("Arabic yeh is Persian yeh: one value")
            << QByteArray("عم|علی|علا|علي") << QByteArray("علا|علی|عم");
        QTest::newRow("Arabic kaf is Persian kaf: one value") << QByteArray("گل|كتاب|کتاب") << QByteArray("كتاب|گل");
        QTest::newRow("Persian digits are digits: one value") << QByteArray("۲|10|۱|1") << QByteArray("۱|10|۲");
        QTest::newRow("symbols, Arabic script, Latin, Greek") << QByteArray("😀|ی|Ω|a") << QByteArray("😀|ی|a|Ω");
        QTest::newRow("Latin case only is one value") << QByteArray("Apple|apple|ب") << QByteArray("ب|Apple");
        QTest::newRow("zero-width non-joiner does not count")
            << QByteArray("می\u200Cب|میا") << QByteArray("میا|می\u200Cب");
        QTest::newRow("presentation forms as their letters") << QByteArray("ﺏ|ا|ت") << QByteArray("ا|ﺏ|ت");
    }
    void utf8Order()
    {
        QFETCH(QByteArray, column);
        QFETCH(QByteArray, sorted);
        const CoreGrid g = utf8Grid(column.replace('|', '\n'));
        const PersianCollator collator(TextEncoding::Utf8);
        QCOMPARE(joined(ColumnValues(g, 0, true, collator)), sorted);
        // compare() sorts the same way as the keys.
        const QList<QByteArray> s = sorted.split('|');
        for (int i = 0; i + 1 < s.size(); ++i)
            QVERIFY(collator.compare(b(s[i]), b(s[i + 1])) < 0);
    }

    void distinctValues()
    {
        const CoreGrid g = utf8Grid("ستون\nعلی\n علي \nعلی\nApple\napple\n \n۱");
        QCOMPARE(joined(DistinctColumnValues(g, 0, PersianCollator(TextEncoding::Utf8))), QByteArray("علی|Apple|۱"));
    }

    void saveCurrentColumn_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::newRow("Windows-1256") << int(TextEncoding::Windows1256) << false;
        QTest::newRow("UTF-8") << int(TextEncoding::Utf8) << false;
        QTest::newRow("UTF-8 with its mark") << int(TextEncoding::Utf8) << true;
        QTest::newRow("UTF-16 LE") << int(TextEncoding::Utf16LE) << true;
        QTest::newRow("UTF-16 BE") << int(TextEncoding::Utf16BE) << true;
    }
    void saveCurrentColumn()
    {
        QFETCH(int, encoding);
        QFETCH(bool, mark);
        const auto as = static_cast<TextEncoding>(encoding);
        // One column: the whole column is the table's file again.
        const QByteArray table("نام\r\nعلی\r\nزهرا\r\nعلی\r\n");
        QVERIFY(Write(file("column.txt"), encoded(table, as, mark)));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(file("column.txt"), target).ok());
        QCOMPARE(doc.encoding(), (FileEncoding{as, mark}));
        QVERIFY(doc.saveCurrentColumn(file("all.txt"), false).ok());
        QCOMPARE(ReadAll(file("all.txt")), encoded(table, as, mark));
        QVERIFY(doc.saveCurrentColumn(file("once.txt"), true).ok());
        QCOMPARE(ReadAll(file("once.txt")), encoded("زهرا\r\nعلی\r\nنام\r\n", as, mark));
    }

    // ---- remembered column orders ----
    void sameKeyInEveryForm_data()
    {
        QTest::addColumn<QByteArray>("header"); // UTF-8
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("Latin") << QByteArray("Name|Id") << QByteArray("4944_4E414D45_");
        QTest::newRow("Persian") << QByteArray("نام|شهر") << QByteArray("D4E5D1_E4C7E3_");
        QTest::newRow("Persian yeh as Arabic yeh, spaces go")
            << QByteArray("کد ملی|نام") << QByteArray("98CFE3E1ED_E4C7E3_");
    }
    void sameKeyInEveryForm()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, key);
        const CoreGrid utf8 = utf8Grid(header + "\nx|y");
        const CoreGrid cp1256 = cp1256Grid(header + "\nx|y");
        QCOMPARE(q(ColumnOrderKey(utf8)), key);
        QCOMPARE(q(ColumnOrderKey(cp1256)), key);
        QCOMPARE(q(ColumnOrderValue(utf8)), q(ColumnOrderValue(cp1256)));
    }

    void unfitHeaderStaysUtf8()
    {
        const CoreGrid g = utf8Grid("Ω|نام\nx|y");
        QCOMPARE(q(ColumnOrderKey(g)), QByteArray("CEA9_E4C7E3_"));
        QCOMPARE(q(ColumnOrderValue(g)), QByteArray("Ω\t") + w("نام") + "\t");
    }

    void orderSharedAcrossEncodings()
    {
        QFile::remove(dir_.filePath("Option.cfg"));
        FixedLayoutTarget target(metrics_, 600);
        {
            QVERIFY(Write(file("a.txt"), w("نام\tکد ملی\tشهر\r\nعلی\t۱۲\tقم\r\n")));
            TableDocument doc;
            doc.loadColumnOrders(file("Option.cfg"));
            QVERIFY(doc.open(file("a.txt"), target).ok());
            QCOMPARE(doc.encoding().encoding, TextEncoding::Windows1256);
            doc.moveColumn(2, 0);
            QVERIFY(doc.saveColumnOrder());
        }
        // The same names in UTF-8, in another order, with the Persian yeh.
        QVERIFY(Write(file("b.txt"), "کد ملی\tشهر\tنام\r\n۳۴\tکرج\tزهرا\r\n"));
        TableDocument doc;
        doc.loadColumnOrders(file("Option.cfg"));
        QVERIFY(doc.open(file("b.txt"), target).ok());
        QCOMPARE(doc.encoding().encoding, TextEncoding::Utf8);
        QCOMPARE(gridText(doc.grid()), QByteArray("شهر|نام|کد ملی\nکرج|زهرا|۳۴"));
    }

    // ---- paste table and the header row ----
    void pasteUtf8()
    {
        QFile::remove(dir_.filePath("ClipTablePasteHdr.txt"));
        const PasteOutcome made =
            TableDocument::writePasteFile("نام\tشهر\nعلی\tکرج\n😀\tx\n", TextEncoding::Utf8, folder());
        QCOMPARE(made.kind, PasteOutcome::Kind::Written);
        // Every letter as copied (ک stays ک); UTF-8 without a mark.
        const QByteArray bytes = ReadAll(made.path);
        QCOMPARE(bytes, QByteArray("Col 1\tCol 2\t\r\nنام\tشهر\t\r\nعلی\tکرج\t\r\n😀\tx\t\r\n"));
        QCOMPARE(DetectEncoding(b(bytes)), (FileEncoding{TextEncoding::Utf8, false}));
    }

    void rememberedHeader_data()
    {
        QTest::addColumn<QByteArray>("headerFile");
        QTest::addColumn<QByteArray>("clipboard");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::newRow("Windows-1256 header, UTF-8 paste")
            << w("نام شهر") << QByteArray("x\ty\nنام\tشهر\n😀\t1") << true << QByteArray("نام\tشهر\t");
        QTest::newRow("Arabic yeh found as Persian yeh")
            << w("علي") << QByteArray("a\tb\nعلی\tΩ") << true << QByteArray("علی\tΩ\t");
        QTest::newRow("UTF-8 header, UTF-8 paste")
            << Utf8Mark + "Ω نام" << QByteArray("a\tb\nنام\tΩ") << true << QByteArray("نام\tΩ\t");
        QTest::newRow("UTF-8 header beyond Windows-1256, Windows-1256 paste")
            << Utf8Mark + "Ω" << w("a\tb\nΩ\tc") << false << QByteArray("Col 1\tCol 2\t");
        QTest::newRow("UTF-8 header that fits, Windows-1256 paste")
            << Utf8Mark + "علی" << w("a\tb\nعلی\tc") << false << w("علی\tc\t");
        QTest::newRow("Latin header folds")
            << QByteArray("Name") << QByteArray("x\t😀\nNAME\tq") << true << QByteArray("NAME\tq\t");
        QTest::newRow("Windows-1256 as ever") << w("نام") << w("x\ty\nنام\tz") << false << w("نام\tz\t");
        QTest::newRow("a mark alone is no header")
            << Utf8Mark << QByteArray("a\tb\nc\tΩ") << true << QByteArray("Col 1\tCol 2\t");
    }
    void rememberedHeader()
    {
        QFETCH(QByteArray, headerFile);
        QFETCH(QByteArray, clipboard);
        QFETCH(bool, utf8);
        QFETCH(QByteArray, firstLine);
        QVERIFY(Write(file("ClipTablePasteHdr.txt"), headerFile));
        const PasteOutcome made = TableDocument::writePasteFile(
            b(clipboard), utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256, folder());
        QCOMPARE(made.kind, PasteOutcome::Kind::Written);
        QCOMPARE(ReadAll(made.path).split('\r').first(), firstLine);
        QFile::remove(dir_.filePath("ClipTablePasteHdr.txt"));
    }

    void headerRow_data()
    {
        QTest::addColumn<QByteArray>("row"); // UTF-8 cells
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("fileBytes");
        QTest::newRow("digits and parentheses go, kept in Windows-1256")
            << QByteArray("۱|نام خانوادگی|مبلغ (ریال)") << QByteArray("نام خانوادگی مبلغ ریال")
            << w("نام خانوادگی مبلغ ریال");
        QTest::newRow("marks, Arabic-Indic digits and yeh barree go")
            << QByteArray("\u200Eنام|شماره ١٢|ے") << QByteArray("نام شماره") << w("نام شماره");
        QTest::newRow("beyond Windows-1256: UTF-8 after its mark")
            << QByteArray("Ω ۲|نام") << QByteArray("Ω نام") << Utf8Mark + "Ω نام";
        QTest::newRow("Arabic separators go with the digits")
            << QByteArray("مبلغ ۱٬۲۳۴٫۵|کل") << QByteArray("مبلغ کل") << w("مبلغ کل");
    }
    void headerRow()
    {
        QFETCH(QByteArray, row);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, fileBytes);
        const CoreGrid g = utf8Grid("x|y|z\n" + row);
        const std::string held = HeaderRowText(g, 1);
        QCOMPARE(q(held), text);
        QCOMPARE(q(HeaderFileText(held, TextEncoding::Utf8)), fileBytes);
    }

    void headerRowSavedAndFound()
    {
        // Saved from a UTF-8 table, found again in UTF-8 and in Windows-1256 pastes.
        QVERIFY(Write(file("h.txt"), "x\ty\tz\r\nردیف\tنام\tشهر\r\n۱\tعلی\t۲\r\n"));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(file("h.txt"), target).ok());
        doc.setCursor(0, 1);
        QVERIFY(doc.saveRowForHeader(folder()));
        QCOMPARE(ReadAll(file("ClipTablePasteHdr.txt")), w("ردیف نام شهر"));
        const PasteOutcome utf8 =
            TableDocument::writePasteFile("a\tb\nردیف\tنام\tشهر\n1\tΩ\t2\n", TextEncoding::Utf8, folder());
        QCOMPARE(ReadAll(utf8.path).split('\r').first(), QByteArray("ردیف\tنام\tشهر\t"));
        const PasteOutcome cp1256 = TableDocument::writePasteFile(b(w("a\tb\nردیف\tنام\tشهر\n1\t2\t3\n")), folder());
        QCOMPARE(ReadAll(cp1256.path).split('\r').first(), w("ردیف\tنام\tشهر\t"));
        QFile::remove(dir_.filePath("ClipTablePasteHdr.txt"));
    }
};

QObject* makeUtf8CommandTests()
{
    return new TestUtf8Commands;
}

#include "test_utf8_commands.moc"
