#pragma once
// Reading a table file and its companion configuration, and the list of
// tables of its folder that "Pre File" and "Next File" walk.

#include "table/TableLines.h"
#include "text/FileIdentity.h"
#include "text/TextFiles.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// What "Reopen As" chose instead of what the file's name and bytes say.
struct ReadChoice {
    std::optional<TextEncoding> encoding;
    std::optional<TableForm> form;
};

// Reads the table file into lines, with its encoding and what of it the
// lines do not hold (TextEnd), in the form its name gives (FormForPath)
// unless choice says otherwise. A progress that answers false fails it as
// Cancelled.
// identity (when given) receives what the file held as read.
FileStatus ReadTableFile(const std::string& path, TableLines& lines, const ProgressFn& progress = {},
                         const ReadChoice& choice = {}, FileIdentity* identity = nullptr);

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

// The kind of table "Pre File" and "Next File" walk from path: its
// extension in small letters (".txt" for a name without one).
std::string TableKindExtension(const std::string& path);

// Full paths of the files (not folders) of folder whose names end in ext
// in any letter case, sorted with FolderFileLess. Empty when it cannot be listed.
std::vector<std::string> RebuildFolderFiles(const std::string& folder, std::string_view ext = ".txt");

// Index of path in files: an exact match first, else one equal ignoring case; -1.
int FindFolderFile(const std::vector<std::string>& files, const std::string& path);

// The file "Pre File" (step -1) or "Next File" (step +1) opens from the one
// the caption names; empty when the list is empty.
std::string NeighbourFile(const std::vector<std::string>& files, const std::string& caption, int step);

} // namespace rasmik
