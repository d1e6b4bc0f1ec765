#pragma once
// The encodings a table file may be in, and the one form a table holds its
// text in while it is open: Windows-1256 bytes for a Windows-1256 file, UTF-8
// for every Unicode file. Lines, fields and NUL work the same on both, since
// TAB, CR, LF and NUL are single bytes in each.

#include "text/ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

enum class TextEncoding : unsigned char { Windows1256, Utf8, Utf16LE, Utf16BE };

struct FileEncoding {
    TextEncoding encoding = TextEncoding::Windows1256;
    // A byte-order mark at the start of the file (UTF-8 and UTF-16).
    bool byteOrderMark = false;
    bool operator==(const FileEncoding&) const = default;
};

// Whether a table of this encoding holds its text as UTF-8 while it is open.
constexpr bool HoldsUtf8(TextEncoding e)
{
    return e != TextEncoding::Windows1256;
}
// The form the text of a file in encoding e is held in: Windows1256 or Utf8.
constexpr TextEncoding HeldForm(TextEncoding e)
{
    return HoldsUtf8(e) ? TextEncoding::Utf8 : TextEncoding::Windows1256;
}

// The encoding of a table file: its byte-order mark when it starts with one;
// else UTF-16 without a mark (Utf16WithoutMark); else UTF-8 when all of it (up to a NUL, where the text
// ends) is valid UTF-8 with at least one character beyond ASCII; else
// Windows-1256.
FileEncoding DetectEncoding(std::string_view bytes);

// UTF-16 without a mark: Utf16LE or Utf16BE when NUL bytes stand in the odd
// or the even places of bytes that read as printable UTF-16 text in that
// order: every unit a character, TAB, CR or LF (no U+0000, no other
// control, no lone surrogate, no U+FFFE or U+FFFF); the file's TAB, CR and
// LF bytes mostly units of their own; without any, at least half the units
// holding a NUL byte. A binary file (runs of zeros, random units) or a
// Windows-1256 table with a stray NUL is not taken for UTF-16; an odd last
// byte is not counted. Windows1256 when it is not UTF-16.
TextEncoding Utf16WithoutMark(std::string_view bytes);

// How a table file's text ended, for the bytes its lines do not hold: a NUL
// that ended the text early (its offset in the file), or the odd last byte
// of a UTF-16 file, which is half a character.
struct TextEnd {
    std::uint64_t fileBytes = 0;
    // Offset of the NUL (a U+0000 unit in UTF-16) where the text was cut off.
    bool cut = false;
    std::uint64_t cutAt = 0;
    bool halfCharacter = false;
    unsigned char strayByte = 0; // the odd last byte, when halfCharacter
    // The bytes from the NUL to the end of the file, which the lines lack.
    std::uint64_t bytesLeftOut() const { return cut ? fileBytes - cutAt : 0; }
    bool operator==(const TextEnd&) const = default;
};
// Where the text of a file's bytes in encoding ends.
TextEnd FindTextEnd(std::string_view bytes, FileEncoding encoding);

// Whether text is valid UTF-8 (no overlong forms, no surrogates), and
// whether it holds a character beyond ASCII.
bool IsValidUtf8(std::string_view text, bool* beyondAscii = nullptr);

// Turns a file's bytes in encoding into the form they are held in: the mark
// goes, UTF-16 becomes UTF-8. A lone surrogate is kept in its three-byte
// form so that it is written back as it was; an odd last byte of UTF-16 is
// left out (FindTextEnd keeps it). False when the result would exceed maxBytes.
bool FileBytesToHeld(ByteBuffer& bytes, FileEncoding encoding, std::size_t maxBytes);

// A character that the target encoding cannot hold: where it starts in the
// held text, and what it is.
struct UnfitCharacter {
    std::size_t offset = 0;
    char32_t codePoint = 0;
};

// Appends held text (in form held: Windows1256 or Utf8) to out in encoding
// to, without any mark. Text that goes into Windows-1256 takes the nearest
// letters first (U+06CC to yeh, Persian and Arabic-Indic digits to ASCII);
// when a character still does not fit, out is left as it was, unfit says
// which and the result is false.
bool AppendHeldAs(std::string_view text, TextEncoding held, TextEncoding to, std::string& out,
                  UnfitCharacter* unfit = nullptr);

// The bytes written first into a file of this encoding: its mark, if any.
std::string_view ByteOrderMarkOf(FileEncoding encoding);

// What the user sees: "Windows-1256", "UTF-8", "UTF-8 with BOM",
// "UTF-16 LE", "UTF-16 BE".
std::string EncodingName(FileEncoding encoding);
// A name as the command line takes it ("windows-1256", "utf-8", "utf-16",
// in any letter case): UTF-8 without a mark, UTF-16 little-endian with one.
bool ParseEncodingName(std::string_view name, FileEncoding& out);
// The encoding a table is saved in when the user chooses it by kind: UTF-16
// is always written little-endian with its mark; UTF-8 keeps the table's
// mark when the table is UTF-8 already.
FileEncoding SaveEncodingFor(TextEncoding chosen, FileEncoding current);

// ---- UTF-8 as held (a lone surrogate may appear in its three-byte form) ----

// The code point starting at text[i], moving i past it; a broken sequence is
// one U+FFFD for its longest valid beginning (at least one byte). A
// surrogate's three-byte form counts as a character unless surrogates is false.
char32_t NextCodePoint(std::string_view text, std::size_t& i, bool surrogates = true);
void AppendUtf8(std::string& out, char32_t cp);
// Whether b starts a character (is not a UTF-8 continuation byte).
constexpr bool StartsCharacter(unsigned char b)
{
    return (b & 0xC0) != 0x80;
}
// The bytes of the first n characters of text in the held form.
std::size_t BytesOfCharacters(std::string_view text, std::size_t n, TextEncoding held);
// The characters of text in the held form.
std::size_t CharacterCount(std::string_view text, TextEncoding held);
// The longest start of text of at most maxBytes bytes that ends on a
// character boundary.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes, TextEncoding held);

// UTF-8 text to Windows-1256 where every character is in it exactly (no
// nearest letters): the same characters, one byte each. False otherwise.
bool Utf8ToCp1256Exactly(std::string_view utf8, std::string& out);

} // namespace rasmik
