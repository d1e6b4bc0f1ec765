#pragma once
// Reading a table file and its companion configuration, and the list of
// tables of its folder that "Pre File" and "Next File" walk.

#include "table/TableLines.h"
#include "text/TextFiles.h"

#include <string>
#include <vector>

namespace rasmik {

// Reads the table file into lines, with its encoding and what of it the
// lines do not hold (TextEnd). A progress that answers false fails it as
// Cancelled.
FileStatus ReadTableFile(const std::string& path, TableLines& lines, const ProgressFn& progress = {});

// The "CellFormat" value of the table's .cfg; empty when there is none or it
// cannot be read.
std::string ReadCellFormat(const std::string& tablePath);
// Takes the "CellFormat" lines (the key in any letter case) out of a .cfg's
// bytes, leaving every other line as it was; false when it has none.
bool DropCellFormat(std::string& cfgBytes);

// An absolute form of a path given on the command line (relative to the
// working directory), without resolving links.
std::string AbsolutePath(const std::string& path);

// Case-insensitive (ASCII) order of paths; equal ignoring case falls back to
// byte order so that two files differing only in case both stay listed.
bool FolderFileLess(const std::string& a, const std::string& b);

// Full paths of the files (not folders) of folder whose names end in ".txt" in
// any letter case, sorted with FolderFileLess. Empty when it cannot be listed.
std::vector<std::string> RebuildFolderFiles(const std::string& folder);

// Index of path in files: an exact match first, else one equal ignoring case; -1.
int FindFolderFile(const std::vector<std::string>& files, const std::string& path);

// The file "Pre File" (step -1) or "Next File" (step +1) opens from the one
// the caption names; empty when the list is empty.
std::string NeighbourFile(const std::vector<std::string>& files, const std::string& caption, int step);

} // namespace rasmik
