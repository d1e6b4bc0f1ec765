#pragma once
// How text compares when a user looks for it (Search, Filter, the paste's
// header row): Persian text is typed on different keyboards and by older
// systems, so the forms a reader takes for one letter, digit or word match.
//
// Folding, the same on the query and on the text:
//  - ASCII letters a..z become A..Z (no other letter changes case);
//  - ی (U+06CC) becomes ي (U+064A) and ک (U+06A9) becomes ك (U+0643), the
//    forms Windows-1256 tables hold;
//  - Persian (U+06F0..U+06F9) and Arabic-Indic (U+0660..U+0669) digits become
//    ASCII digits;
//  - the zero-width non-joiner (U+200C) and tatweel (U+0640) go, and so do
//    spaces unless kept.
// In Windows-1256 (ی and the two kinds of digits have no byte there) that is
// 0x98 to 0xDF, and 0x9D and 0xDC dropped. Every other byte stays as it is.

#include "text/TextEncoding.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rasmik {

// Bytes [begin, end) of a text.
struct ByteSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const ByteSpan&) const = default;
};

class MatchFolding {
public:
    enum class Spaces { Drop, Keep };
    // held: the form of every text and pattern given, Windows1256 or Utf8.
    explicit MatchFolding(TextEncoding held, Spaces spaces = Spaces::Drop);

    TextEncoding held() const { return utf8_ ? TextEncoding::Utf8 : TextEncoding::Windows1256; }

    // Writes text folded at out[len..] and moves len past it. out grows as
    // needed and always keeps 16 bytes of room after len, so a caller may add
    // a few bytes of its own without growing it.
    void append(std::string& out, std::size_t& len, std::string_view text) const;
    std::string fold(std::string_view text) const;

    // The same for many texts at once, faster: appendPart() each text into
    // one buffer, with a byte of ASCII between two texts (as cells have
    // their separators), then finishParts() once over the buffer: the bytes
    // append() of each would give, and the new length. marks: ascending
    // offsets into the buffer (where each text starts, say), moved with the
    // bytes they point at (one that pointed at a dropped byte points at the
    // next one kept).
    void appendPart(std::string& out, std::size_t& len, std::string_view text) const;
    std::size_t finishParts(char* buffer, std::size_t len, std::size_t* marks = nullptr,
                            std::size_t markCount = 0) const;

    // Where text, folded, first holds a folded pattern, from byte from on
    // (a character boundary): the bytes of text itself from the first to the
    // last character matched, with what was dropped between them and nothing
    // dropped at either end. So text outside the span is the text outside
    // the match, as it was. Nothing for an empty pattern.
    std::optional<ByteSpan> find(std::string_view text, std::string_view foldedPattern, std::size_t from = 0) const;

private:
    // Folds one character (one byte where a UTF-8 sequence is not one the
    // folding knows) at text[i] into out, moving i past it; its byte count.
    int foldOne(std::string_view text, std::size_t& i, char out[4]) const;

    bool utf8_;
    bool dropSpaces_;
};

} // namespace rasmik
