#include "render/CellStyle.h"

#include <charconv>
#include <limits>

namespace rasmik {

namespace {

void appendInt(std::string& out, std::int32_t v)
{
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

// Decimal 32-bit integer: optional sign, at least one digit, nothing else.
bool readInt(std::string_view s, std::int32_t& v)
{
    bool negative = false;
    std::size_t i = 0;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        i = 1;
    }
    if (i == s.size())
        return false;
    std::int64_t acc = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        acc = acc * 10 + (c - '0');
        if (acc > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            return false;
    }
    if (negative)
        acc = -acc;
    if (acc > std::numeric_limits<std::int32_t>::max())
        return false;
    v = static_cast<std::int32_t>(acc);
    return true;
}

const CharSet& plainTextBytes()
{
    static const CharSet set = [] {
        CharSet s;
        for (int b = 0; b <= 0x80; ++b)
            s.set(static_cast<std::size_t>(b));
        return s;
    }();
    return set;
}

} // namespace

void FormatCellStyle(std::string& out, std::int32_t fontColour, std::int32_t evenRowBack, std::int32_t oddRowBack,
                     std::int32_t selectedBackUnfocused, std::int32_t selectedBackFocused, std::int32_t align,
                     std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName)
{
    out.clear();
    const std::int32_t fields[8] = {fontColour,          evenRowBack, oddRowBack,     selectedBackUnfocused,
                                    selectedBackFocused, align,       styleBits & 15, fontSize};
    for (std::int32_t f : fields) {
        appendInt(out, f);
        out.push_back(',');
    }
    out.append(fontName);
}

std::string FormatCellStyle(std::int32_t fontColour, std::int32_t evenRowBack, std::int32_t oddRowBack,
                            std::int32_t selectedBackUnfocused, std::int32_t selectedBackFocused, std::int32_t align,
                            std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName)
{
    std::string out;
    FormatCellStyle(out, fontColour, evenRowBack, oddRowBack, selectedBackUnfocused, selectedBackFocused, align,
                    styleBits, fontSize, fontName);
    return out;
}

int AlignFromLetters(std::string_view alignLetters, int col)
{
    if (col < 0 || static_cast<std::size_t>(col) >= alignLetters.size())
        return AlignEnd;
    switch (alignLetters[static_cast<std::size_t>(col)]) {
    case 'C':
    case 'c': return AlignCentre;
    case 'L':
    case 'l': return AlignStart;
    default: return AlignEnd;
    }
}

void BuildCellStyle(std::string& out, int col, int row, std::string_view alignLetters, std::int32_t oddRowBack,
                    std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName, std::int32_t evenRowBack)
{
    if (row == 0) {
        FormatCellStyle(out, HeaderFontColour, HeaderBackColour, HeaderBackColour, HeaderBackColour, HeaderBackColour,
                        AlignCentre, styleBits, fontSize, fontName);
        return;
    }
    // A negative column (never given by the grid) still picks a colour.
    const int index = ((col % 8) + 8) % 8;
    FormatCellStyle(out, ColumnFontColours[static_cast<std::size_t>(index)],
                    evenRowBack == -1 ? EvenRowBackColour : evenRowBack,
                    oddRowBack == -1 ? OddRowBackColour : oddRowBack, UnfocusedCellColour, FocusedCellColour,
                    AlignFromLetters(alignLetters, col), styleBits, fontSize, fontName);
}

std::string BuildCellStyle(int col, int row, std::string_view alignLetters, std::int32_t oddRowBack,
                           std::int32_t styleBits, std::int32_t fontSize, std::string_view fontName,
                           std::int32_t evenRowBack)
{
    std::string out;
    BuildCellStyle(out, col, row, alignLetters, oddRowBack, styleBits, fontSize, fontName, evenRowBack);
    return out;
}

bool AllCharsIn(std::string_view text, const CharSet& set)
{
    for (char c : text)
        if (!set.test(static_cast<unsigned char>(c)))
            return false;
    return true;
}

namespace {

// Held UTF-8 text that sits at the start edge as a plain (Latin or number)
// text does: its characters, not its bytes, decide.
bool startsLeftToRightUtf8(std::string_view text)
{
    if (text.substr(0, 3) == "\xE2\x80\x8E") // U+200E
        return true;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const char32_t cp = NextCodePoint(text, i);
        if (!(cp == 0x20AC || IsAnyDigit(cp) || cp == 0x066B || cp == 0x066C))
            return false;
    }
    return true;
}

} // namespace

void AlignmentLettersFor(std::string& out, std::string_view displayText, int colCount, TextEncoding held)
{
    out.clear();
    const bool leftToRight = held == TextEncoding::Windows1256
        ? (!displayText.empty() && static_cast<unsigned char>(displayText[0]) == 0xFD)
            || AllCharsIn(displayText, plainTextBytes())
        : startsLeftToRightUtf8(displayText);
    if (leftToRight && colCount > 0)
        out.assign(static_cast<std::size_t>(colCount), 'l');
}

std::string AlignmentLettersFor(std::string_view displayText, int colCount, TextEncoding held)
{
    std::string out;
    AlignmentLettersFor(out, displayText, colCount, held);
    return out;
}

bool ParseCellStyle(std::string_view record, CellStyle& out)
{
    std::int32_t* const fields[8] = {
        &out.fontColour,          &out.evenRowBack, &out.oddRowBack, &out.selectedBackUnfocused,
        &out.selectedBackFocused, &out.align,       &out.styleBits,  &out.fontSize};
    for (std::int32_t* f : fields) {
        const std::size_t comma = record.find(',');
        if (comma == std::string_view::npos)
            return false;
        if (!readInt(record.substr(0, comma), *f))
            return false;
        record.remove_prefix(comma + 1);
    }
    out.fontName.assign(record);
    return true;
}

std::optional<CellStyle> ParseCellStyle(std::string_view record)
{
    CellStyle style;
    if (!ParseCellStyle(record, style))
        return std::nullopt;
    return style;
}

} // namespace rasmik
