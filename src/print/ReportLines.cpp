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
    out += std::to_string(value);
    out += ' ';
}

// Columns wider than this many pixels print.
constexpr int NarrowColumnWidth = 8;

std::uint8_t clampSize(int size)
{
    return static_cast<std::uint8_t>(std::clamp(size, 0, 255));
}

} // namespace

std::string FormatShare(double share)
{
    if (!std::isfinite(share))
        return "0";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, share, std::chars_format::general, 15);
    return std::string(buf, res.ptr);
}

std::string EscapeCaption(std::string_view caption)
{
    std::string out;
    out.reserve(caption.size());
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
    item += FormatShare(share);
    item += ' ';
    appendToken(item, colour);
    appendToken(item, alignment);
    appendToken(item, leftLine);
    appendToken(item, rightLine);
    appendToken(item, topLine);
    appendToken(item, bottomLine);
    appendToken(item, fontSize);
    appendToken(item, style.bold ? 1 : 0);
    appendToken(item, style.italic ? 1 : 0);
    appendToken(item, style.underline ? 1 : 0);
    appendToken(item, style.strikeOut ? 1 : 0);
    for (char c : fontName)
        if (c != '*')
            item += c;
    item += '*';
    item += EscapeCaption(caption);
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
    std::vector<double> shares;
    shares.reserve(printed.size());
    for (int c : printed)
        shares.push_back(static_cast<double>(static_cast<long long>(grid.ColWidth(c)) * 100)
                         / static_cast<double>(total));

    const std::uint8_t size = clampSize(font.size + 2);
    const int rows = grid.RowCount();
    const bool utf8 = grid.Encoding() != TextEncoding::Windows1256;
    const std::string fontName = utf8 ? Cp1256ToUtf8(font.name) : font.name;
    const std::string_view mark = utf8 ? RightToLeftMarkUtf8 : std::string_view(&RightToLeftMark, 1);
    auto cellText = [&](int col, int row) -> std::string_view {
        return row < rows ? grid.Cell(col, row) : std::string_view{};
    };

    std::string line;
    for (std::size_t k = 0; k < printed.size(); ++k) {
        const int c = printed[k];
        line += MakeCellItem(2, c == last ? 1 : 0, 1, 1, 1, ReportBandColour, font.style, fontName, size,
                             cellText(c, 0), shares[k]);
        line += ItemSeparator;
    }
    lines.push_back(std::move(line));

    std::string caption;
    for (int r = 1; r < rows; ++r) {
        line.clear();
        for (std::size_t k = 0; k < printed.size(); ++k) {
            const int c = printed[k];
            caption.assign(mark);
            caption += "  ";
            caption += grid.Cell(c, r);
            line += MakeCellItem(0, c == last ? 1 : 0, 1, 0, 1, ReportBandColour, font.style, fontName, size, caption,
                                 shares[k]);
            line += ItemSeparator;
        }
        lines.push_back(line);
    }
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
