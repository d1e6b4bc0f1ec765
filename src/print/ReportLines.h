#pragma once
// Report lines: the text form in which the grid travels to the report
// renderer. One line is one printed row, a sequence of cell items:
//   share colour alignment left right top bottom size bold italic underline
//   strikeout fontname*caption
// each numeric token followed by one space. Lines built from the grid end every
// item with ItemSeparator; the title line is a single item without one. Lines
// hold their text in the grid's held form (Windows-1256 or UTF-8); the
// separator's bytes are the same in both (0xFE is no byte of UTF-8).

#include "print/ReportFont.h"
#include "text/TextEncoding.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

class CoreGrid;

// RLM ! ` RLM in Windows-1256.
inline constexpr std::string_view ItemSeparator{"\xFE\x21\x60\xFE", 4};
// Right-to-left mark in Windows-1256, and in UTF-8.
inline constexpr char RightToLeftMark = '\xFE';
inline constexpr std::string_view RightToLeftMarkUtf8 = "\xE2\x80\x8F";
// White as a packed colour (red in the low byte).
inline constexpr std::int32_t ReportBandColour = 16777215;

// A share as text: up to 15 significant digits, '.' as decimal point, no
// trailing zeros ("100", "12.5", "33.3333333333333").
std::string FormatShare(double share);

// A caption may hold ItemSeparator itself. Inside an item every "FE 21" that
// is followed by any run of 0x1F bytes and then "60" gets one more 0x1F, so an
// escaped caption never contains the separator; UnescapeCaption takes that
// byte out again. Captions without such a run stay byte for byte the same.
inline constexpr char CaptionEscapeByte = '\x1F';
std::string EscapeCaption(std::string_view caption);
std::string UnescapeCaption(std::string_view caption);

// One cell item without a separator. Alignment 0 left, 1 right, 2 centre (the
// renderer mirrors left and right); the four lines are 1 or 0. '*' cannot be
// part of the font name and is dropped from it; the caption is escaped.
std::string MakeCellItem(std::uint8_t alignment, std::uint8_t leftLine, std::uint8_t rightLine, std::uint8_t topLine,
                         std::uint8_t bottomLine, std::int32_t colour, const FontStyle& style,
                         std::string_view fontName, std::uint8_t fontSize, std::string_view caption, double share);

// Appends one line for grid row 0 and one for each further row. Columns
// firstCol..lastCol that are wider than 8 pixels print, each with its share of
// their total width; the cells use font's size + 2. The lines are in the
// grid's held form, the font's name included.
void GridToReportLines(const CoreGrid& grid, int firstCol, int lastCol, const ReportFont& font,
                       std::vector<std::string>& lines);

// The whole report of the print command: lines is emptied, then holds the
// title row (the font's own size) followed by every grid row. heldTitle is in
// the grid's held form (FromQString(text, grid.Encoding()) of what the user
// typed).
void BuildPrintLines(const CoreGrid& grid, const ReportFont& gridFont, const std::string& heldTitle,
                     std::vector<std::string>& lines);

} // namespace rasmik
