// rasmik-bench-edits: the commands that add and take away, on tables
// rasmik-bench made: insert and delete a row or a column and undo each,
// Find and Replace of a word in every row (and the memory its undo step
// holds), a paste of 10,000 x 10 cells. Best of several runs.
#include "BestOf.h"
#include "EvenMetrics.h"

#include "table/TableDocument.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace rasmik;
using rasmik::bench::BestOf;
using rasmik::bench::EvenMetrics;

namespace {

const char* verdict(double value, double target)
{
    return value <= target ? "" : " (OVER)";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: rasmik-bench-edits TABLE...   (tables of rasmik-bench)\n");
        return 2;
    }
    for (int a = 1; a < argc; ++a) {
        const std::string path = argv[a];
        TableDocument doc;
        EvenMetrics metrics;
        FixedLayoutTarget target(metrics, 1000, false);
        if (!doc.open(path, target).ok()) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 1;
        }
        const int middle = doc.grid().RowCount() / 2;
        const auto rowThenUndo = [&](bool insert) {
            doc.setCursor(1, middle);
            insert ? doc.insertRow(false) : doc.deleteRow();
            doc.undo();
        };
        const auto columnThenUndo = [&](bool insert) {
            doc.setCursor(1, middle);
            insert ? doc.insertColumn() : doc.removeColumn();
            doc.undo();
        };
        const double insertRow = BestOf(3, [&] { rowThenUndo(true); });
        const double deleteRow = BestOf(3, [&] { rowThenUndo(false); });
        const double insertColumn = BestOf(3, [&] { columnThenUndo(true); });
        const double deleteColumn = BestOf(3, [&] { columnThenUndo(false); });

        // Every row of these tables has a date, 1394/12/28: its slashes become dashes.
        std::size_t changed = 0;
        std::size_t stepBytes = 0;
        const double replace = BestOf(2, [&] {
            changed = doc.replaceInCells("/", "-", false);
            stepBytes = doc.history().bytes();
            doc.undo();
        });

        std::vector<std::vector<std::string>> block(10000, std::vector<std::string>(10));
        for (std::size_t r = 0; r < block.size(); ++r)
            for (std::size_t c = 0; c < 10; ++c)
                block[r][c] = "p" + std::to_string(r * 10 + c);
        const double paste = BestOf(2, [&] {
            doc.setCursor(0, 1);
            doc.pasteCells(block);
            doc.undo();
        });
        std::printf("%s (%d rows): insert row + undo %.3f s%s, delete row + undo %.3f s%s, insert column + undo "
                    "%.3f s%s, delete column + undo %.3f s%s; replace %zu cells %.3f s%s, its step %.1f MB%s; "
                    "paste 10,000 x 10 %.3f s%s\n",
                    path.c_str(), doc.grid().RowCount(), insertRow, verdict(insertRow, 0.05), deleteRow,
                    verdict(deleteRow, 0.05), insertColumn, verdict(insertColumn, 0.05), deleteColumn,
                    verdict(deleteColumn, 0.05), changed, replace, verdict(replace, 0.5), stepBytes / 1e6,
                    verdict(stepBytes / 1e6, 20), paste, verdict(paste, 0.5));
    }
    return 0;
}
