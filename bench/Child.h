#pragma once
// One measured run in a fresh process: the main window opens one table and
// every timed command runs on it. Results go to stdout as "key<TAB>value" lines.

#include <string>

namespace rasmik::bench {

struct ChildOptions {
    std::string table; // empty: only the empty program's memory
    int windowWidth = 1280;
    int windowHeight = 800;
    bool verifyWidths = false;
    int repaints = 21;
    int records = 0;            // the table's rows when they are not its lines (0: its lines)
    bool standardPhases = true; // search, sort, save, print, ...
    bool exportPhase = false;   // the Excel export (ExportPhase.cpp)
    bool openOnly = false;      // ends after the open (for profiling it)
};

int RunChild(int argc, char** argv, const ChildOptions& options);

} // namespace rasmik::bench
