#pragma once
// The clipboard's text as table text.

#include <QString>

#include <string>

namespace rasmik {

// ى becomes ي and the Persian digits ASCII digits, then Windows-1256 (letters
// it lacks go to their nearest letter).
std::string ClipboardTextToTable(QString text);
// ClipboardTextToTable of the clipboard's Unicode text; empty when none.
std::string ReadClipboardText();

// Puts copied cells on the clipboard: UTF-8 text, and HTML when given.
void WriteClipboardCells(const std::string& text, const std::string& html);

} // namespace rasmik
