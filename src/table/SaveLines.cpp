#include "table/SaveLines.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "text/StringHelpers.h"

namespace rasmik {

namespace {

// Room for the decimal text of any 64-bit number and its TAB.
constexpr std::size_t NumberRoom = 21;

} // namespace

std::string BuildSaveBytes(const CoreGrid& grid, std::int64_t rowNumberBase)
{
    const int rows = grid.RowCount();
    const int cols = grid.ColCount();
    const bool numbered = rowNumberBase != 0;
    // Keeps base - 1 + row inside 64 bits for any base a caller may pass.
    constexpr std::int64_t Limit = std::int64_t{1} << 62;
    rowNumberBase = std::clamp(rowNumberBase, -Limit, Limit);

    // One sizing pass so that the text is built in a single allocation.
    std::size_t total = static_cast<std::size_t>(rows) * (static_cast<std::size_t>(cols) + 2 + (numbered ? NumberRoom : 0));
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            total += grid.Cell(c, r).size();

    std::string out;
    out.resize(total);
    char* const begin = out.data();
    char* p = begin;
    for (int r = 0; r < rows; ++r) {
        char* const lineStart = p;
        int c = 0;
        if (numbered) {
            const auto res = std::to_chars(p, p + NumberRoom, rowNumberBase - 1 + r);
            p = res.ptr;
            *p++ = '\t';
        } else if (cols > 0) {
            // The line starts with the first cell: its leading spaces are the
            // line's leading spaces (a TAB always follows, so trimming stops there).
            std::string_view first = grid.Cell(0, r);
            std::size_t skip = 0;
            while (skip < first.size() && first[skip] == ' ')
                ++skip;
            first.remove_prefix(skip);
            std::memcpy(p, first.data(), first.size());
            p += first.size();
            *p++ = '\t';
            c = 1;
        }
        for (; c < cols; ++c) {
            const std::string_view cell = grid.Cell(c, r);
            std::memcpy(p, cell.data(), cell.size());
            p += cell.size();
            *p++ = '\t';
        }
        // The line ends with a TAB, so there are no trailing spaces to trim
        // before the trailing TABs go; spaces uncovered by that stay.
        while (p > lineStart && p[-1] == '\t')
            --p;
        *p++ = '\r';
        *p++ = '\n';
    }
    out.resize(static_cast<std::size_t>(p - begin));
    return out;
}

std::int64_t RowNumberBaseFromAnswer(std::string_view answer)
{
    const std::int64_t start = ParseIntDef(answer, 0);
    return start + 1 > 0 ? start + 1 : 0;
}

std::string WithFileExtension(const std::string& path, std::string_view ext)
{
    if (path.empty())
        return {};
    const std::size_t slash = path.rfind(PathSeparator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    std::string result;
    if (dot != std::string::npos && dot > nameStart)
        result = path.substr(0, dot);
    else
        result = path;
    result.append(ext);
    return result;
}

std::string BackupPathFor(const std::string& path)
{
    return WithFileExtension(path, ".Bak");
}

FileResult SaveGridToFile(const CoreGrid& grid, std::int64_t rowNumberBase, const std::string& path,
                          const std::string& currentFile)
{
    if (path.empty())
        return FileResult{false, "No file name"};
    const std::string bytes = BuildSaveBytes(grid, rowNumberBase);
    const std::string backup = BackupPathFor(path);
    // A table already named *.Bak would be its own backup: write it in place.
    if (path == currentFile && backup != path && FileIsThere(path))
        return WriteFileWithBackup(path, bytes, backup);
    return WriteFileAtomic(path, bytes);
}

} // namespace rasmik
