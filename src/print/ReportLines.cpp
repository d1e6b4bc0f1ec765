#include "print/ReportLines.h"

#include "table/CoreGrid.h"
#include "text/Cp1256.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace rasmik {

namespace {

constexpr char Fe = '\xFE';
constexpr char Bang = '\x21';
constexpr char Grave = '\x60';

// Length of the 0x1F run after an "FE 21" at i when the run is closed by "60";
// -1 when no escapable sequence starts at i.
int escapableRunAt(std::string_view s, std::size_t i)
{
    if (i + 2 >= s.size() || s[i] != Fe || s[i + 1] != Bang)
        return -1;
    std::size_t j = i + 2;
    while (j < s.size() && s[j] == CaptionEscapeByte)
        ++j;
    if (j < s.size() && s[j] == Grave)
        return static_cast<int>(j - (i + 2));
    return -1;
}

void appendToken(std::string& out, long long value)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
    out += ' ';
}

// Columns wider than this many pixels print.
constexpr int NarrowColumnWidth = 8;

std::uint8_t clampSize(int size)
{
    return static_cast<std::uint8_t>(std::clamp(size, 0, 255));
}

// FormatShare into buf, without a string of its own.
std::string_view formatShare(double share, char (&buf)[64])
{
    if (!std::isfinite(share))
        return "0";
    const auto res = std::to_chars(buf, buf + sizeof buf, share, std::chars_format::general, 15);
    return {buf, static_cast<std::size_t>(res.ptr - buf)};
}

// The bytes EscapeCaption(caption) makes.
std::size_t escapedSize(std::string_view caption)
{
    std::size_t size = caption.size();
    for (std::size_t i = 0; i < caption.size(); ++i)
        if (escapableRunAt(caption, i) >= 0) {
            ++size;
            ++i;
        }
    return size;
}

void appendEscaped(std::string& out, std::string_view caption)
{
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (escapableRunAt(caption, i) >= 0) {
            out += Fe;
            out += Bang;
            out += CaptionEscapeByte;
            ++i; // the run and the grave accent follow as they are
            continue;
        }
        out += caption[i];
    }
}

// MakeCellItem's tokens up to the font name, appended to out; the name and
// the caption follow.
void appendItemTokens(std::string& out, std::string_view share, std::uint8_t alignment, std::uint8_t leftLine,
                      std::uint8_t rightLine, std::uint8_t topLine, std::uint8_t bottomLine, std::int32_t colour,
                      const FontStyle& style, std::uint8_t fontSize)
{
    out += share;
    out += ' ';
    appendToken(out, colour);
    appendToken(out, alignment);
    appendToken(out, leftLine);
    appendToken(out, rightLine);
    appendToken(out, topLine);
    appendToken(out, bottomLine);
    appendToken(out, fontSize);
    appendToken(out, style.bold ? 1 : 0);
    appendToken(out, style.italic ? 1 : 0);
    appendToken(out, style.underline ? 1 : 0);
    appendToken(out, style.strikeOut ? 1 : 0);
}

} // namespace

std::string FormatShare(double share)
{
    char buf[64];
    return std::string(formatShare(share, buf));
}

std::string EscapeCaption(std::string_view caption)
{
    std::string out;
    out.reserve(escapedSize(caption));
    appendEscaped(out, caption);
    return out;
}

std::string UnescapeCaption(std::string_view caption)
{
    std::string out;
    out.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (escapableRunAt(caption, i) >= 1) {
            out += Fe;
            out += Bang;
            i += 2; // drops one escape byte
            continue;
        }
        out += caption[i];
    }
    return out;
}

std::string MakeCellItem(std::uint8_t alignment, std::uint8_t leftLine, std::uint8_t rightLine, std::uint8_t topLine,
                         std::uint8_t bottomLine, std::int32_t colour, const FontStyle& style,
                         std::string_view fontName, std::uint8_t fontSize, std::string_view caption, double share)
{
    std::string item;
    item.reserve(48 + fontName.size() + caption.size());
    appendItemTokens(item, FormatShare(share), alignment, leftLine, rightLine, topLine, bottomLine, colour, style,
                     fontSize);
    for (char c : fontName)
        if (c != '*')
            item += c;
    item += '*';
    appendEscaped(item, caption);
    return item;
}

void GridToReportLines(const CoreGrid& grid, int firstCol, int lastCol, const ReportFont& font,
                       std::vector<std::string>& lines)
{
    const int first = std::max(firstCol, 0);
    const int last = std::min(lastCol, grid.ColCount() - 1);

    std::vector<int> printed;
    long long total = 0;
    for (int c = first; c <= last; ++c) {
        const int w = grid.ColWidth(c);
        if (w > NarrowColumnWidth) {
            printed.push_back(c);
            total += w;
        }
    }
    auto shareOf = [&](int c) {
        return static_cast<double>(static_cast<long long>(grid.ColWidth(c)) * 100) / static_cast<double>(total);
    };
    // The share texts are written again for every row: a wide grid would
    // otherwise keep one string per column. Their lengths size the lines.
    std::vector<std::uint8_t> shareSize;
    shareSize.reserve(printed.size());
    char shareText[64];
    for (int c : printed)
        shareSize.push_back(static_cast<std::uint8_t>(formatShare(shareOf(c), shareText).size()));

    const std::uint8_t size = clampSize(font.size + 2);
    const int rows = grid.RowCount();
    const bool utf8 = grid.Encoding() != TextEncoding::Windows1256;
    std::string fontName = utf8 ? Cp1256ToUtf8(font.name) : font.name;
    std::erase(fontName, '*');
    const std::string_view mark = utf8 ? RightToLeftMarkUtf8 : std::string_view(&RightToLeftMark, 1);
    auto cellText = [&](int col, int row) -> std::string_view {
        return row < rows ? grid.Cell(col, row) : std::string_view{};
    };

    // One row's line, made in a string of its exact size: a line of a wide
    // grid is as long as all its items.
    auto makeLine = [&](int row, std::uint8_t alignment, std::uint8_t topLine, std::string_view prefix) {
        std::string tokens;
        appendItemTokens(tokens, {}, alignment, 0, 1, topLine, 1, ReportBandColour, font.style, size);
        std::size_t bytes = 0;
        for (std::size_t k = 0; k < printed.size(); ++k)
            bytes += shareSize[k] + tokens.size() + fontName.size() + 1 + prefix.size()
                + escapedSize(cellText(printed[k], row)) + ItemSeparator.size();
        std::string line;
        line.reserve(bytes);
        for (std::size_t k = 0; k < printed.size(); ++k) {
            const int c = printed[k];
            appendItemTokens(line, formatShare(shareOf(c), shareText), alignment, c == last ? 1 : 0, 1, topLine, 1,
                             ReportBandColour, font.style, size);
            line += fontName;
            line += '*';
            // The prefix (a mark and spaces) cannot start a separator with the text.
            line += prefix;
            appendEscaped(line, cellText(c, row));
            line += ItemSeparator;
        }
        return line;
    };

    lines.reserve(lines.size() + static_cast<std::size_t>(std::max(rows, 1)));
    lines.push_back(makeLine(0, 2, 1, {}));
    std::string prefix(mark);
    prefix += "  ";
    for (int r = 1; r < rows; ++r)
        lines.push_back(makeLine(r, 0, 0, prefix));
}

void BuildPrintLines(const CoreGrid& grid, const ReportFont& gridFont, const std::string& heldTitle,
                     std::vector<std::string>& lines)
{
    lines.clear();
    const TextEncoding held = grid.Encoding();
    const std::string fontName = held != TextEncoding::Windows1256 ? Cp1256ToUtf8(gridFont.name) : gridFont.name;
    lines.push_back(MakeCellItem(2, 1, 1, 1, 1, ReportBandColour, gridFont.style, fontName, clampSize(gridFont.size),
                                 heldTitle, 100));
    GridToReportLines(grid, 0, grid.ColCount() - 1, gridFont, lines);
}

} // namespace rasmik
