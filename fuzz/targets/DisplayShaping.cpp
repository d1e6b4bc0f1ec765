// Display shaping of Iran System cells against its steps done one by one the
// plain way. Input: the cell's bytes.

#include "render/DisplayShaping.h"

#include "FuzzTargets.h"

#include "text/PersianLetters.h"

#include <algorithm>

using namespace rasmik;

namespace {

// Iran System bytes through IranSystemToAnsi (lam-alef 0xF2 gives lam then
// alef); '(' and ')' swap; other ASCII stays.
std::string MapIranSystem(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            out.push_back(static_cast<char>(IranSystemToAnsi[b - 0x80]));
            if (b == 0xF2)
                out.push_back('\xC7');
        } else {
            out.push_back(c == '(' ? ')' : c == ')' ? '(' : c);
        }
    }
    return out;
}

// Every maximal run of bytes below 0x80 reversed back in place.
std::string RestoreLatinRuns(std::string text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::size_t j = i;
        while (j < text.size() && static_cast<unsigned char>(text[j]) < 0x80)
            ++j;
        std::reverse(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(j));
        i = j == i ? i + 1 : j;
    }
    return text;
}

} // namespace

namespace rasmik::fuzz {

int DisplayShaping(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string shaped = ShapeDisplayText(text);
    std::string reused = "left over from the cell before";
    ShapeDisplayText(text, reused);
    FUZZ_CHECK(reused == shaped);
    // Trimmed of blanks and controls, no doubled space.
    FUZZ_CHECK(
        shaped.empty()
        || (static_cast<unsigned char>(shaped.front()) > 0x20 && static_cast<unsigned char>(shaped.back()) > 0x20));
    FUZZ_CHECK(shaped.find("  ") == std::string::npos);

    // The same steps one by one: reverse, map, restore Latin runs, trim.
    const std::string mapped = MapIranSystem(text);
    FUZZ_CHECK(mapped.size() == text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\xF2')));
    FUZZ_CHECK(shaped.size() <= mapped.size() + 2); // the padding may end up inside a Latin run
    const std::string steps = RestoreLatinRuns(" " + MapIranSystem(std::string(text.rbegin(), text.rend())) + " ");
    std::string expected;
    for (const char c : steps)
        if (!(c == ' ' && !expected.empty() && expected.back() == ' '))
            expected.push_back(c);
    std::size_t first = 0, last = expected.size();
    while (first < last && static_cast<unsigned char>(expected[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(expected[last - 1]) <= 0x20)
        --last;
    expected = expected.substr(first, last - first);
    FUZZ_CHECK(shaped == expected);
    return 0;
}

} // namespace rasmik::fuzz
