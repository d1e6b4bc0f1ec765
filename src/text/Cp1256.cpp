#include "text/Cp1256.h"

#include <array>
#include <cstdint>

namespace rasmik {

// Windows-1256 as Microsoft publishes it; every byte is defined.
// clang-format off
constexpr char16_t Cp1256Table[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F,
    0x20AC, 0x067E, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0679, 0x2039, 0x0152, 0x0686, 0x0698, 0x0688,
    0x06AF, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x06A9, 0x2122, 0x0691, 0x203A, 0x0153, 0x200C, 0x200D, 0x06BA,
    0x00A0, 0x060C, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x06BE, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x061B, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x061F,
    0x06C1, 0x0621, 0x0622, 0x0623, 0x0624, 0x0625, 0x0626, 0x0627,
    0x0628, 0x0629, 0x062A, 0x062B, 0x062C, 0x062D, 0x062E, 0x062F,
    0x0630, 0x0631, 0x0632, 0x0633, 0x0634, 0x0635, 0x0636, 0x00D7,
    0x0637, 0x0638, 0x0639, 0x063A, 0x0640, 0x0641, 0x0642, 0x0643,
    0x00E0, 0x0644, 0x00E2, 0x0645, 0x0646, 0x0647, 0x0648, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x0649, 0x064A, 0x00EE, 0x00EF,
    0x064B, 0x064C, 0x064D, 0x064E, 0x00F4, 0x064F, 0x0650, 0x00F7,
    0x0651, 0x00F9, 0x0652, 0x00FB, 0x00FC, 0x200E, 0x200F, 0x06D2,
};
// clang-format on

namespace {

constexpr unsigned char Unmapped = '?';
constexpr unsigned char ArabicLam = 0xE1;

struct FormRange {
    char16_t first;
    char16_t last;
    char16_t base;
};

// Contextual presentation forms whose letter exists in Windows-1256 (or
// folds into it): each form becomes its base letter, as compatibility
// normalisation would have it.
constexpr FormRange PresentationForms[] = {
    // Forms-A: the Persian and Urdu letters.
    {0xFB56, 0xFB59, 0x067E},
    {0xFB66, 0xFB69, 0x0679},
    {0xFB7A, 0xFB7D, 0x0686},
    {0xFB88, 0xFB89, 0x0688},
    {0xFB8A, 0xFB8B, 0x0698},
    {0xFB8C, 0xFB8D, 0x0691},
    {0xFB8E, 0xFB91, 0x06A9},
    {0xFB92, 0xFB95, 0x06AF},
    {0xFB9E, 0xFB9F, 0x06BA},
    {0xFBA4, 0xFBA5, 0x06C0},
    {0xFBA6, 0xFBA9, 0x06C1},
    {0xFBAA, 0xFBAD, 0x06BE},
    {0xFBAE, 0xFBAF, 0x06D2},
    {0xFBE8, 0xFBE9, 0x0649},
    {0xFBFC, 0xFBFF, 0x06CC},
    // Forms-B: the Arabic letters.
    {0xFE80, 0xFE80, 0x0621},
    {0xFE81, 0xFE82, 0x0622},
    {0xFE83, 0xFE84, 0x0623},
    {0xFE85, 0xFE86, 0x0624},
    {0xFE87, 0xFE88, 0x0625},
    {0xFE89, 0xFE8C, 0x0626},
    {0xFE8D, 0xFE8E, 0x0627},
    {0xFE8F, 0xFE92, 0x0628},
    {0xFE93, 0xFE94, 0x0629},
    {0xFE95, 0xFE98, 0x062A},
    {0xFE99, 0xFE9C, 0x062B},
    {0xFE9D, 0xFEA0, 0x062C},
    {0xFEA1, 0xFEA4, 0x062D},
    {0xFEA5, 0xFEA8, 0x062E},
    {0xFEA9, 0xFEAA, 0x062F},
    {0xFEAB, 0xFEAC, 0x0630},
    {0xFEAD, 0xFEAE, 0x0631},
    {0xFEAF, 0xFEB0, 0x0632},
    {0xFEB1, 0xFEB4, 0x0633},
    {0xFEB5, 0xFEB8, 0x0634},
    {0xFEB9, 0xFEBC, 0x0635},
    {0xFEBD, 0xFEC0, 0x0636},
    {0xFEC1, 0xFEC4, 0x0637},
    {0xFEC5, 0xFEC8, 0x0638},
    {0xFEC9, 0xFECC, 0x0639},
    {0xFECD, 0xFED0, 0x063A},
    {0xFED1, 0xFED4, 0x0641},
    {0xFED5, 0xFED8, 0x0642},
    {0xFED9, 0xFEDC, 0x0643},
    {0xFEDD, 0xFEE0, 0x0644},
    {0xFEE1, 0xFEE4, 0x0645},
    {0xFEE5, 0xFEE8, 0x0646},
    {0xFEE9, 0xFEEC, 0x0647},
    {0xFEED, 0xFEEE, 0x0648},
    {0xFEEF, 0xFEF0, 0x0649},
    {0xFEF1, 0xFEF4, 0x064A},
};

// The lam-alef ligatures U+FEF5..U+FEFC, two forms each: the alef that
// follows lam in their decomposition.
constexpr unsigned char LamAlefSecond[4] = {0xC2, 0xC3, 0xC5, 0xC7};

// Code points to bytes, one 256-entry page per high byte that holds
// anything; page 0 is all '?'.
constexpr char16_t MappedPages[] = {0x00, 0x01, 0x02, 0x06, 0x20, 0x21, 0xFB, 0xFE};

struct ReverseTable {
    std::array<unsigned char, 256> pageOf{};
    std::array<std::array<unsigned char, 256>, std::size(MappedPages) + 1> pages{};

    constexpr unsigned char get(char32_t cp) const
    {
        return cp > 0xFFFF ? Unmapped : pages[pageOf[cp >> 8]][cp & 0xFF];
    }
    constexpr void set(char32_t cp, unsigned char b)
    {
        if (pageOf[cp >> 8] == 0)
            throw "code point outside the mapped pages"; // stops the compile
        pages[pageOf[cp >> 8]][cp & 0xFF] = b;
    }
};

constexpr ReverseTable BuildReverse()
{
    ReverseTable t;
    for (auto& page : t.pages)
        page.fill(Unmapped);
    for (std::size_t i = 0; i < std::size(MappedPages); ++i)
        t.pageOf[MappedPages[i]] = static_cast<unsigned char>(i + 1);

    // Nearest letters first, so that an exact byte always wins.
    t.set(0x06CC, 0xED); // Farsi yeh -> Arabic yeh
    t.set(0x06C0, 0xE5); // heh with yeh above (ezafe) -> heh
    for (char32_t d = 0; d < 10; ++d) {
        t.set(0x06F0 + d, static_cast<unsigned char>('0' + d)); // Persian digits
        t.set(0x0660 + d, static_cast<unsigned char>('0' + d)); // Arabic-Indic digits
    }
    for (int b = 0; b < 256; ++b)
        t.set(Cp1256Table[b], static_cast<unsigned char>(b));
    for (const FormRange& r : PresentationForms) {
        const unsigned char b = t.get(r.base);
        for (char32_t cp = r.first; cp <= r.last; ++cp)
            t.set(cp, b);
    }
    return t;
}

constexpr ReverseTable Reverse = BuildReverse();

void AppendCodePoint(std::string& out, char32_t cp)
{
    if (cp >= 0xFEF5 && cp <= 0xFEFC) {
        out.push_back(static_cast<char>(ArabicLam));
        out.push_back(static_cast<char>(LamAlefSecond[(cp - 0xFEF5) / 2]));
        return;
    }
    out.push_back(static_cast<char>(Reverse.get(cp)));
}

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

} // namespace

std::u16string Cp1256ToUnicode(std::string_view bytes)
{
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = Cp1256Table[static_cast<unsigned char>(bytes[i])];
    return out;
}

int ExactCp1256Byte(char32_t cp)
{
    const unsigned char b = Reverse.get(cp);
    return Cp1256Table[b] == cp ? b : -1;
}

bool AppendNearestCp1256(char32_t cp, std::string& out)
{
    if ((cp >= 0xFEF5 && cp <= 0xFEFC) || cp == Unmapped || Reverse.get(cp) != Unmapped) {
        AppendCodePoint(out, cp);
        return true;
    }
    return false;
}

char UnicodeToCp1256Char(char32_t cp)
{
    return static_cast<char>(Reverse.get(cp));
}

std::string UnicodeToCp1256(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            // Nothing beyond the BMP exists in the code page; a pair is one '?'.
            if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            out.push_back(static_cast<char>(Unmapped));
            continue;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

std::string Utf8ToCp1256(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0; // no overlong forms
            if (b == 0xED)
                hi = 0x9F; // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            if (b == 0xF4)
                hi = 0x8F;
        } else {
            out.push_back(static_cast<char>(Unmapped));
            ++i;
            continue;
        }
        // A broken sequence gives one '?' for its longest valid beginning.
        std::size_t j = i + 1;
        int got = 0;
        while (got < need && j < n) {
            const unsigned char c = at(j);
            const bool ok = got == 0 ? (c >= lo && c <= hi) : IsContinuation(c);
            if (!ok)
                break;
            cp = (cp << 6) | (c & 0x3F);
            ++got;
            ++j;
        }
        if (got == need)
            AppendCodePoint(out, cp);
        else
            out.push_back(static_cast<char>(Unmapped));
        i = j;
    }
    return out;
}

std::string Cp1256ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const char16_t c = Cp1256Table[static_cast<unsigned char>(ch)];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

} // namespace rasmik
