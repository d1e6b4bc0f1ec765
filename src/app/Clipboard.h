#pragma once
// The clipboard's text as table text.

#include "text/TextEncoding.h"

#include <QString>

#include <string>

namespace rasmik {

// Copied text as a pasted table holds it.
struct PastedText {
    std::string text;
    TextEncoding held = TextEncoding::Windows1256;
};

// The Persian digits become ASCII digits; then Windows-1256 when every
// character has a place there (a letter it holds as itself, one it lacks as
// its nearest letter), else UTF-8.
PastedText ClipboardTextToTable(QString text);
// ClipboardTextToTable of the clipboard's Unicode text; empty when none.
PastedText ReadClipboardText();

// Puts copied cells on the clipboard: UTF-8 text, and HTML when given.
void WriteClipboardCells(const std::string& text, const std::string& html);

} // namespace rasmik
