// rasmik-bench-match: Search and Sort alone on tables rasmik-bench made,
// best of several runs, so that the library of two builds can be compared
// back to back on a busy machine.
#include "BestOf.h"

#include "table/Search.h"
#include "table/SortRows.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/Cp1256.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace rasmik;
using rasmik::bench::BestOf;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: rasmik-bench-match TABLE...   (tables of rasmik-bench; \"utf8\" in a name: UTF-8)\n");
        return 2;
    }
    for (int a = 1; a < argc; ++a) {
        const std::string path = argv[a];
        const bool utf8 = path.find("utf8") != std::string::npos;
        std::ifstream file(path, std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        TableLines lines = TableLines::FromBytes(bytes.str());
        if (utf8)
            lines.setEncoding({TextEncoding::Utf8, false});
        CoreGrid grid;
        if (!file || !LayoutGridCells(grid, lines, "")) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 1;
        }
        // The words rasmik-bench searches for: in no row, and in the last row only.
        std::string missing = "ناپیدا";
        std::string last = "سرانجام";
        if (!utf8) {
            missing = Utf8ToCp1256(missing);
            last = Utf8ToCp1256(last);
        }
        int found = 0;
        const double none = BestOf(5, [&] { found = SearchFrom(grid, missing, 1); });
        const bool noneRight = found == 1;
        const double lastRow = BestOf(5, [&] { found = SearchFrom(grid, last, 1); });
        const bool lastRight = found == grid.RowCount() - 1;
        const double text = BestOf(2, [&] { (void)SortedRowOrder(grid, 1, false); });
        const double numbers = BestOf(2, [&] { (void)SortedRowOrder(grid, 3, false); });
        std::printf("%s: search none %.3f s%s, last %.3f s%s; sort text %.3f s, numbers %.3f s\n", path.c_str(), none,
                    noneRight ? "" : " (WRONG ROW)", lastRow, lastRight ? "" : " (WRONG ROW)", text, numbers);
    }
    return 0;
}
