#pragma once
// The command-line modes that need no window: --convert, --help, --version.
// Any other argument list is a table to open in the window.

#include <string>
#include <vector>

namespace rasmik {

inline constexpr int ExitOk = 0;
inline constexpr int ExitInputUnreadable = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitOutputUnwritable = 3;

// Whether the arguments (after the program name) ask for one of those modes.
bool IsCommandLineMode(const std::vector<std::string>& args);

// Runs that mode and returns the exit status. Creates its own application
// object on the offscreen platform, so no display is needed.
int RunCommandLineMode(int& argc, char** argv, const std::vector<std::string>& args);

std::string UsageText();
std::string VersionText();

} // namespace rasmik
