#pragma once
// Made-up tables for the benchmark: ten columns of Persian names and words,
// Latin words, numbers with thousands commas, codes, dates and empty fields,
// as TAB-separated lines or as fixed-width fields with their ".cfg".

#include <cstdint>
#include <string>

namespace rasmik::bench {

enum class TableFormat { Tabs, Fixed };

struct GeneratedTable {
    std::string path;
    std::uint64_t bytes = 0;
    std::uint64_t rows = 0; // table rows, the header row included
};

// The column that holds amounts with thousands commas (for the sum).
inline constexpr int AmountColumn = 3;
// A word that only the last row holds, and one that no row holds.
inline constexpr const char* LastRowWordUtf8 = "سرانجام";
inline constexpr const char* MissingWordUtf8 = "ناپیدا";

// Writes a header row and bodyRows rows to path; for Fixed also the ".cfg"
// beside it. The same seed gives the same bytes. Empty path on failure.
GeneratedTable GenerateTable(const std::string& path, std::uint64_t bodyRows, TableFormat format,
                             std::uint64_t seed = 1400);

} // namespace rasmik::bench
