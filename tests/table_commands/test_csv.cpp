// Comma- and semicolon-separated tables: how they are read (separator,
// quotes, line breaks in fields), saved back in their own form, and kept
// apart from tab-separated ".txt" tables.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/TableDocument.h"
#include "text/TextEncoding.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <utility>
#include <vector>

using namespace rasmik;
using namespace testgrid;

namespace {

// UTF-8 text in encoding, with its mark when mark is set.
QByteArray encoded(const QByteArray& utf8, TextEncoding encoding, bool mark)
{
    std::string out(ByteOrderMarkOf({encoding, mark}));
    if (encoding == TextEncoding::Windows1256)
        out += Utf8ToCp1256(b(utf8));
    else
        AppendHeldAs(b(utf8), TextEncoding::Utf8, encoding, out);
    return q(out);
}

// The grid's cells in UTF-8, a row's cells up to its last that is not fill.
QList<QByteArrayList> cellsOf(const CoreGrid& g)
{
    QList<QByteArrayList> rows;
    for (int r = 0; r < g.RowCount(); ++r) {
        int length = g.ColCount();
        while (length > 0 && g.IsFill(length - 1, r))
            --length;
        QByteArrayList cells;
        for (int c = 0; c < length; ++c) {
            std::string text(g.Cell(c, r));
            if (g.Encoding() == TextEncoding::Windows1256)
                text = Cp1256ToUtf8(text);
            cells << q(text);
        }
        rows << cells;
    }
    return rows;
}

// UTF-8 text in the held form of the document's grid.
std::string held(const TableDocument& doc, const char* utf8)
{
    return doc.grid().Encoding() == TextEncoding::Windows1256 ? Utf8ToCp1256(utf8) : std::string(utf8);
}

// A table of many hard fields, as a spreadsheet program writes it.
const QByteArray Hard = "نام,مبلغ,یادداشت\r\n"
                        "علی,\"1,200,000\",\"گفت \"\"بله\"\"\"\r\n"
                        "\"رضا\",,\"دو\r\nخط\"\r\n"
                        "\"\",\" \",a\"b\r\n"
                        "کوتاه\r\n"
                        "\r\n"
                        "x,y,z,\r\n";

} // namespace

class TestCsv : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

    void openFile(TableDocument& doc, const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
    {
        QVERIFY(Write(dir.filePath(name), bytes));
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, name), target).ok());
    }

private slots:
    void readsFields_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QByteArrayList>>("cells");
        QTest::addColumn<char>("separator");
        using R = QByteArrayList;
        QTest::newRow("hard fields") << QByteArray("t.csv") << Hard
                                     << QList<R>{{"نام", "مبلغ", "یادداشت"},
                                                 {"علی", "1,200,000", "گفت \"بله\""},
                                                 {"رضا", "", "دو\r\nخط"},
                                                 {"", " ", "a\"b"},
                                                 {"کوتاه"},
                                                 {},
                                                 {"x", "y", "z", ""}}
                                     << ',';
        QTest::newRow("semicolons, decimal commas")
            << QByteArray("bank.CSV") << QByteArray("date;amount\n1403/01/02;1,5\n1403/01/03;\"2;5\"\n")
            << QList<R>{{"date", "amount"}, {"1403/01/02", "1,5"}, {"1403/01/03", "2;5"}} << ';';
        QTest::newRow("undecided: comma")
            << QByteArray("one.csv") << QByteArray("a\nb\n") << QList<R>{{"a"}, {"b"}} << ',';
        QTest::newRow("text after the closing quote")
            << QByteArray("t.csv") << QByteArray("\"ab\"cd,e\n") << QList<R>{{"abcd", "e"}} << ',';
        QTest::newRow("quote never closed")
            << QByteArray("t.csv") << QByteArray("a,\"b\nc,d\n") << QList<R>{{"a", "b\nc,d\n"}} << ',';
        QTest::newRow("amounts in a .txt stay one field")
            << QByteArray("t.txt") << QByteArray("a\t1,200,000\n\"q\"\tx\n")
            << QList<R>{{"a", "1,200,000"}, {"\"q\"", "x"}} << '\t';
        QTest::newRow(".tsv: TAB, quotes as they are")
            << QByteArray("t.tsv") << QByteArray("\"a\tb\"\tc\n") << QList<R>{{"\"a", "b\"", "c"}} << '\t';
    }
    void readsFields()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArrayList>, cells);
        QFETCH(char, separator);
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, name.constData(), bytes);
        QCOMPARE(cellsOf(doc.grid()), cells);
        QCOMPARE(doc.form().separator, separator);
        QCOMPARE(doc.lines().unclosedQuote(), QByteArray(QTest::currentDataTag()) == "quote never closed");
    }

    // Opened and saved without an edit, the file comes back byte for byte
    // in every encoding and line break; one edit changes only its line.
    // Enough rows for the layout's two threads; fields that are copies (""
    // inside, text after the closing quote) few or many in a row, and rows
    // past the first lines with more fields than those.
    void readsCopiedFieldsOfLongTables()
    {
        QByteArray file;
        QList<QByteArrayList> cells;
        for (int r = 0; r < 120000; ++r) {
            const QByteArray n = QByteArray::number(r);
            switch (r % 5) {
            case 0:
                file += n + ",\"b\"\"c\"\r\n";
                cells << QByteArrayList{n, "b\"c"};
                break;
            case 1:
                file += "\"" + n + "\"\"\",\"2\"\"\",\"3\"\"\",\"4\"\"\",\"5\"\"\",\"6\"\"\"\r\n";
                cells << QByteArrayList{n + "\"", "2\"", "3\"", "4\"", "5\"", "6\""};
                break;
            case 2:
                file += "\"x\"" + n + ",z\r\n";
                cells << QByteArrayList{"x" + n, "z"};
                break;
            case 3:
                if (r > 5000) {
                    file += "\"p\"\"" + n + "\",r,s,t,u,v,w,\"\"\"\"\"\"\r\n";
                    cells << QByteArrayList{"p\"" + n, "r", "s", "t", "u", "v", "w", "\"\""};
                    break;
                }
                [[fallthrough]];
            default: file += n + ",plain\r\n"; cells << QByteArrayList{n, "plain"};
            }
        }
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, "t.csv", file);
        QCOMPARE(doc.grid().ColCount(), 8);
        QCOMPARE(cellsOf(doc.grid()), cells);
    }

    void savesItsOwnForm_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::addColumn<QByteArray>("lineBreak");
        const struct {
            const char* name;
            TextEncoding encoding;
            bool mark;
        } encodings[] = {{"windows-1256", TextEncoding::Windows1256, false},
                         {"utf-8 mark", TextEncoding::Utf8, true},
                         {"utf-16 le mark", TextEncoding::Utf16LE, true}};
        for (const auto& e : encodings)
            for (const QByteArray& br : {QByteArray("\r\n"), QByteArray("\n")})
                QTest::addRow("%s %s", e.name, br == "\n" ? "LF" : "CR LF") << int(e.encoding) << e.mark << br;
    }
    void savesItsOwnForm()
    {
        QFETCH(int, encoding);
        QFETCH(bool, mark);
        QFETCH(QByteArray, lineBreak);
        QByteArray text = Hard;
        // The break inside the quoted field stays CR LF whatever the lines use.
        text.replace("\r\n", lineBreak).replace("دو" + lineBreak, "دو\r\n");
        const QByteArray file = encoded(text, TextEncoding(encoding), mark);
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, "t.csv", file);
        QCOMPARE(int(doc.encoding().encoding), encoding);
        QVERIFY(doc.save(path(dir, "t.csv"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.csv")), file);

        // A field that now needs quotes gets them; the others stay as written.
        doc.setCell(1, 4, held(doc, "سه, چهار"));
        doc.setCell(0, 1, "ali");
        QVERIFY(doc.save(path(dir, "t.csv"), 0).ok());
        QByteArray edited = text;
        edited.replace("کوتاه" + lineBreak, "کوتاه,\"سه, چهار\"" + lineBreak).replace("علی,", "ali,");
        QCOMPARE(ReadAll(dir.filePath("t.csv")), encoded(edited, TextEncoding(encoding), mark));
        QVERIFY(ReadAll(dir.filePath("t.Bak")) == file);
    }

    // Fields of 1 to 20 bytes with a quote, separator or line break at each
    // place: quoted on save exactly when they need it, in either separator.
    void quotesFieldsByEveryByte()
    {
        const auto needs = [](const QByteArray& t, char sep) {
            return t.contains(sep) || t.contains('"') || t.contains('\r') || t.contains('\n');
        };
        const auto quoted = [](QByteArray t) { return "\"" + t.replace("\"", "\"\"") + "\""; };
        QByteArray file, comma, semicolon;
        std::vector<std::pair<int, QByteArray>> edits;
        int row = 0;
        for (int len = 1; len <= 20; ++len) {
            for (int at = 0; at < len; ++at) {
                for (const char ch : {'"', ';', ',', '\r', '\n'}) {
                    QByteArray text(len, 'x');
                    text[at] = ch;
                    // Written bare in the file where a bare field may hold it.
                    if (ch == ';' || (ch == '"' && at > 0)) {
                        file += "k," + text + "\r\n";
                        comma += "k," + text + "\r\n";
                    } else {
                        file += "k,y\r\n";
                        comma += "k," + (needs(text, ',') ? quoted(text) : text) + "\r\n";
                        edits.emplace_back(row, text);
                    }
                    semicolon += "k;" + (needs(text, ';') ? quoted(text) : text) + "\r\n";
                    ++row;
                }
            }
        }
        QTemporaryDir dir;
        for (const TableForm form : {TableForm{',', true}, TableForm{';', true}}) {
            TableDocument doc;
            openFile(doc, dir, "t.csv", file);
            for (const auto& [r, text] : edits)
                doc.setCell(1, r, text.toStdString());
            QVERIFY(doc.save(path(dir, "out.csv"), 0, {}, std::nullopt, form).ok());
            QCOMPARE(ReadAll(dir.filePath("out.csv")), form.separator == ',' ? comma : semicolon);
        }
    }

    // A tab-separated file cannot hold a cell's TAB or line break: the save
    // names the cell and writes nothing; as CSV the same table saves.
    void tabSaveRefusesBreaksInCells()
    {
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, "t.csv", Hard);
        const FileStatus refused = doc.save(path(dir, "out.txt"), 0);
        QCOMPARE(refused.error().code, FileErrorCode::BreakInCell);
        QCOMPARE(refused.error().row, std::int64_t(2));
        QCOMPARE(refused.error().column, std::int64_t(3));
        QVERIFY(!QFile::exists(dir.filePath("out.txt")));
        QVERIFY(doc.save(path(dir, "out.csv"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("out.csv")), Hard);

        // Without such a cell a CSV table saves as tab-separated text, and a
        // tab-separated table as CSV, quoted where a field needs it.
        doc.setCell(2, 2, "one line");
        QVERIFY(doc.save(path(dir, "out.txt"), 0).ok());
        QVERIFY(ReadAll(dir.filePath("out.txt")).contains("\r\n\t \ta\"b\r\n"));
        TableDocument tabs;
        openFile(tabs, dir, "t.txt", "a,b\tc\"d\r\n\te\r\n");
        QVERIFY(tabs.save(path(dir, "t2.csv"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t2.csv")), QByteArray("\"a,b\",\"c\"\"d\"\r\n,e\r\n"));
        QVERIFY(tabs.save(path(dir, "t3.csv"), 0, {}, std::nullopt, TableForm{';', true}).ok());
        QCOMPARE(ReadAll(dir.filePath("t3.csv")), QByteArray("a,b;\"c\"\"d\"\r\n;e\r\n"));
    }

    // "Reopen As": the same file read with another separator or encoding.
    void reopensWithAnotherForm()
    {
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, "t.txt", "a,b,c\r\n1,2,3\r\n");
        QCOMPARE(doc.grid().ColCount(), 1);
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target, {}, ReadChoice{std::nullopt, CommaForm}).ok());
        QCOMPARE(cellsOf(doc.grid()), (QList<QByteArrayList>{{"a", "b", "c"}, {"1", "2", "3"}}));
        // Saved over itself, it stays comma-separated.
        doc.setCell(1, 1, "x");
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("a,b,c\r\n1,x,3\r\n"));

        QVERIFY(Write(dir.filePath("u.csv"), encoded("نام,شهر\n", TextEncoding::Utf16LE, false)));
        QVERIFY(doc.open(path(dir, "u.csv"), target, {}, ReadChoice{TextEncoding::Utf16LE, std::nullopt}).ok());
        QCOMPARE(cellsOf(doc.grid()), (QList<QByteArrayList>{{"نام", "شهر"}}));
        QCOMPARE(doc.encoding().encoding, TextEncoding::Utf16LE);
    }

    // Pre/Next File walks the tables of the open one's kind.
    void walksTablesOfItsKind()
    {
        QTemporaryDir dir;
        for (const char* name : {"a.txt", "b.csv", "c.TXT", "d.CSV", "e.tsv"})
            QVERIFY(Write(dir.filePath(name), "x\r\n"));
        TableDocument doc;
        openFile(doc, dir, "b.csv", "x\r\n");
        QCOMPARE(doc.folderFiles().size(), std::size_t(2));
        QCOMPARE(doc.neighbourFile(1), path(dir, "d.CSV"));
        openFile(doc, dir, "a.txt", "x\r\n");
        QCOMPARE(doc.neighbourFile(1), path(dir, "c.TXT"));
    }

    // A quoted field of 100 MB (commas, quotes and line breaks inside) opens
    // as one cell, with the reading reported as it goes, and saves back whole.
    void hugeQuotedField()
    {
        QByteArray piece = "word, \"\"quoted\"\"\r\n";
        piece += QByteArray(1000 - piece.size(), 'x');
        QByteArray field;
        field.reserve(100 * 1000 * 1000 + 2);
        field += '"';
        for (int i = 0; i < 100 * 1000; ++i)
            field += piece;
        field += '"';
        const QByteArray file = "a,b\n1," + field + "\n2,3\n";
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.csv"), file));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        std::uint64_t lastRead = 0;
        int reports = 0;
        const LoadProgressFn progress = [&](LoadStage stage, std::uint64_t done, std::uint64_t) {
            if (stage == LoadStage::Reading) {
                lastRead = done;
                ++reports;
            }
            return true;
        };
        QVERIFY(doc.open(path(dir, "t.csv"), target, progress).ok());
        QVERIFY(reports > 0);
        QVERIFY(lastRead >= std::uint64_t(field.size()));
        QCOMPARE(doc.grid().RowCount(), 3);
        const std::string_view cell = doc.grid().Cell(1, 1);
        // Each piece loses one quote of each of its two pairs.
        QCOMPARE(cell.size(), std::size_t(100 * 1000 * (1000 - 2)));
        QVERIFY(cell.substr(0, 23) == "word, \"quoted\"\r\nxxxxxxx");
        QCOMPARE(doc.grid().Cell(1, 2), std::string_view("3"));
        QVERIFY(doc.save(path(dir, "t.csv"), 0).ok());
        QVERIFY(ReadAll(dir.filePath("t.csv")) == file);

        // Cancelled at the first report, the open leaves the table as it was.
        const LoadProgressFn cancel = [](LoadStage, std::uint64_t, std::uint64_t) { return false; };
        QCOMPARE(doc.open(path(dir, "t.csv"), target, cancel).error().code, FileErrorCode::Cancelled);
        QCOMPARE(doc.grid().RowCount(), 3);
    }

    // A comma-separated table has no fixed widths.
    void fixCellSizeLeavesCsvAlone()
    {
        QTemporaryDir dir;
        TableDocument doc;
        openFile(doc, dir, "t.csv", "ab,cd\r\n");
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(!doc.fixCellSize("1 1", target));
        QCOMPARE(cellsOf(doc.grid()), (QList<QByteArrayList>{{"ab", "cd"}}));
        QVERIFY(!QFile::exists(dir.filePath("t.cfg")));
    }
};

QObject* makeCsvTests()
{
    return new TestCsv;
}

#include "test_csv.moc"
