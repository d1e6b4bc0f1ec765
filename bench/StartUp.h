#pragma once
// Start-up as a user sees it: the program launched on a table until its
// window on a real X server shows the table, as a whole process.

#include <string>
#include <vector>

namespace rasmik::bench {

struct StartUpOptions {
    std::string program;             // the rasmik executable
    std::vector<std::string> tables; // each timed, and the empty window
    std::string self;                // this benchmark, for the bare Qt window
    int runs = 5;
    std::string markdown; // appended to when not empty
};

// Runs under DISPLAY, or under an Xvfb of its own when none is set. Returns
// false when no X server could be had or a launch never painted.
bool RunStartUp(const StartUpOptions& options);

// The child that shows a bare Qt window (a label), the floor of any Qt program.
int RunBareWindow(int argc, char** argv);

} // namespace rasmik::bench
