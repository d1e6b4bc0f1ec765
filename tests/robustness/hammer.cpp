// Helper of the concurrency test: one of several programs changing the same
// settings file and "Option.cfg" at once, as two running copies of Rasmik do.
//   rasmik_hammer FOLDER settings|orders ID ROUNDS
// settings: toggles "Maximize" and "WriterID" through Settings(), whose file
//           is FOLDER/rasmik_hammer_Settings.cfg.
// orders:   saves a column order ("Save Col Order") for a table of its own
//           and one shared by all writers, into FOLDER/Option.cfg.

#include "table/ColumnOrder.h"
#include "table/CoreGrid.h"
#include "table/Options.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace rasmik;

namespace {

CoreGrid GridOf(const std::string& header)
{
    CoreGrid grid;
    LayoutGridCells(grid, TableLines::FromLines({header, "1\t2\t3\t4"}), {});
    return grid;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: rasmik_hammer FOLDER settings|orders ID ROUNDS\n");
        return 2;
    }
    const std::string folder = WithTrailingBackslash(argv[1]);
    const std::string mode = argv[2];
    const std::string id = argv[3];
    const int rounds = std::atoi(argv[4]);
    SetExeFolderForTesting(folder);

    if (mode == "settings") {
        for (int i = 0; i < rounds; ++i) {
            Settings().Toggle("Maximize");
            Settings().Toggle("Writer" + id);
        }
        return 0;
    }
    if (mode == "orders") {
        // Loaded once, as the window does at start-up.
        std::vector<std::string> orders;
        LoadLinesRetry(&orders, folder + OptionCfgFile);
        CoreGrid own = GridOf("Own" + id + "\tB\tC\tD");
        CoreGrid shared = GridOf("W\tX\tY\tZ");
        for (int i = 0; i < rounds; ++i) {
            own.MoveColumn(i % 4, (i + 1) % 4);
            shared.MoveColumn((i + 2) % 4, i % 4);
            // A failed write (the other writer holds the file) keeps the
            // order in memory, as the window does.
            SaveColOrder(own, orders, folder + OptionCfgFile);
            SaveColOrder(shared, orders, folder + OptionCfgFile);
        }
        return 0;
    }
    std::fprintf(stderr, "rasmik_hammer: unknown mode %s\n", mode.c_str());
    return 2;
}
