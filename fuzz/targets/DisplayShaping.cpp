// Display shaping of Iran System cells, with the helpers it is made of.
// Input: two position bytes, then the cell's bytes.

#include "render/DisplayShaping.h"

#include "FuzzTargets.h"

#include <algorithm>

using namespace rasmik;

namespace rasmik::fuzz {

int DisplayShaping(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int a = static_cast<int8_t>(data[0]);
    const int b = static_cast<int8_t>(data[1]);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

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
    std::string steps = RestoreLatinRuns(" " + MapIranSystem(ReverseText(text)) + " ");
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

    FUZZ_CHECK(ReverseText(ReverseText(text)) == text);
    FUZZ_CHECK(RestoreLatinRuns(RestoreLatinRuns(text)) == text);
    std::string range(text);
    ReverseRange(range, a, b);
    ReverseRange(range, a, b);
    FUZZ_CHECK(range == text);
    ReverseRange(range, a, b);
    FUZZ_CHECK(range.size() == text.size());
    return 0;
}

} // namespace rasmik::fuzz
