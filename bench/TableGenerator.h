#pragma once
// Made-up tables for the benchmark, as TAB-separated lines, as fixed-width
// fields with their ".cfg" or comma-separated with quoted fields (commas,
// quotes and line breaks in them), in Windows-1256 or UTF-8. Kinds: ten columns of
// values drawn from short lists (Persian names and words, Latin words,
// numbers with thousands commas, codes, dates, empty fields), and tables
// whose cells hardly ever repeat: Latin identifiers, Persian text, mixed
// notes, and a few huge cells among repeated values.

#include <cstdint>
#include <string>

namespace rasmik::bench {

enum class TableFormat { Tabs, Fixed, Csv };

enum class TableKind {
    Repeated, // values drawn from short lists
    Latin,    // UUIDs, e-mail addresses, lower-case hex keys, URLs
    Persian,  // Persian names with a number, short phrases, addresses
    Mixed,    // notes of Persian and Latin words, codes and numbers
    Long,     // repeated values and a few cells of 10,000 characters
};

enum class TableEncoding { Cp1256, Utf8 };

// "repeated", "latin", "persian", "mixed", "long"; false for another name.
bool ParseTableKind(const std::string& name, TableKind& kind);
const char* TableKindName(TableKind kind);

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
// beside it. The same arguments give the same bytes. Every kind has the
// amounts in AmountColumn and the search words in its last row. Empty path
// on failure. columns above 0 keeps only the first columns of the kind
// (the row number, names, the amounts and, from 5 on, the search words).
GeneratedTable GenerateTable(const std::string& path, std::uint64_t bodyRows, TableFormat format,
                             TableKind kind = TableKind::Repeated, TableEncoding encoding = TableEncoding::Cp1256,
                             int columns = 0, std::uint64_t seed = 1400);

} // namespace rasmik::bench
