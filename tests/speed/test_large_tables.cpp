// Large tables are laid out on two threads and keep their cells in four
// bytes each; the cells must be the fields of the lines all the same, also
// for long cells, long lines and lines with more fields than those before.

#include "table/CoreGrid.h"
#include "table/SaveLines.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

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
    case 0:
        return "a" + std::to_string(r) + "\tb\t\tc";
    case 1:
        return std::string(3000, 'x') + "\tshort"; // a cell longer than a view holds
    case 2:
        return std::string(1100000, 'y') + "\tfar\tcells"; // cells beyond the first megabyte
    case 3:
        return "";
    case 4:
        return "one";
    case 5:
        return "\t\t\t";
    default:
        return "p\tq\tr\ts";
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

QTEST_MAIN(TestLargeTables)
#include "test_large_tables.moc"
