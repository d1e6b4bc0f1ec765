#pragma once
// The Unicode Bidirectional Algorithm, through FriBidi: the direction a text
// reads in, and which characters of a line too long for its room stay in view
// at one of its edges. The painter and the report share it.

#include "text/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rasmik {

enum class ReadingDirection : unsigned char { LeftToRight, RightToLeft };

// The edge of a line that stays in view when the line is wider than its room.
enum class VisibleEdge { Right, Left, Middle };

// The direction of the text's first strong character outside isolates (the
// paragraph rule, as dir="auto" on the web); none when it has none.
ReadingDirection DirectionOfText(std::u32string_view text, ReadingDirection none = ReadingDirection::RightToLeft);
// The same for UTF-16 text (a QString's), without a copy.
ReadingDirection DirectionOfText(std::u16string_view text, ReadingDirection none = ReadingDirection::RightToLeft);
// The same for text held in encoding held (Windows-1256 or UTF-8).
ReadingDirection DirectionOfText(std::string_view text, TextEncoding held,
                                 ReadingDirection none = ReadingDirection::RightToLeft);

// One line laid out: each code point's resolved embedding level (odd: right
// to left), and the logical index at each visual position from the left.
struct BidiLine {
    std::vector<std::uint8_t> levels;
    std::vector<std::size_t> visual;
    ReadingDirection direction = ReadingDirection::RightToLeft;
};

// Lays text out as one line of a paragraph of the given direction. before
// and after stand for the text around it when it is a window of a longer
// line (a few characters that give the rules their context); they take no
// place in the result.
BidiLine LayOutBidiLine(std::u32string_view text, ReadingDirection direction, std::u32string_view before = {},
                        std::u32string_view after = {});

// The logical ranges [first, second) of the code points that the visual
// positions at edge hold, taken from that edge while their weights (one each
// when weights is empty) add up to at most budget; ascending and joined.
std::vector<std::pair<std::size_t, std::size_t>>
VisibleRanges(const BidiLine& line, std::span<const std::uint8_t> weights, std::size_t budget, VisibleEdge edge);

// Code points of held text with where each starts, one more entry at the end.
struct HeldCodePoints {
    std::u32string text;
    std::vector<std::size_t> starts;
};
void DecodeHeld(std::string_view text, TextEncoding held, HeldCodePoints& out);

// A piece [from, to) of a held text that stays in view, and the mark of the
// direction that must come before it so that it reads as it did in the
// whole line.
struct ShownPiece {
    enum class Mark : unsigned char { None, LeftToRight, RightToLeft };
    std::size_t from = 0;
    std::size_t to = 0;
    Mark mark = Mark::None;
};

// The pieces of held text (in its order) that the edge of its line holds,
// read as a paragraph of the given direction, within budget: bytes, or
// characters when countCharacters, with markCost for each mark. Only a
// window around the edge is laid out, so a text of any length costs what
// its budget does. Empty when the whole text fits.
std::vector<ShownPiece> ShownPieces(std::string_view text, TextEncoding held, ReadingDirection direction,
                                    VisibleEdge edge, std::size_t budget, bool countCharacters = false,
                                    std::size_t markCost = 1);

// Whether c is a strong character (a letter that sets a direction).
bool IsStrongCharacter(char32_t c);
// Whether c is a strong character or a number, which a neighbouring neutral
// takes its direction from.
bool IsNonNeutralCharacter(char32_t c);
// Whether c reads right to left when strong.
bool IsRightToLeftCharacter(char32_t c);

} // namespace rasmik
