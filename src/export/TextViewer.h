#pragma once
// Plain text files are shown in an outside text editor: the program named by
// "TextEditor" in "AppOptions.txt" when set, else the desktop's default
// program for the file. Nothing is reported, whatever the outcome.

#include <string>
#include <vector>

class QString;

namespace rasmik {

// Starts the text editor on file, passed as one argument exactly as given,
// byte for byte ("Note Pad" passes the window caption unchanged, and a file
// name need not be valid UTF-8).
void OpenInTextEditor(const std::string& file);
// The same for a name in Qt's text (encoded as the file system's names are).
void OpenInTextEditor(const QString& file);

// Writes list to path (CR LF lines, SaveLinesRetry; the outcome is not used)
// and opens path in the text editor.
void ShowListInNotepad(const std::string& path, const std::vector<std::string>& list);

} // namespace rasmik
