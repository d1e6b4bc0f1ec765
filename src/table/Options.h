#pragma once
// Key=value settings files: the program's settings (written at once on every
// change) and the read-only "AppOptions.txt".

#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// Value of the first line of entries whose key (text before the first '=')
// matches key case-insensitively; empty when none matches.
std::string KeyValueOf(const std::vector<std::string>& entries, std::string_view key);
// Index of that line, or -1.
int KeyIndexOf(const std::vector<std::string>& entries, std::string_view key);

class TOptions {
public:
    // An empty name gives an object that never touches a file.
    explicit TOptions(std::string fileName = {});
    virtual ~TOptions() = default;

    std::vector<std::string> Entries;
    std::string FileName;

    void Load();
    bool Save();
    // Replaces or appends key=value; an empty value removes the key's line. Saves.
    void SetValue(std::string_view key, std::string_view value);
    bool GetBool(std::string_view key) const;
    // Flips the stored boolean and saves; returns the new state.
    bool Toggle(std::string_view key);

    static const std::vector<std::string>& TrueWords();
};

// The program's settings: <executable path without extension>_Settings.cfg in
// the program's folder, loaded on the first call.
TOptions& Settings();
// The settings file name for an executable path and the program's folder.
std::string SettingsFileName(const std::string& exePath, const std::string& folder);

// "AppOptions.txt" of the program's folder, read on first use and kept.
const std::vector<std::string>& AppOptions(bool reload = false);
std::string GetAppOption(std::string_view key);

} // namespace rasmik
