#pragma once
// The desktop's list of recently used files (the XBEL file GTK and KDE
// programs share), so that the file manager's "Recent" shows the tables
// Rasmik opened.

#include <QString>

#include <string>

namespace rasmik {

// ~/.local/share/recently-used.xbel (XDG_DATA_HOME when set).
QString RecentlyUsedFile();

// Adds path, opened now by Rasmik, to the list in xbelFile, or brings its
// entry up to date; every other entry and program stays as it was. A file
// that does not read as XBEL is left alone (false), as is one that cannot
// be written.
bool AddToRecentlyUsed(const std::string& path, const QString& xbelFile = RecentlyUsedFile());

} // namespace rasmik
