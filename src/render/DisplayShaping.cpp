#include "render/DisplayShaping.h"

#include "text/PersianLetters.h"

#include <algorithm>

namespace rasmik {

namespace {

constexpr unsigned char LamAlefCode = 0xF2;
constexpr char Alef = static_cast<char>(0xC7);

bool isLatin(char c)
{
    return static_cast<unsigned char>(c) < 0x80;
}

void appendMapped(std::string& out, std::string_view text)
{
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            out.push_back(static_cast<char>(IranSystemToAnsi[b - 0x80]));
            if (b == LamAlefCode)
                out.push_back(Alef);
        } else if (c == '(') {
            out.push_back(')');
        } else if (c == ')') {
            out.push_back('(');
        } else {
            out.push_back(c);
        }
    }
}

void restoreRuns(std::string& s)
{
    const std::size_t n = s.size();
    std::size_t i = 0;
    // A run that starts on the last byte is one byte long: nothing to do.
    while (i + 1 < n) {
        if (!isLatin(s[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < n && isLatin(s[j + 1]))
            ++j;
        std::reverse(s.begin() + static_cast<std::ptrdiff_t>(i), s.begin() + static_cast<std::ptrdiff_t>(j) + 1);
        i = j + 1;
    }
}

} // namespace

void ShapeDisplayText(std::string_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size() + 8);
    // Padded with a space on each side, read backwards: the visual order
    // becomes the reading order of a right-to-left line.
    out.push_back(' ');
    for (auto it = text.rbegin(); it != text.rend(); ++it)
        appendMapped(out, std::string_view(&*it, 1));
    out.push_back(' ');
    restoreRuns(out);

    std::size_t first = 0;
    std::size_t last = out.size();
    while (first < last && static_cast<unsigned char>(out[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(out[last - 1]) <= 0x20)
        --last;

    // Trim and shrink every run of spaces to one, in place.
    std::size_t w = 0;
    for (std::size_t r = first; r < last; ++r) {
        if (out[r] == ' ' && w > 0 && out[w - 1] == ' ')
            continue;
        out[w++] = out[r];
    }
    out.resize(w);
}

std::string ShapeDisplayText(std::string_view text)
{
    std::string out;
    ShapeDisplayText(text, out);
    return out;
}

} // namespace rasmik
