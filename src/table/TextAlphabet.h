#pragma once
// An alphabet of 256 characters, one byte each, in which texts are bounded
// for column widths: Windows-1256 itself, or for UTF-8 tables a variant that
// trades its rarely used Latin and Urdu slots for the Persian characters
// Windows-1256 lacks (U+06CC, the Persian and Arabic-Indic digits, ...).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

class TextAlphabet {
public:
    // Bytes are Windows-1256 bytes.
    static const TextAlphabet& windows1256();
    // For UTF-8 text: bytes 0..127 are ASCII, the rest Windows-1256 with
    // some slots given to Persian characters.
    static const TextAlphabet& persian();

    // A short name, for telling alphabets apart in caches.
    const char* name() const { return name_; }
    char16_t character(unsigned char b) const { return characters_[b]; }
    // Whether byte b stands for another character than in Windows-1256.
    bool differsFromWindows1256(unsigned char b) const;

    // The text of UTF-8 in this alphabet, one byte per character; false (out
    // then holds anything) when a character is not in it.
    bool fromUtf8(std::string_view utf8, std::string& out) const;
    // Calls onByte(byte) for each character of UTF-8 text in turn, its byte
    // in this alphabet; false, from the first character not in it, when one
    // is not.
    template <typename OnByte>
    bool forEachByteOfUtf8(std::string_view utf8, OnByte&& onByte) const
    {
        const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
        const unsigned char* const end = p + utf8.size();
        while (p < end) {
            const unsigned char b = *p;
            std::uint16_t byte = b;
            if (b < 0x80) {
                ++p;
            } else if (b >= 0xC2 && b <= 0xDF) {
                if (end - p < 2 || (p[1] & 0xC0) != 0x80)
                    return false;
                byte = twoBytes_[((b & 0x1Fu) << 6) | (p[1] & 0x3Fu)];
                p += 2;
            } else if (b == 0xE2) {
                // U+2000..U+21FF: punctuation, joiners, direction marks.
                if (end - p < 3 || p[1] < 0x80 || p[1] > 0x87 || (p[2] & 0xC0) != 0x80)
                    return false;
                byte = generalPunct_[((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu)];
                p += 3;
            } else {
                return false;
            }
            if (byte == None)
                return false;
            onByte(static_cast<unsigned char>(byte));
        }
        return true;
    }
    // The same of UTF-16 text; characters not in the alphabet become '?'.
    std::string fromUtf16(std::u16string_view text) const;

private:
    TextAlphabet(const char* name, const std::array<char16_t, 256>& characters);

    static constexpr std::uint16_t None = 0x100;
    const char* name_;
    std::array<char16_t, 256> characters_;
    std::array<std::uint16_t, 0x800> twoBytes_;     // U+0080..U+07FF: byte, or None
    std::array<std::uint16_t, 0x200> generalPunct_; // U+2000..U+21FF: byte, or None
};

} // namespace rasmik
