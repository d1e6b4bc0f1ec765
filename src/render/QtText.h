#pragma once
// Table text <-> QString at the edge of the toolkit. Everything below the
// window layer keeps byte strings in the table's held form (Windows-1256 or
// UTF-8); these are the only crossings.

#include "text/TextEncoding.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace rasmik {

// Windows-1256 goes byte by byte through the fixed code-page table; UTF-8
// through Qt's decoder (a lone surrogate shows as U+FFFD).
QString ToQString(std::string_view text, TextEncoding held = TextEncoding::Windows1256);
// The same into a caller's buffer, so that a painter can reuse one QString
// for every cell without allocating once its capacity has grown.
void ToQString(std::string_view text, QString& out, TextEncoding held = TextEncoding::Windows1256);

// A cell on one line, as the grid shows it: each line break (CR LF, LF or
// CR) as one mark, each TAB as a space. True when anything was replaced.
inline constexpr char16_t LineBreakMark = u'\u21B5';
bool ShowOnOneLine(QString& text);

// Into Windows-1256, characters it lacks become the nearest letter, else
// '?'; into UTF-8 every character stays as it is.
std::string FromQString(const QString& text, TextEncoding held = TextEncoding::Windows1256);
// The first character of text that the held form cannot take, not even as
// a nearest letter (only Windows-1256 lacks any), so that a command can
// refuse the text instead of writing '?'; nullopt when every one fits.
std::optional<char32_t> FirstCharacterNotHeld(const QString& text, TextEncoding held);
// A character as a message names it, in UTF-8: «x» (U+20AA), the character
// isolated so that a mark or a joining letter shows by itself.
std::string NamedCharacter(char32_t character);

} // namespace rasmik
