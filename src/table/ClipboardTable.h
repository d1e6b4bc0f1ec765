#pragma once
// "Paste Table" and "Save Current Row For Header": a table copied from another
// program becomes the lines of "ClipTablePaste.txt"; a grid row can be kept as
// the header row that later pastes look for.

#include "table/CoreGrid.h"
#include "text/StringHelpers.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

inline constexpr const char* ClipTablePasteFile = "ClipTablePaste.txt";
inline constexpr const char* ClipTablePasteHdrFile = "ClipTablePasteHdr.txt";

// Cuts the first line off text and returns it. CR LF, CR, LF and LF CR end a
// line; a text without any CR is cut at its LFs.
std::string TakeLine(std::string& text);

// Turns clipboard text (already Windows-1256) into one entry per line, each
// cell followed by a TAB, after folding the Persian kaf into the Arabic one.
// Returns the largest number of cells of a line (0 for an empty text).
int ParseClipboardTable(std::string text, std::vector<std::string>& list);

// The lines of "ClipTablePaste.txt" for a parsed paste: the generated header
// "Col 1", TAB, "Col 2", TAB... and the entries, or, when rememberedHeader is
// not empty and an entry matches all its words, that entry and those after
// it. Nothing (the paste does nothing) for fewer than two entries or fewer
// than two columns.
std::optional<std::vector<std::string>> BuildPasteFile(const std::vector<std::string>& list, int columnCount,
                                                       std::string_view rememberedHeader);

// Bytes removed from each cell before its words are kept as the header row:
// controls, ASCII punctuation and digits, and 253-255.
const CharSet& HeaderFilter();

// The text "Save Current Row For Header" keeps for the grid's row: every
// cell without the filtered bytes, words joined by single spaces, no space at
// either end. Empty for a row outside the grid.
std::string HeaderRowText(const CoreGrid& grid, int row);

} // namespace rasmik
