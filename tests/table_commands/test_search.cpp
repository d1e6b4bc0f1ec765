// The word test and the row search.
#include "GridHelpers.h"

#include "table/Search.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/Cp1256.h"

#include <QObject>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

namespace {

// The text a grid row is tested against: every cell followed by CR LF.
QByteArray rowText(const QByteArray& cells)
{
    QByteArray out;
    for (const auto& c : cells.split('|'))
        out += c + "\r\n";
    return out;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT
private slots:
    void matchesAllWords_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("match");
        QTest::newRow("words in any cell, case folded")
            << QByteArray("red box") << rowText("12|Box|Redwood Co") << true;
        QTest::newRow("spaces removed from the text") << QByteArray("ab") << rowText("a b") << true;
        QTest::newRow("not across two cells") << QByteArray("ab") << rowText("a|b") << false;
        QTest::newRow("empty query") << QByteArray("") << rowText("x") << false;
        QTest::newRow("query of spaces") << QByteArray("   ") << rowText("x") << true;
        QTest::newRow("query of spaces, empty text") << QByteArray(" ") << QByteArray() << true;
        QTest::newRow("one word missing") << QByteArray("red car") << rowText("red|box") << false;
        QTest::newRow("order free") << QByteArray("box red") << rowText("red box") << true;
        QTest::newRow("overlapping words") << QByteArray("ab bc") << QByteArray("abc") << true;
        QTest::newRow("one occurrence serves two words") << QByteArray("ab ab") << QByteArray("ab") << true;
        QTest::newRow("runs of spaces in the query") << QByteArray("  red    box ") << QByteArray("boxred") << true;
        QTest::newRow("tab is not a space") << QByteArray("ab") << QByteArray("a\tb") << false;
        QTest::newRow("query word with a space removed")
            << QByteArray("FirstName") << QByteArray("First Name\t") << true;
        QTest::newRow("Persian and Arabic kaf alike") << w("كتاب") << w("کتاب") << true;
        QTest::newRow("Persian bytes compared as they are") << w("علی رضا") << rowText(w("رضا|علی")) << true;
        QTest::newRow("upper-case query, lower text") << QByteArray("NAME") << QByteArray("name") << true;
        QTest::newRow("high bytes not folded") << QByteArray("\xE9") << QByteArray("\xC9") << false;
        QTest::newRow("long text folded")
            << QByteArray("YZ{| MNOP") << QByteArray("yz{|abcdefghijklmnopqrstuvwxyz") << true;
        QTest::newRow("neighbours of the letters unchanged")
            << QByteArray("@[`{") << QByteArray("@[`{@[`{@[`{") << true;
        QTest::newRow("neighbours not folded") << QByteArray("@@") << QByteArray("````````````") << false;
        QTest::newRow("letters plus 128 not folded")
            << QByteArray("\xC1") << QByteArray("\xE1\xE1\xE1\xE1\xE1\xE1\xE1\xE1\xE1") << false;
        QTest::newRow("spaces inside long text")
            << QByteArray("helloworldagain") << QByteArray("Hello World  Again, and more") << true;
    }
    void matchesAllWords()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, text);
        QFETCH(bool, match);
        QCOMPARE(MatchesAllWords(b(query), b(text)), match);
    }

    void searchFrom_data()
    {
        QTest::addColumn<QByteArray>("grid");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("target");
        const QByteArray g("Name|City\nali|Tehran\nreza|Shiraz\nALI|Shiraz\nzahra|Tabriz");
        QTest::newRow("first match from row 1") << g << QByteArray("ali") << 3 << 1 << 1;
        QTest::newRow("two words") << g << QByteArray("shiraz ali") << 1 << 1 << 3;
        QTest::newRow("again from below the cursor") << g << QByteArray("ali") << 1 << 2 << 3;
        QTest::newRow("none below: row 1") << g << QByteArray("ali") << 3 << 4 << 1;
        QTest::newRow("only in row 0: row 1") << g << QByteArray("city") << 2 << 1 << 1;
        QTest::newRow("start past the end: row 1") << g << QByteArray("ali") << 4 << 5 << 1;
        QTest::newRow("start before row 1 never tests row 0") << g << QByteArray("name") << 2 << 0 << 1;
        QTest::newRow("spaces match the start row") << g << QByteArray("  ") << 1 << 3 << 3;
        QTest::newRow("empty query: cursor stays") << g << QByteArray("") << 3 << 1 << 3;
        QTest::newRow("one-row table: cursor stays") << QByteArray("ali|x") << QByteArray("ali") << 0 << 1 << 0;
        QTest::newRow("word with line break reaches across cells")
            << QByteArray("h\nx|a\nb|c\na|b") << QByteArray("a\r\nb") << 1 << 1 << 3;
    }
    void searchFrom()
    {
        QFETCH(QByteArray, grid);
        QFETCH(QByteArray, query);
        QFETCH(int, cursor);
        QFETCH(int, startRow);
        QFETCH(int, target);
        CoreGrid g = makeGrid(grid);
        g.Row = cursor;
        QCOMPARE(SearchFrom(g, b(query), startRow), target);
    }

    // Cells laid out from a file are views into one buffer; the words must
    // still be found inside one cell only.
    void searchLaidOutTable_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("widths");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("target");
        const QByteArray f("h\tx\r\nab\tcd\r\nx\tab cd\r\nab\r\ncd\tq\r\n");
        QTest::newRow("not across cells") << f << QByteArray() << QByteArray("bc") << 2;
        QTest::newRow("words of one row only") << f << QByteArray() << QByteArray("ab q") << 1;
        QTest::newRow("second word in a later cell") << f << QByteArray() << QByteArray("q cd") << 4;
        QTest::newRow("empty fields between")
            << QByteArray("h\r\n\t\tzz w\r\n") << QByteArray() << QByteArray("zzw") << 1;
        QTest::newRow("padded short line")
            << QByteArray("a\tb\tc\r\nx\r\ny\tk\tm\r\n") << QByteArray() << QByteArray("k m") << 2;
        QTest::newRow("tab kept inside a fixed-width cell")
            << QByteArray("h\r\na\tbc\td\r\nabc\r\n") << QByteArray("4") << QByteArray("abc") << 2;
        QTest::newRow("fixed-width cells side by side")
            << QByteArray("h\r\nabcdef\r\nxbcdey\r\n") << QByteArray("3 3") << QByteArray("cd") << 1;
        QTest::newRow("line break in a word, exact row text") << f << QByteArray() << QByteArray("ab\r\ncd") << 1;
        QTest::newRow("line break in a word, found") << f << QByteArray() << QByteArray("x\r\nabcd") << 2;
    }
    void searchLaidOutTable()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, widths);
        QFETCH(QByteArray, query);
        QFETCH(int, target);
        CoreGrid g;
        LayoutGridCells(g, TableLines::FromBytes(b(file)), b(widths));
        QCOMPARE(SearchFrom(g, b(query), 1), target);
    }

    // Large enough for the block-wise and two-thread scan: the first match
    // from the start row must still win wherever the matches lie.
    void searchLargeTable_data()
    {
        QTest::addColumn<QList<int>>("partial"); // rows holding the lead word only
        QTest::addColumn<QList<int>>("full");    // rows holding both words
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("target");
        QTest::newRow("none") << QList<int>{5, 299999} << QList<int>{} << 1 << 1;
        QTest::newRow("first half") << QList<int>{10} << QList<int>{1000, 250000} << 1 << 1000;
        QTest::newRow("second half only") << QList<int>{1000} << QList<int>{200001, 290000} << 1 << 200001;
        QTest::newRow("both halves, first wins") << QList<int>{} << QList<int>{149999, 150000} << 1 << 149999;
        QTest::newRow("partial before full in one block") << QList<int>{70, 71} << QList<int>{72} << 1 << 72;
        QTest::newRow("last row") << QList<int>{} << QList<int>{299999} << 1 << 299999;
        QTest::newRow("matches above the start skipped")
            << QList<int>{} << QList<int>{50, 100, 200000} << 101 << 200000;
    }
    void searchLargeTable()
    {
        QFETCH(QList<int>, partial);
        QFETCH(QList<int>, full);
        QFETCH(int, startRow);
        QFETCH(int, target);
        CoreGrid g;
        const int rows = 300000;
        g.Reset(3, rows);
        for (int r = 0; r < rows; ++r) {
            g.SetCell(0, r, std::to_string(r));
            g.SetCell(1, r, "some text in a cell");
            g.SetCell(2, r, "x");
        }
        for (int r : partial)
            g.SetCell(1, r, "the longerword here");
        for (int r : full) {
            g.SetCell(1, r, "the longer word");
            g.SetCell(2, r, "Key");
        }
        QCOMPARE(SearchFrom(g, "LONGERWORD key", startRow), target);
    }

    // Filter's rows on a table large enough for two threads, laid out from
    // its bytes with some cells edited: the same rows as testing each row's
    // text on its own.
    void matchingRowsLargeTable_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("one word") << QByteArray("red");
        QTest::newRow("two words, any cells") << QByteArray("RED box");
        QTest::newRow("word with its space removed") << QByteArray("bluesky");
        QTest::newRow("not across cells") << QByteArray("3red");
        QTest::newRow("edited cells only") << QByteArray("edited");
        QTest::newRow("no row") << QByteArray("nowhere");
    }
    void matchingRowsLargeTable()
    {
        QFETCH(QByteArray, query);
        const char* const words[] = {"red", "Box", "blue sky", "green", "redbox", "", "Red Box"};
        std::string file = "A\tB\tC\r\n";
        unsigned seed = 1400;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
        constexpr int Rows = 150'001;
        for (int r = 1; r < Rows; ++r) {
            file += std::to_string(r);
            for (int c = 0; c < 2; ++c)
                file += std::string("\t") + words[next() % std::size(words)];
            file += "\r\n";
        }
        CoreGrid g;
        QVERIFY(LayoutGridCells(g, TableLines::FromBytes(file), ""));
        for (int r = 7; r < Rows; r += 9973)
            g.SetCell(1, r, "edited red");
        std::vector<int> expected;
        for (int r = 1; r < Rows; ++r) {
            QByteArray text;
            for (int c = 0; c < g.ColCount(); ++c)
                text += q(std::string(g.Cell(c, r))) + "\r\n";
            if (MatchesAllWords(b(query), b(text)))
                expected.push_back(r);
        }
        QCOMPARE(MatchingRows(g, b(query)), expected);
    }

    // Search and Filter as people type: a table laid out from its bytes,
    // large enough for the block-wise scan on two threads, in both held
    // forms. The rows written with the other forms of yeh, kaf and the
    // digits, with a non-joiner or tatweel, are found.
    void searchAsTyped_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QByteArray>("query"); // UTF-8; the Windows-1256 table gets its nearest letters
        QTest::addColumn<QList<int>>("rows");
        for (const bool utf8 : {false, true}) {
            const auto row = [utf8](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QString(name) + (utf8 ? " / UTF-8" : " / Windows-1256")));
            };
            row("Persian yeh") << utf8 << QByteArray("علی") << QList<int>{70, 90000};
            row("Arabic yeh") << utf8 << QByteArray("علي") << QList<int>{70, 90000};
            row("non-joiner in the table") << utf8 << QByteArray("علیرضا") << QList<int>{70};
            row("Arabic kaf") << utf8 << QByteArray("كتاب") << QList<int>{70, 90000};
            row("tatweel in the query, two words") << utf8 << QByteArray("کـتاب  علي") << QList<int>{70, 90000};
            row("ASCII digits") << utf8 << QByteArray("123") << QList<int>{90000, 149999};
            row("Persian digits") << utf8 << QByteArray("۱۲۳") << QList<int>{90000, 149999};
            row("non-joiner in the query") << utf8 << QByteArray("پرداخت\u200Cشده ١٢٣") << QList<int>{149999};
            row("not across cells") << utf8 << QByteArray("رضاکتاب") << QList<int>{};
            row("spaces of the table dropped") << utf8 << QByteArray("كتاب۱۲۳") << QList<int>{90000};
        }
    }
    void searchAsTyped()
    {
        QFETCH(bool, utf8);
        QFETCH(QByteArray, query);
        QFETCH(QList<int>, rows);
        constexpr int Rows = 150'001;
        std::string file = "نام\tکالا\r\n";
        for (int r = 1; r < Rows; ++r) {
            if (r == 70)
                file += "علی\u200Cرضا\tکتاب\r\n";
            else if (r == 90000)
                file += "عـلي\tكتاب ۱۲۳\r\n";
            else if (r == 149999)
                file += "پرداخت\u200Cشده\t١٢٣\r\n";
            else
                file += "ردیف\tمقدار کالا\r\n";
        }
        const auto inForm = [utf8](const std::string& text) { return utf8 ? text : Utf8ToCp1256(text); };
        TableLines lines = TableLines::FromBytes(inForm(file));
        if (utf8)
            lines.setEncoding({TextEncoding::Utf8, false});
        CoreGrid g;
        QVERIFY(LayoutGridCells(g, lines, ""));
        QCOMPARE(g.Encoding(), utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256);
        const std::string typed = inForm(b(query));
        QCOMPARE(SearchFrom(g, typed, 1), rows.isEmpty() ? 1 : rows.front());
        QCOMPARE(MatchingRows(g, typed), std::vector<int>(rows.begin(), rows.end()));
    }
};

QObject* makeSearchTests()
{
    return new TestSearch;
}

#include "test_search.moc"
