#include "text/KeyboardLayout.h"

#include "text/XkbLayout.h"

#include <cstdlib>
#include <memory>
#include <string_view>

namespace rasmik {

namespace {

constexpr std::size_t MaxInstalledLayouts = 40;
constexpr int MaxSwitchSteps = 5;

// Without an X server there is nothing to report and nothing to switch.
class NoInputLanguageService final : public InputLanguageService {
public:
    std::string activeLayoutId() override { return {}; }
    std::vector<InstalledLayout> installedLayouts() override { return {}; }
    void activateNextLayout() override { }
};

InputLanguageService* TestingService = nullptr;

// Headless Qt platforms (the tests run on "offscreen") must leave the
// keyboard of whatever X server DISPLAY happens to name alone.
bool HeadlessQtPlatform()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform)
        return false;
    std::string_view name = platform;
    name = name.substr(0, name.find(':'));
    return name == "offscreen" || name == "minimal" || name == "minimalegl" || name == "vnc";
}

std::unique_ptr<InputLanguageService> OpenPlatformService()
{
    if (!HeadlessQtPlatform())
        if (auto xkb = OpenXkbInputLanguageService(nullptr))
            return xkb;
    return std::make_unique<NoInputLanguageService>();
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `part` occurs in `text`; hex digits compare without case. An empty
// part occurs nowhere, so a layout without a language never matches.
bool Occurs(std::string_view part, std::string_view text)
{
    if (part.empty() || part.size() > text.size())
        return false;
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < part.size() && UpperAscii(part[i]) == UpperAscii(text[at + i]))
            ++i;
        if (i == part.size())
            return true;
    }
    return false;
}

} // namespace

InputLanguageService& CurrentInputLanguageService()
{
    if (TestingService)
        return *TestingService;
    static const std::unique_ptr<InputLanguageService> platform = OpenPlatformService();
    return *platform;
}

void SetInputLanguageServiceForTesting(InputLanguageService* service)
{
    TestingService = service;
}

std::string CurrentLayoutName()
{
    return CurrentInputLanguageService().activeLayoutId();
}

std::string CurrentInputLanguageText()
{
    InputLanguageService& service = CurrentInputLanguageService();
    const std::string active = service.activeLayoutId();
    if (active.empty())
        return {};
    const std::vector<InstalledLayout> layouts = service.installedLayouts();
    for (std::size_t i = 0; i < layouts.size() && i < MaxInstalledLayouts; ++i) {
        const InstalledLayout& layout = layouts[i];
        if (Occurs(layout.languageId, active))
            return layout.languageName + " - " + layout.abbreviation;
    }
    return {};
}

void SetPersianKeyboard(bool persian)
{
    InputLanguageService& service = CurrentInputLanguageService();
    for (int step = 0; step < MaxSwitchSteps; ++step) {
        const bool persianActive = Occurs(PersianLayoutId, service.activeLayoutId());
        if (persianActive == persian)
            return;
        service.activateNextLayout();
    }
}

} // namespace rasmik
