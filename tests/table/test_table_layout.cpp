// Loading a table's lines into the grid: header block, field cutting,
// cells, column widths.

#include "table/CoreGrid.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QtTest>

using namespace rasmik;

namespace {

// Every byte 7 pixels wide, except 'W' (12); the bound is exact.
class FixedMetrics : public TextMetrics {
public:
    int measured = 0;
    int textWidth(std::string_view t) const override
    {
        ++const_cast<FixedMetrics*>(this)->measured;
        int w = 0;
        for (unsigned char c : t)
            w += byteAdvanceBound(c);
        return w;
    }
    int textHeight(std::string_view) const override { return 16; }
    int byteAdvanceBound(unsigned char b) const override { return b == 'W' ? 12 : 7; }
    int maxByteAdvanceBound() const override { return 12; }
};

std::vector<std::string> Cells(const CoreGrid& g)
{
    std::vector<std::string> out;
    for (int r = 0; r < g.RowCount(); ++r) {
        std::string row;
        for (int c = 0; c < g.ColCount(); ++c)
            row += (c ? "|" : "") + std::string(g.Cell(c, r));
        out.push_back(row);
    }
    return out;
}

QStringList ToList(const std::vector<std::string>& v)
{
    QStringList l;
    for (const auto& s : v)
        l << QString::fromLatin1(s.data(), static_cast<int>(s.size()));
    return l;
}

} // namespace

class TestTableLayout : public QObject {
    Q_OBJECT
private slots:
    void lineSplitting_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("lone LF") << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("empty line inside") << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("NUL ends the text") << QByteArray("a\nb\0c\nd", 7) << QStringList{"a", "b"};
        QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
    }
    void lineSplitting()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const TableLines t = TableLines::FromBytes(bytes.toStdString());
        QCOMPARE(ToList(t.toStrings()), lines);
    }

    // Texts long enough to be read sixteen bytes at a time, their breaks
    // and NULs on each side of a block's edge, beside a byte-by-byte split.
    void linesAcrossBlocks_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray line15(15, 'x');
        const QByteArray line14(14, 'y');
        QTest::newRow("CR LF across a block's edge") << line15 + "\r\n" + line15 + "\r\n" + line14 + "\r\n";
        QTest::newRow("LF at a block's last byte") << line15 + "\n" + line15 + "\n" + "tail";
        QTest::newRow("LF only, first break") << line14 + "\n" + line15 + "\r\n" + line15 + "\n";
        QTest::newRow("lone CR in the second block") << line15 + "\r\n" + line14 + "\rz\r\n" + line15;
        QTest::newRow("lone CR at a block's last byte") << line15 + "\r" + line15 + "\r\n";
        QTest::newRow("CR at the very end") << line15 + "\r\n" + line15 + "x\r";
        QTest::newRow("NUL in the third block") << line15 + "\n" + line15 + "\n" + QByteArray("ab\0cd\nef", 9);
        QTest::newRow("empty lines") << QByteArray("\r\n\r\n\n\n") + line15 + line15 + "\n\n";
        QTest::newRow("no break at all") << line15 + line15 + line15;
    }
    void linesAcrossBlocks()
    {
        QFETCH(QByteArray, bytes);
        // The rule, one byte after the other.
        QStringList expected;
        QByteArray text = bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
        QByteArray firstBreak;
        QByteArray current;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c != '\r' && c != '\n') {
                current += c;
                continue;
            }
            const bool crLf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
            if (firstBreak.isEmpty())
                firstBreak = crLf ? "\r\n" : QByteArray(1, c);
            expected << QString::fromLatin1(current);
            current.clear();
            if (crLf)
                ++i;
        }
        if (!current.isEmpty())
            expected << QString::fromLatin1(current);
        const TableLines t = TableLines::FromBytes(bytes.toStdString());
        QCOMPARE(ToList(t.toStrings()), expected);
        QCOMPARE(QByteArray(t.lineBreak().data(), static_cast<qsizetype>(t.lineBreak().size())),
                 firstBreak.isEmpty() ? QByteArray("\r\n") : firstBreak);
        QCOMPARE(t.lastLineEnded(), text.endsWith('\n') || text.endsWith('\r'));
    }

    void headerBlock_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("found");
        QTest::addColumn<bool>("closeOnKey");
        QTest::addColumn<int>("panels");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("rest");
        QTest::newRow("two panels") << QStringList{"SardoVelam31415926535-1 2", "A", "B", "C", "D", "E", "F", "x\ty"}
                                    << true << true << 2 << QStringList{"A", "B", "C", "D", "E", "F"}
                                    << QStringList{"x\ty"};
        QTest::newRow("count capped at 10") << (QStringList{"SardoVelam31415926535-0 25"} + QStringList(31, "L"))
                                            << true << false << 10 << QStringList(30, "L") << QStringList{"L"};
        QTest::newRow("no count") << QStringList{"SardoVelam31415926535-1", "row"} << true << true << 0 << QStringList()
                                  << QStringList{"row"};
        QTest::newRow("spaces before numbers, junk after")
            << QStringList{"SardoVelam31415926535-   1    1 zz", "a", "b", "c"} << true << true << 1
            << QStringList{"a", "b", "c"} << QStringList();
        QTest::newRow("file ends early") << QStringList{"SardoVelam31415926535-0 2", "a"} << true << false << 2
                                         << QStringList{"a", "", "", "", "", ""} << QStringList();
        QTest::newRow("flag 256 is off") << QStringList{"SardoVelam31415926535-256 0"} << true << false << 0
                                         << QStringList() << QStringList();
        QTest::newRow("negative count") << QStringList{"SardoVelam31415926535-1 -3", "r"} << true << true << -3
                                        << QStringList() << QStringList{"r"};
        QTest::newRow("unreadable numbers")
            << QStringList{"SardoVelam31415926535-x y", "r"} << true << false << 0 << QStringList() << QStringList{"r"};
        QTest::newRow("21 characters") << QStringList{"SardoVelam31415926535", "r"} << false << false << 0
                                       << QStringList() << QStringList{"SardoVelam31415926535", "r"};
        QTest::newRow("other letter case") << QStringList{"sardoVelam31415926535-1 1", "r"} << false << false << 0
                                           << QStringList() << QStringList{"sardoVelam31415926535-1 1", "r"};
        QTest::newRow("magic on second line") << QStringList{"r", "SardoVelam31415926535-1 1"} << false << false << 0
                                              << QStringList() << QStringList{"r", "SardoVelam31415926535-1 1"};
        QTest::newRow("10,000 panels asked for")
            << (QStringList{"SardoVelam31415926535-0 10000"} + QStringList(40, "L")) << true << false << 10
            << QStringList(30, "L") << QStringList(10, "L");
    }
    void headerBlock()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, found);
        QFETCH(bool, closeOnKey);
        QFETCH(int, panels);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, rest);
        std::vector<std::string> v;
        for (const auto& l : lines)
            v.push_back(l.toStdString());
        TableLines t = TableLines::FromLines(v);
        const HeaderBlock h = ReadHeaderBlock(t);
        QCOMPARE(h.found, found);
        if (found)
            QCOMPARE(h.closeOnKey, closeOnKey);
        QCOMPARE(h.panelCount, panels);
        QCOMPARE(ToList(h.labels), labels);
        QCOMPARE(ToList(t.toStrings()), rest);
    }

    void fieldCutting_data()
    {
        QTest::addColumn<QString>("widths");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("tabs") << "" << QByteArray("a\tb\tc") << QStringList{"a", "b", "c"};
        QTest::newRow("trailing tab adds no field") << "" << QByteArray("a\t") << QStringList{"a"};
        QTest::newRow("two trailing tabs") << "" << QByteArray("a\t\t") << QStringList{"a", ""};
        QTest::newRow("leading tab") << "" << QByteArray("\ta") << QStringList{"", "a"};
        QTest::newRow("empty line") << "" << QByteArray() << QStringList();
        QTest::newRow("3 0 2") << "3 0 2" << QByteArray("ab cdXYZ\ttail") << QStringList{"ab", "cdXYZ", "ta", "il"};
        QTest::newRow("4 keeps the tab inside") << "4" << QByteArray("a\tbc\td") << QStringList{"a\tbc", "", "d"};
        QTest::newRow("12.7 means 12") << "12.7" << QByteArray("abcdefghijklmnop")
                                       << QStringList{"abcdefghijkl", "mnop"};
        QTest::newRow("1,200 means 1200") << "1,200" << QByteArray("short\tline") << QStringList{"short\tline"};
        QTest::newRow("(3) is negative: tab field") << "(3)" << QByteArray("abcdef\tg") << QStringList{"abcdef", "g"};
        QTest::newRow("unreadable token") << "abc 2" << QByteArray("x\tyzw") << QStringList{"x", "yz", "w"};
        // 99999999999 wraps to 1215752191 in 32 bits: one field takes the whole line.
        QTest::newRow("huge token wraps")
            << "99999999999 -5 abc" << QByteArray("a\tb\tc\td") << QStringList{"a\tb\tc\td"};
        QTest::newRow("negative and unreadable tokens")
            << "-5 abc" << QByteArray("a\tb\tc") << QStringList{"a", "b", "c"};
        QTest::newRow("fixed field trimmed") << "5 5" << QByteArray("  a    b  ") << QStringList{"a", "b"};
        QTest::newRow("line shorter than width") << "10" << QByteArray("abc") << QStringList{"abc"};
    }
    void fieldCutting()
    {
        QFETCH(QString, widths);
        QFETCH(QByteArray, line);
        QFETCH(QStringList, fields);
        const std::vector<int> w = ParseCellWidths(widths.toStdString());
        std::vector<std::string> got;
        ForEachField(std::string_view(line.constData(), static_cast<std::size_t>(line.size())), w,
                     TextEncoding::Windows1256, [&](std::string_view f) { got.emplace_back(f); });
        QCOMPARE(ToList(got), fields);
        QCOMPARE(CountFields(std::string_view(line.constData(), static_cast<std::size_t>(line.size())), w),
                 fields.size());
        // The owned-string form walks the same fields.
        std::string l = line.toStdString(), lw = widths.toStdString(), f;
        got.clear();
        while (!l.empty()) {
            SplitNextField(l, lw, f);
            got.push_back(f);
        }
        QCOMPARE(ToList(got), fields);
    }

    void gridCells_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("widths");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("empty file: one cell holding a space") << QByteArray() << "" << QStringList{" "};
        QTest::newRow("short lines padded with spaces")
            << QByteArray("a\tb\tc\r\nd\r\n\r\ne\t\tf") << "" << QStringList{"a|b|c", "d| | ", " | | ", "e| |f"};
        QTest::newRow("fixed widths") << QByteArray("ab cdXYZ\ttail\r\n") << "3 0 2" << QStringList{"ab|cdXYZ|ta|il"};
    }
    void gridCells()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, widths);
        QFETCH(QStringList, rows);
        const TableLines t = TableLines::FromBytes(file.toStdString());
        CoreGrid g;
        QVERIFY(LayoutGridCells(g, t, widths.toStdString()));
        QCOMPARE(ToList(Cells(g)), rows);
    }

    void fixedRowAndCursor()
    {
        CoreGrid g;
        LayoutGridCells(g, TableLines::FromBytes("only\r\n"), "");
        FinishLayout(g, {20}, 16);
        QCOMPARE(g.FixedRows(), 0);
        QCOMPARE(g.Row, 0);
        LayoutGridCells(g, TableLines::FromBytes("h\r\nb\r\n"), "");
        FinishLayout(g, {20}, 16);
        QCOMPARE(g.FixedRows(), 1);
        QCOMPARE(g.Row, 1);
        QCOMPARE(g.DefaultRowHeight(), 16);
    }

    void columnWidths_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("gridWidth");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("widest text") << QByteArray("ab\tW\r\nabcd\tx") << 1000 << QList<int>{28, 12};
        QTest::newRow("all spaces: 10 pixels") << QByteArray("a\t\tc\r\nb\t\td") << 1000 << QList<int>{10, 10, 10};
        QTest::newRow("capped at 0.8 x grid width") << QByteArray(200, 'x') << 696 << QList<int>{557};
        QTest::newRow("cap below 10 wins") << QByteArray("x") << 10 << QList<int>{8};
    }
    void columnWidths()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, gridWidth);
        QFETCH(QList<int>, widths);
        CoreGrid g;
        LayoutGridCells(g, TableLines::FromBytes(file.toStdString()), "");
        FixedMetrics m;
        const std::vector<int> w = ComputeColumnWidths(g, m, gridWidth);
        QCOMPARE(QList<int>(w.begin(), w.end()), widths);
    }

    void columnWidthsMeasureOnlyWhatCanWin()
    {
        // 10,000 rows of one repeated text and shorter ones: one measurement.
        std::string file;
        for (int i = 0; i < 10000; ++i)
            file += (i % 2) ? "abcdef\r\n" : "ab\r\n";
        CoreGrid g;
        LayoutGridCells(g, TableLines::FromBytes(file), "");
        FixedMetrics m;
        const std::vector<int> w = ComputeColumnWidths(g, m, 1000);
        QCOMPARE(w.at(0), 42);
        QVERIFY2(m.measured <= 2, qPrintable(QString::number(m.measured)));
    }

    void moveAndDelete()
    {
        CoreGrid g;
        LayoutGridCells(g, TableLines::FromBytes("a\tb\tc\r\n1\t2\t3\r\n"), "");
        FinishLayout(g, {11, 12, 13}, 16);
        g.MoveColumn(0, 2);
        QCOMPARE(ToList(Cells(g)), (QStringList{"b|c|a", "2|3|1"}));
        QCOMPARE(g.ColWidth(2), 11);
        g.MoveColumn(2, 0);
        QCOMPARE(ToList(Cells(g)), (QStringList{"a|b|c", "1|2|3"}));
        g.SetCell(1, 1, "edited");
        g.DeleteColumn(0);
        QCOMPARE(ToList(Cells(g)), (QStringList{"b|c", "edited|3"}));
        QCOMPARE(g.ColWidth(0), 12);
        g.DeleteRow(0);
        QCOMPARE(ToList(Cells(g)), (QStringList{"edited|3"}));
        QCOMPARE(g.FixedRows(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTableLayout)
#include "test_table_layout.moc"
