#pragma once
// The active keyboard layout and the switch to and from the Persian layout,
// behind a small input-language service (XKB on X11, nothing elsewhere).

#include <string>
#include <vector>

namespace rasmik {

inline constexpr const char* PersianLayoutId = "00000429";

struct InstalledLayout {
    std::string languageId;   // four hex digits, e.g. "0429"
    std::string languageName; // e.g. "Persian"
    std::string abbreviation; // e.g. "FAR"
};

class InputLanguageService {
public:
    virtual ~InputLanguageService() = default;
    // Eight hex digits of the active layout, e.g. "00000409"; empty when unknown.
    virtual std::string activeLayoutId() = 0;
    // Installed layouts in the platform's order (at most 40 are considered).
    virtual std::vector<InstalledLayout> installedLayouts() = 0;
    // Makes the next installed layout active.
    virtual void activateNextLayout() = 0;
};

// The service in use: XKB when an X display can be opened, else one that
// reports no layout and switches nothing.
InputLanguageService& CurrentInputLanguageService();
// For tests; nullptr restores the platform service.
void SetInputLanguageServiceForTesting(InputLanguageService* service);

// The active layout's identifier, e.g. "00000429"; empty when unknown.
std::string CurrentLayoutName();
// "<language name> - <abbreviation>" of the active layout, e.g. "Persian - FAR"
// (Windows-1256 text, ASCII for the layouts we know); empty when none matches.
std::string CurrentInputLanguageText();
// Steps to the next layout until the Persian one is (or is not) active, at
// most five times.
void SetPersianKeyboard(bool persian);

} // namespace rasmik
