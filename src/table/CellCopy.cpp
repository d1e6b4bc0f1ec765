#include "table/CellCopy.h"

#include "text/TextEncoding.h"

namespace rasmik {

namespace {

void AppendHtmlEscaped(std::string& out, std::string_view text)
{
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(ch);
        }
    }
}

// The cell's lines as lines of the HTML cell.
void AppendHtmlLines(std::string& out, std::string_view cell)
{
    std::size_t from = 0;
    for (;;) {
        const std::size_t brk = cell.find_first_of("\r\n", from);
        AppendHtmlEscaped(out, cell.substr(from, brk == std::string_view::npos ? brk : brk - from));
        if (brk == std::string_view::npos)
            return;
        out += "<br>";
        from = brk + (cell[brk] == '\r' && brk + 1 < cell.size() && cell[brk + 1] == '\n' ? 2 : 1);
    }
}

} // namespace

CopiedCells CopyCells(const CoreGrid& grid, const std::vector<int>& rows, int firstCol, int lastCol)
{
    CopiedCells out;
    if (firstCol > lastCol || rows.empty())
        return out;
    const TextEncoding held = grid.Encoding();
    const std::size_t cells = rows.size() * static_cast<std::size_t>(lastCol - firstCol + 1);
    const bool html = cells <= MaxHtmlCells;
    if (html)
        out.html = "<meta charset=\"utf-8\"><table>";
    std::string cell;
    for (const int r : rows) {
        if (html)
            out.html += "<tr>";
        for (int c = firstCol; c <= lastCol; ++c) {
            std::string_view text = grid.Cell(c, r);
            if (text == " ")
                text = {};
            cell.clear();
            AppendHeldAs(text, held, TextEncoding::Utf8, cell);
            // A TAB or a line break inside a cell would cut the block: such a
            // cell goes in quotes, as spreadsheet programs copy and paste it.
            if (cell.find_first_of("\t\r\n") == std::string::npos) {
                out.text += cell;
            } else {
                out.text += '"';
                for (const char ch : cell) {
                    out.text += ch;
                    if (ch == '"')
                        out.text += '"';
                }
                out.text += '"';
            }
            out.text.push_back(c == lastCol ? '\n' : '\t');
            if (html) {
                out.html += "<td>";
                AppendHtmlLines(out.html, cell);
                out.html += "</td>";
            }
        }
        if (html)
            out.html += "</tr>";
    }
    if (html)
        out.html += "</table>";
    return out;
}

} // namespace rasmik
