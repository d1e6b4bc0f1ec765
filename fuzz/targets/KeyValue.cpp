// Key=value files (the settings file, "AppOptions.txt", a table's .cfg):
// lookups, booleans and changes on lines read from fuzzed bytes.
//
// Input: file bytes NUL key NUL value.

#include "FuzzTargets.h"

#include "table/Options.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <algorithm>

using namespace rasmik;

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool RefMatches(std::string_view line, std::string_view key)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq != key.size())
        return false;
    for (std::size_t i = 0; i < eq; ++i)
        if (lower(line[i]) != lower(key[i]))
            return false;
    return true;
}

int RefIndex(const std::vector<std::string>& entries, std::string_view key)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (RefMatches(entries[i], key))
            return static_cast<int>(i);
    return -1;
}

int Matching(const std::vector<std::string>& entries, std::string_view key)
{
    return static_cast<int>(
        std::count_if(entries.begin(), entries.end(), [&](const std::string& l) { return RefMatches(l, key); }));
}

bool RefBool(const std::vector<std::string>& entries, std::string_view key)
{
    const int i = RefIndex(entries, key);
    std::string v;
    if (i >= 0) {
        const std::string& l = entries[static_cast<std::size_t>(i)];
        v = l.substr(l.find('=') + 1);
    }
    while (!v.empty() && static_cast<unsigned char>(v.front()) <= 32)
        v.erase(v.begin());
    while (!v.empty() && static_cast<unsigned char>(v.back()) <= 32)
        v.pop_back();
    for (char& c : v)
        c = lower(c);
    for (const char* w : {"1", "t", "true", "ok", "enable", "enabled", "active", "actived"})
        if (v == w)
            return true;
    return ParseIntDef(v, 0) > 0;
}

// A key or value as a line can hold it.
std::string OneLine(std::string_view s, bool isKey)
{
    std::string out;
    for (char c : s)
        if (c != '\r' && c != '\n' && !(isKey && c == '='))
            out.push_back(c);
    return out;
}

} // namespace

namespace rasmik::fuzz {

int KeyValueFile(const std::uint8_t* data, std::size_t size)
{
    const auto parts = SplitInput(data, size, 3);
    const std::string key = OneLine(parts[1], true);
    const std::string value = OneLine(parts[2], false);

    TOptions options; // no file name: never touches a file
    options.Entries = SplitLines(parts[0]);
    FUZZ_CHECK(SplitLines(JoinLinesCrLf(options.Entries)) == options.Entries);

    for (const std::string_view k :
         {std::string_view(key), std::string_view("Maximize"), std::string_view("CellFormat")}) {
        const int i = RefIndex(options.Entries, k);
        FUZZ_CHECK(KeyIndexOf(options.Entries, k) == i);
        const std::string& l = i >= 0 ? options.Entries[static_cast<std::size_t>(i)] : std::string();
        FUZZ_CHECK(KeyValueOf(options.Entries, k) == (i >= 0 ? l.substr(l.find('=') + 1) : std::string()));
        FUZZ_CHECK(options.GetBool(k) == RefBool(options.Entries, k));
    }

    // SetValue replaces the first matching line or appends one; an empty value
    // removes the first matching line. Other lines stay as they were.
    const std::vector<std::string> old = options.Entries;
    const int at = RefIndex(old, key);
    options.SetValue(key, value);
    if (!value.empty()) {
        FUZZ_CHECK(KeyValueOf(options.Entries, key) == value);
        FUZZ_CHECK(options.Entries.size() == old.size() + (at < 0 ? 1 : 0));
        for (std::size_t i = 0; i < old.size(); ++i)
            if (static_cast<int>(i) != at)
                FUZZ_CHECK(options.Entries[i] == old[i]);
    } else if (at >= 0) {
        FUZZ_CHECK(options.Entries.size() + 1 == old.size());
    } else {
        FUZZ_CHECK(options.Entries == old);
    }

    // Toggle answers the state it stored, where one line holds the key.
    const bool was = options.GetBool(key);
    const int lines = Matching(options.Entries, key);
    const bool now = options.Toggle(key);
    FUZZ_CHECK(now == !was);
    if (lines <= 1)
        FUZZ_CHECK(options.GetBool(key) == now);
    return 0;
}

} // namespace rasmik::fuzz
