#pragma once
// How a table file separates and quotes its fields: TAB without quoting
// (".txt", ".tsv", ".tab"), or comma, semicolon, TAB or "|" with the
// double-quote quoting of comma-separated files (".csv"): a field in
// quotes may hold the separator, TABs, CR, LF and "" for a quote.

#include <cstddef>
#include <string>
#include <string_view>

namespace rasmik {

struct TableForm {
    char separator = '\t';
    bool quoted = false;
    bool operator==(const TableForm&) const = default;
};

inline constexpr TableForm TabForm{};
inline constexpr TableForm CommaForm{',', true};

// Whether a file name ends in ".csv" (any letter case).
bool IsCsvPath(std::string_view path);
// The form a table at path is read in: ".csv" with the separator found in
// its first lines (DetectCsvSeparator), every other name TAB-separated.
TableForm FormForPath(std::string_view path, std::string_view bytes);
// Comma or semicolon, whichever gives the same number of fields (more than
// one, outside quotes) on each of the first lines; the one giving more
// fields when both do; comma when undecided.
char DetectCsvSeparator(std::string_view bytes);

// What a quoted field's text is, as the grid can hold it.
enum class FieldKind {
    Plain,       // the view is the field's text (unquoted, or inside quotes)
    QuotedEmpty, // "": an empty field the file quoted
    Copy,        // "" inside, or text after the closing quote: UnquoteField(raw)
};

// The end of a quoted field's text: the offset of its closing quote in
// text, searched from from (just past the opening quote), skipping "".
// npos when the quote is never closed. doubled, when given, is set when a
// "" was skipped on the way, that is when the text holds a quote.
std::size_t ClosingQuote(std::string_view text, std::size_t from, bool* doubled = nullptr);

// Calls onField(view, raw, kind) for each field of one record of a quoted
// form; raw is the field's bytes as written. An empty record has no field;
// a record ending in the separator ends with an empty field.
template <typename F>
void ForEachQuotedField(std::string_view record, char separator, F&& onField);

// Number of fields of a record (an empty record has none).
int CountQuotedFields(std::string_view record, char separator);

// The text of a field written raw: quotes taken off and "" made one quote,
// the text after the closing quote kept as it stands.
std::string UnquoteField(std::string_view raw);

// Whether text must be quoted in a field of this separator: it holds the
// separator, a quote, CR or LF.
bool FieldNeedsQuotes(std::string_view text, char separator);
// Appends text as a quoted field: in quotes, each quote doubled.
void AppendQuotedField(std::string_view text, std::string& out);

// The separator's name on the command line and in "Reopen As":
// "comma", "semicolon", "tab", "pipe"; 0 for another name.
char SeparatorNamed(std::string_view name);

// ---- implementation of the template ----
template <typename F>
void ForEachQuotedField(std::string_view record, char separator, F&& onField)
{
    std::size_t i = 0;
    const std::size_t n = record.size();
    if (n == 0)
        return;
    for (;;) {
        std::size_t end;
        if (i < n && record[i] == '"') {
            bool escaped = false;
            const std::size_t close = ClosingQuote(record, i + 1, &escaped);
            const std::size_t textEnd = close == std::string_view::npos ? n : close;
            std::size_t after = close == std::string_view::npos ? n : close + 1;
            // Mostly the separator follows the closing quote at once.
            end = after >= n ? n : record[after] == separator ? after : record.find(separator, after);
            if (end == std::string_view::npos)
                end = n;
            const std::string_view inside = record.substr(i + 1, textEnd - i - 1);
            const std::string_view raw = record.substr(i, end - i);
            if (escaped || end != after)
                onField(inside, raw, FieldKind::Copy);
            else if (inside.empty())
                onField(inside, raw, FieldKind::QuotedEmpty);
            else
                onField(inside, raw, FieldKind::Plain);
        } else {
            end = record.find(separator, i);
            if (end == std::string_view::npos)
                end = n;
            const std::string_view field = record.substr(i, end - i);
            onField(field, field, FieldKind::Plain);
        }
        if (end >= n)
            return;
        i = end + 1;
        if (i == n) {
            onField(record.substr(n), record.substr(n), FieldKind::Plain);
            return;
        }
    }
}

} // namespace rasmik
