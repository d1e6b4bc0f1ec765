#pragma once
// The fuzz targets' entry points. The libFuzzer drivers call one each; the
// regression test replays fuzz/corpus/<name>/ and fuzz/regressions/<name>/
// through the same functions, so a fixed finding stays fixed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik::fuzz {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

int TableLoad(const std::uint8_t* data, std::size_t size);
int KeyValueFile(const std::uint8_t* data, std::size_t size);
int FontLine(const std::uint8_t* data, std::size_t size);
int ClipboardTable(const std::uint8_t* data, std::size_t size);
int ReportLine(const std::uint8_t* data, std::size_t size);
int DisplayShaping(const std::uint8_t* data, std::size_t size);
int Numbers(const std::uint8_t* data, std::size_t size);
int WorkbookRead(const std::uint8_t* data, std::size_t size);
int CsvLoad(const std::uint8_t* data, std::size_t size);

struct Target {
    const char* name; // folder name under fuzz/corpus and fuzz/regressions
    Entry entry;
};

inline constexpr std::array<Target, 9> Targets{{
    {"table_load", &TableLoad},
    {"key_value", &KeyValueFile},
    {"font_line", &FontLine},
    {"clipboard", &ClipboardTable},
    {"report_line", &ReportLine},
    {"display_shaping", &DisplayShaping},
    {"numbers", &Numbers},
    {"workbook_read", &WorkbookRead},
    {"csv_load", &CsvLoad},
}};

// Set by the fuzzing driver: a target then skips, or measures more cheaply,
// inputs too slow to fuzz (a font looked up at hundreds of sizes). The
// regression test leaves it off and replays every input whole.
extern bool CapSlowInputs;

// Ends the run with the broken property: a finding for libFuzzer, a failed
// regression test otherwise.
[[noreturn]] void Fail(const char* file, int line, const char* what);

// Cuts the input into at most n parts at its first n - 1 NUL bytes; the last
// part keeps any further NULs. Missing parts are empty.
std::vector<std::string_view> SplitInput(const std::uint8_t* data, std::size_t size, std::size_t n);

// Makes a QGuiApplication on the offscreen platform when none exists yet.
void EnsureGuiApplication();

} // namespace rasmik::fuzz

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::rasmik::fuzz::Fail(__FILE__, __LINE__, #cond);                                                           \
    } while (0)
