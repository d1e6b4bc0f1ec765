#include "table/TextAlphabet.h"

#include "text/Cp1256.h"

namespace rasmik {

namespace {

std::array<char16_t, 256> windows1256Characters()
{
    std::array<char16_t, 256> a{};
    for (std::size_t b = 0; b < 256; ++b)
        a[b] = Cp1256Table[b];
    return a;
}

// Persian text held as UTF-8 writes U+06CC for yeh and its own digits, which
// Windows-1256 lacks; the Latin letters with accents, the ligatures and the
// Urdu letters it has instead are rare in Persian tables.
std::array<char16_t, 256> persianCharacters()
{
    std::array<char16_t, 256> a = windows1256Characters();
    // clang-format off
    static constexpr std::pair<unsigned char, char16_t> Slots[] = {
        {0xE0, u'\u06CC'}, // à: Farsi yeh
        {0xE2, u'\u06F0'}, {0xE7, u'\u06F1'}, {0xE8, u'\u06F2'}, {0xE9, u'\u06F3'}, {0xEA, u'\u06F4'},
        {0xEB, u'\u06F5'}, {0xEE, u'\u06F6'}, {0xEF, u'\u06F7'}, {0xF4, u'\u06F8'}, {0xF9, u'\u06F9'},
        {0xFB, u'\u066B'}, // û: Arabic decimal separator
        {0xFC, u'\u066C'}, // ü: Arabic thousands separator
        {0x9C, u'\u066A'}, // œ: Arabic percent sign
        {0x88, u'\u0660'}, {0x86, u'\u0661'}, {0x87, u'\u0662'}, {0x89, u'\u0663'}, {0x99, u'\u0664'},
        {0x82, u'\u0665'}, {0x84, u'\u0666'}, {0x8A, u'\u0667'}, {0x8F, u'\u0668'}, {0x9A, u'\u0669'},
    };
    // clang-format on
    for (const auto& [b, c] : Slots)
        a[b] = c;
    return a;
}

} // namespace

TextAlphabet::TextAlphabet(const char* name, const std::array<char16_t, 256>& characters)
    : name_(name), characters_(characters)
{
    twoBytes_.fill(None);
    generalPunct_.fill(None);
    for (std::size_t b = 128; b < 256; ++b) {
        const char16_t c = characters_[b];
        if (c >= 0x80 && c < 0x800)
            twoBytes_[c] = static_cast<std::uint16_t>(b);
        else if (c >= 0x2000 && c < 0x2200)
            generalPunct_[c - 0x2000] = static_cast<std::uint16_t>(b);
    }
}

const TextAlphabet& TextAlphabet::windows1256()
{
    static const TextAlphabet alphabet("cp1256", windows1256Characters());
    return alphabet;
}

const TextAlphabet& TextAlphabet::persian()
{
    static const TextAlphabet alphabet("persian", persianCharacters());
    return alphabet;
}

bool TextAlphabet::differsFromWindows1256(unsigned char b) const
{
    return characters_[b] != Cp1256Table[b];
}

bool TextAlphabet::fromUtf8(std::string_view utf8, std::string& out) const
{
    out.resize(utf8.size());
    char* to = out.data();
    if (!forEachByteOfUtf8(utf8, [&to](unsigned char byte) { *to++ = static_cast<char>(byte); }))
        return false;
    out.resize(static_cast<std::size_t>(to - out.data()));
    return true;
}

std::string TextAlphabet::fromUtf16(std::u16string_view text) const
{
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        char byte = '?';
        if (c < 0x80)
            byte = static_cast<char>(c);
        else if (c < 0x800 && twoBytes_[c] != None)
            byte = static_cast<char>(twoBytes_[c]);
        else if (c >= 0x2000 && c < 0x2200 && generalPunct_[c - 0x2000] != None)
            byte = static_cast<char>(generalPunct_[c - 0x2000]);
        out.push_back(byte);
    }
    return out;
}

} // namespace rasmik
