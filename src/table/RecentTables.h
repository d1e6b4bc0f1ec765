#pragma once
// The tables opened or saved last, most recent first, kept in the program's
// folder. Read again before every change, so that two running copies add
// to one list rather than each writing its own over the other's.

#include <cstddef>
#include <string>
#include <vector>

namespace rasmik {

inline constexpr const char* RecentTablesFile = "RecentTables.txt";
inline constexpr std::size_t RecentTablesKept = 10;

// The list in file; empty when there is none or it cannot be read.
std::vector<std::string> LoadRecentTables(const std::string& file);
// Puts path first (once), keeps the first RecentTablesKept, writes the
// list back and returns it.
std::vector<std::string> RememberRecentTable(const std::string& file, const std::string& path);
// Takes path off the list, writes it back and returns it.
std::vector<std::string> ForgetRecentTable(const std::string& file, const std::string& path);

} // namespace rasmik
