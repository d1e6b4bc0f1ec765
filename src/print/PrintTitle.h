#pragma once
// The last print title, kept in "HPrint.txt" in the program's folder as the
// title's bytes without a line end.

#include <string>

namespace rasmik {

// The file's path: ExeFolder() + "HPrint.txt".
std::string PrintTitlePath();
// The previous title; empty when the file is missing or unreadable. One final
// CR LF (left there by a hand edit) is not part of it.
std::string LoadPrintTitle();
// Rewrites the file with title, an empty title included. False when the write
// failed; the print goes on either way.
bool SavePrintTitle(const std::string& title);

} // namespace rasmik
