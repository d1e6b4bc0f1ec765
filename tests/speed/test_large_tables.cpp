// Large tables are laid out on two threads and keep their cells in four
// bytes each; the cells must be the fields of the lines all the same, also
// for long cells, long lines and lines with more fields than those before.

#include "common/TestFiles.h"
#include "table/ColumnSum.h"
#include "table/CoreGrid.h"
#include "table/SaveLines.h"
#include "table/Search.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

using namespace rasmik;

namespace {

// The fields of a line cut at TABs, the plain way.
std::vector<std::string> TabFields(const std::string& line)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string::npos) {
            out.push_back(line.substr(start));
            break;
        }
        out.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    return out;
}

// Long lines only at every "every"-th row; plain ones elsewhere.
std::string LineOf(int r, int every)
{
    if ((r % 7 == 1 || r % 7 == 2) && r % every != 0)
        return "plain\t" + std::to_string(r);
    switch (r % 7) {
    case 0: return "a" + std::to_string(r) + "\tb\t\tc";
    case 1: return std::string(3000, 'x') + "\tshort";         // a cell longer than a view holds
    case 2: return std::string(1100000, 'y') + "\tfar\tcells"; // cells beyond the first megabyte
    case 3: return "";
    case 4: return "one";
    case 5: return "\t\t\t";
    default: return "p\tq\tr\ts";
    }
}

} // namespace

class TestLargeTables : public QObject {
    Q_OBJECT
private slots:
    void cellsAreTheFields_data();
    void cellsAreTheFields();
    void moreFieldsLaterAddColumns();
    void editsAfterLayout();
    void savedInPieces();
    void cancelledSaveKeepsFiles();
    void sumInRowOrder();
    void searchOverEmptyFields_data();
    void searchOverEmptyFields();
};

void TestLargeTables::cellsAreTheFields_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("every"); // how often a long line comes
    QTest::newRow("few lines, one thread") << 40 << 1;
    QTest::newRow("many lines, two threads") << 150000 << 4998;
}

void TestLargeTables::cellsAreTheFields()
{
    QFETCH(int, rows);
    QFETCH(int, every);
    std::vector<std::string> lines;
    for (int r = 0; r < rows; ++r)
        lines.push_back(LineOf(r, every));
    std::string bytes;
    for (const auto& l : lines)
        bytes += l + "\r\n";
    const TableLines t = TableLines::FromBytes(bytes);
    QCOMPARE(t.size(), lines.size());
    CoreGrid grid;
    QVERIFY(LayoutGridCells(grid, t, ""));
    QCOMPARE(grid.RowCount(), rows);
    std::size_t most = 1;
    for (const auto& l : lines)
        most = std::max(most, TabFields(l).size());
    QCOMPARE(grid.ColCount(), static_cast<int>(most));
    for (int r = 0; r < rows; ++r) {
        const auto fields = TabFields(lines[static_cast<std::size_t>(r)]);
        for (int c = 0; c < grid.ColCount(); ++c) {
            const std::string expected =
                c < static_cast<int>(fields.size()) && !fields[static_cast<std::size_t>(c)].empty()
                ? fields[static_cast<std::size_t>(c)]
                : " ";
            if (grid.Cell(c, r) != expected)
                QFAIL(qPrintable(QStringLiteral("cell %1, %2").arg(c).arg(r)));
        }
    }
}

void TestLargeTables::moreFieldsLaterAddColumns()
{
    std::string bytes;
    for (int r = 0; r < 120000; ++r)
        bytes += r == 110000 ? "1\t2\t3\t4\t5\t6\r\n" : "x\ty\r\n";
    CoreGrid grid;
    QVERIFY(LayoutGridCells(grid, TableLines::FromBytes(bytes), ""));
    QCOMPARE(grid.ColCount(), 6);
    QCOMPARE(grid.Cell(5, 110000), std::string_view("6"));
    QCOMPARE(grid.Cell(5, 0), std::string_view(" "));
    QCOMPARE(grid.Cell(1, 119999), std::string_view("y"));
    QCOMPARE(grid.Cell(2, 119999), std::string_view(" "));
}

// Edited cells, deleted rows and copied columns next to cells that view the
// table: the saved bytes show each of them.
void TestLargeTables::editsAfterLayout()
{
    const std::string longCell(2500, 'L');
    CoreGrid grid;
    QVERIFY(LayoutGridCells(grid, TableLines::FromBytes("h1\th2\r\n" + longCell + "\tb\r\nc\td\r\n"), ""));
    grid.SetCell(1, 2, "edited");
    grid.SetCell(0, 0, "");
    grid.CopyColumn(1, 0);
    grid.SetCell(1, 1, "new");
    QCOMPARE(BuildSaveBytes(grid, 0), std::string("h2\th2\r\nb\tnew\r\nedited\tedited\r\n"));
    grid.DeleteRow(1);
    QCOMPARE(BuildSaveBytes(grid, 0), std::string("h2\th2\r\nedited\tedited\r\n"));
    CoreGrid other;
    QVERIFY(LayoutGridCells(other, TableLines::FromBytes("a\t" + longCell + "\r\n"), ""));
    QCOMPARE(other.Cell(1, 0), std::string_view(longCell));
}

namespace {

// A table of some megabytes: a save of it takes several pieces.
CoreGrid BigGrid()
{
    std::string bytes;
    for (int r = 0; r < 200000; ++r)
        bytes += "row " + std::to_string(r) + "\t \tsome text here\t" + std::to_string(r * 7) + "\r\n";
    CoreGrid grid;
    LayoutGridCells(grid, TableLines::FromBytes(bytes), "");
    return grid;
}

} // namespace

void TestLargeTables::savedInPieces()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/t.txt";
    const CoreGrid grid = BigGrid();
    for (const std::int64_t base : {std::int64_t{0}, std::int64_t{5}}) {
        std::uint64_t last = 0;
        int calls = 0;
        const FileStatus r = SaveGridToFile(grid, base, path, "", [&](std::uint64_t done, std::uint64_t total) {
            if (done < last || total != static_cast<std::uint64_t>(grid.RowCount()))
                return false;
            last = done;
            ++calls;
            return true;
        });
        QVERIFY2(r.ok(), DescribeFileError(r.error()).c_str());
        QVERIFY2(calls > 3, qPrintable(QString::number(calls)));
        QVERIFY(ReadAll(path).toStdString() == BuildSaveBytes(grid, base));
    }
}

void TestLargeTables::cancelledSaveKeepsFiles()
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/t.txt";
    const std::string backup = dir.path().toStdString() + "/t.Bak";
    Write(path, "old table\r\n");
    Write(backup, "old backup\r\n");
    const CoreGrid grid = BigGrid();
    int calls = 0;
    const FileStatus r = SaveGridToFile(grid, 0, path, path, [&](std::uint64_t, std::uint64_t) { return ++calls < 3; });
    QVERIFY(!r.ok());
    QVERIFY(r.cancelled());
    QCOMPARE(ReadAll(path), QByteArray("old table\r\n"));
    QCOMPARE(ReadAll(backup), QByteArray("old backup\r\n"));
    // Nothing else is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
    // Saved to the end, the old table becomes the backup.
    QVERIFY(SaveGridToFile(grid, 0, path, path).ok());
    QCOMPARE(ReadAll(backup), QByteArray("old table\r\n"));
    QVERIFY(ReadAll(path).toStdString() == BuildSaveBytes(grid, 0));
}

// A large column is read on two threads; the total must still be the sum
// taken row after row, whose rounding depends on the order.
void TestLargeTables::sumInRowOrder()
{
    const char* values[] = {"1e16", "1", "-1e16", "0.1", "(3,000.25)", "7", "abc", " ", "2.5e15", "0.3"};
    std::string bytes;
    for (int r = 0; r < 300001; ++r)
        bytes += std::string("x\t") + values[(r * 7 + r / 3) % 10] + "\r\n";
    CoreGrid grid;
    QVERIFY(LayoutGridCells(grid, TableLines::FromBytes(bytes), ""));
    double expected = 0;
    for (int r = 0; r < grid.RowCount(); ++r) {
        const std::string cell(grid.Cell(1, r));
        double v = 0;
        if (cell == "1e16")
            v = 1e16;
        else if (cell == "1")
            v = 1;
        else if (cell == "-1e16")
            v = -1e16;
        else if (cell == "0.1")
            v = 0.1;
        else if (cell == "(3,000.25)")
            v = -3000.25;
        else if (cell == "7")
            v = 7;
        else if (cell == "2.5e15")
            v = 2.5e15;
        else if (cell == "0.3")
            v = 0.3;
        expected += v;
    }
    const double total = SumColumn(grid, 1);
    QVERIFY2(total == expected, qPrintable(QString::number(total, 'g', 17) + " " + QString::number(expected, 'g', 17)));
}

// Rows read with their empty fields in one piece: a word still has to lie
// within one cell, and edited cells are searched as they are now.
void TestLargeTables::searchOverEmptyFields_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("row");
    QTest::newRow("across an empty field") << "abcd" << 1;
    QTest::newRow("within a cell, spaces left out") << "xy" << 2;
    QTest::newRow("last field after two empty ones") << "TAIL" << 3;
    QTest::newRow("edited cell, new text") << "fresh" << 4;
    QTest::newRow("edited cell, old text") << "stale" << 1;
    QTest::newRow("two words in two cells") << "ab cd" << 2;
}

void TestLargeTables::searchOverEmptyFields()
{
    QFETCH(QString, query);
    QFETCH(int, row);
    std::string bytes = "h1\th2\th3\th4\r\n";
    bytes += "q\r\n";             // row 1
    bytes += "ab\t\tcd\tx y\r\n"; // row 2
    bytes += "z\t\t\ttail\r\n";   // row 3
    bytes += "k\t\tstale\t\r\n";  // row 4
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "m\t\tn\t\r\n";
    CoreGrid grid;
    QVERIFY(LayoutGridCells(grid, TableLines::FromBytes(bytes + many), ""));
    grid.SetCell(2, 4, "fresh");
    QCOMPARE(SearchFrom(grid, query.toStdString(), 1), row);
}

QTEST_MAIN(TestLargeTables)
#include "test_large_tables.moc"
