#include "table/Options.h"

#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <memory>

namespace rasmik {

namespace {

bool KeyMatches(std::string_view line, std::string_view key)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq != key.size())
        return false;
    for (std::size_t i = 0; i < eq; ++i) {
        unsigned char a = static_cast<unsigned char>(line[i]);
        unsigned char b = static_cast<unsigned char>(key[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 32);
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 32);
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

int KeyIndexOf(const std::vector<std::string>& entries, std::string_view key)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (KeyMatches(entries[i], key))
            return static_cast<int>(i);
    return -1;
}

std::string KeyValueOf(const std::vector<std::string>& entries, std::string_view key)
{
    const int i = KeyIndexOf(entries, key);
    if (i < 0)
        return {};
    const std::string& line = entries[static_cast<std::size_t>(i)];
    return line.substr(line.find('=') + 1);
}

TOptions::TOptions(std::string fileName) : FileName(std::move(fileName))
{
    Load();
}

void TOptions::Load()
{
    if (FileName.empty())
        return;
    LoadLinesRetry(&Entries, FileName);
}

bool TOptions::Save()
{
    return SaveLinesRetry(&Entries, FileName);
}

void TOptions::SetValue(std::string_view key, std::string_view value)
{
    const int i = KeyIndexOf(Entries, key);
    if (!value.empty()) {
        std::string line = std::string(key) + "=" + std::string(value);
        if (i >= 0)
            Entries[static_cast<std::size_t>(i)] = std::move(line);
        else
            Entries.push_back(std::move(line));
    } else if (i >= 0) {
        Entries.erase(Entries.begin() + i);
    }
    Save();
}

const std::vector<std::string>& TOptions::TrueWords()
{
    static const std::vector<std::string> words{"1", "t", "true", "ok", "enable", "enabled", "active", "actived"};
    return words;
}

bool TOptions::GetBool(std::string_view key) const
{
    std::string v = KeyValueOf(Entries, key);
    std::size_t b = 0, e = v.size();
    while (b < e && static_cast<unsigned char>(v[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(v[e - 1]) <= 32)
        --e;
    v = v.substr(b, e - b);
    for (char& c : v)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    for (const auto& w : TrueWords())
        if (v == w)
            return true;
    return ParseIntDef(v, 0) > 0;
}

bool TOptions::Toggle(std::string_view key)
{
    if (GetBool(key)) {
        SetValue(key, {});
        return false;
    }
    SetValue(key, "1");
    return true;
}

std::string SettingsFileName(const std::string& exePath, const std::string& folder)
{
    std::string name = exePath.substr(exePath.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return folder + name + "_Settings.cfg";
}

TOptions& Settings()
{
    static TOptions options(SettingsFileName(ExecutablePath(), ExeFolder()));
    return options;
}

const std::vector<std::string>& AppOptions(bool reload)
{
    static std::unique_ptr<std::vector<std::string>> list;
    if (reload)
        list.reset();
    if (!list) {
        list = std::make_unique<std::vector<std::string>>();
        LoadLinesRetry(list.get(), ExeFolder() + "AppOptions.txt");
    }
    return *list;
}

std::string GetAppOption(std::string_view key)
{
    return KeyValueOf(AppOptions(false), key);
}

} // namespace rasmik
