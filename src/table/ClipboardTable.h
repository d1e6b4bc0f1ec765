#pragma once
// "Paste Table" and "Save Current Row For Header": a table copied from another
// program becomes the lines of "ClipTablePaste.txt"; a grid row can be kept as
// the header row that later pastes look for.

#include "table/CoreGrid.h"
#include "text/StringHelpers.h"
#include "text/TextEncoding.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

inline constexpr const char* ClipTablePasteFile = "ClipTablePaste.txt";
inline constexpr const char* ClipTablePasteHdrFile = "ClipTablePasteHdr.txt";

// A copied block of cells as spreadsheet programs and Copy put it on the
// clipboard: rows on lines, cells split by TABs, a cell holding a TAB, a
// line break or a leading quote in double quotes ("" for a quote). A last
// line break ends the last row rather than starting another.
std::vector<std::vector<std::string>> ClipboardCells(std::string_view text);

// Cuts the first line off text and returns it. CR LF, CR, LF and LF CR end a
// line; a text without any CR is cut at its LFs.
std::string TakeLine(std::string& text);

// Turns clipboard text, held as Windows-1256 or UTF-8, into one entry per
// line, each cell followed by a TAB; every letter stays as it was copied.
// Returns the largest number of cells of a line (0 for an empty text).
int ParseClipboardTable(std::string_view text, std::vector<std::string>& list);

// The lines of "ClipTablePaste.txt" for a parsed paste (entries held in
// held): the generated header "Col 1", TAB, "Col 2", TAB... and the entries,
// or, when the remembered header is not empty and an entry matches all its
// words (as Search matches them: ي and ی, ك and ک alike, the zero-width
// non-joiner and tatweel ignored), that entry and those after it. rememberedHeader is the text of
// "ClipTablePasteHdr.txt" (see HeaderFileText); when it and the entries are
// not in the same form, both are compared with the nearest letters taken
// (ی as ي). Nothing (the paste does nothing) for fewer than two entries or
// fewer than two columns.
std::optional<std::vector<std::string>> BuildPasteFile(const std::vector<std::string>& list, int columnCount,
                                                       std::string_view rememberedHeader,
                                                       TextEncoding held = TextEncoding::Windows1256);

// Bytes removed from each cell before its words are kept as the header row:
// controls, ASCII punctuation and digits, and 253-255.
const CharSet& HeaderFilter();

// The text "Save Current Row For Header" keeps for the grid's row, in the
// grid's held form: every cell without the filtered bytes, words joined by
// single spaces, no space at either end. In a UTF-8 grid a character goes
// when its Windows-1256 letter (the nearest one) is filtered, so Persian
// digits and the direction marks go as they do in Windows-1256, and so do
// the Arabic decimal and thousands separators. Empty for a
// row outside the grid.
std::string HeaderRowText(const CoreGrid& grid, int row);

// What "ClipTablePasteHdr.txt" holds for a header row text held in held:
// Windows-1256 bytes, as ever, when every character has a letter there (the
// nearest one); else the UTF-8 mark and the UTF-8 text, so that the file
// says which form it is in.
std::string HeaderFileText(std::string_view headerRow, TextEncoding held);

} // namespace rasmik
