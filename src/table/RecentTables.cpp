#include "table/RecentTables.h"

#include "text/TextFiles.h"

#include <algorithm>

namespace rasmik {

std::vector<std::string> LoadRecentTables(const std::string& file)
{
    std::vector<std::string> lines;
    if (!FileIsThere(file) || !LoadLinesRetry(&lines, file))
        return {};
    // A hand-edited list may hold blank lines or a name twice.
    std::vector<std::string> paths;
    for (std::string& line : lines)
        if (!line.empty() && std::find(paths.begin(), paths.end(), line) == paths.end())
            paths.push_back(std::move(line));
    if (paths.size() > RecentTablesKept)
        paths.resize(RecentTablesKept);
    return paths;
}

std::vector<std::string> RememberRecentTable(const std::string& file, const std::string& path)
{
    std::vector<std::string> paths = LoadRecentTables(file);
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
    paths.insert(paths.begin(), path);
    if (paths.size() > RecentTablesKept)
        paths.resize(RecentTablesKept);
    SaveLinesRetry(&paths, file);
    return paths;
}

std::vector<std::string> ForgetRecentTable(const std::string& file, const std::string& path)
{
    std::vector<std::string> paths = LoadRecentTables(file);
    const auto end = std::remove(paths.begin(), paths.end(), path);
    if (end != paths.end()) {
        paths.erase(end, paths.end());
        SaveLinesRetry(&paths, file);
    }
    return paths;
}

} // namespace rasmik
