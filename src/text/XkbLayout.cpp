#include "text/XkbLayout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#ifdef RASMIK_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace rasmik {

namespace {

constexpr int MaxXkbGroups = 4;

struct KnownLayout {
    const char* layout;
    const char* variant; // nullptr: any variant
    const char* layoutId;
    const char* languageName;
    const char* abbreviation;
};

// The identifiers, names and abbreviations Windows gives these layouts.
constexpr std::array<KnownLayout, 11> KnownLayouts{{
    {"af", "ps", "00000463", "Pashto (Afghanistan)", "PAS"},
    {"af", nullptr, "0000048C", "Dari (Afghanistan)", "PRS"},
    {"us", nullptr, "00000409", "English (United States)", "ENU"},
    {"ir", nullptr, "00000429", "Persian", "FAR"},
    {"ara", nullptr, "00000401", "Arabic (Saudi Arabia)", "ARA"},
    {"de", nullptr, "00000407", "German (Germany)", "DEU"},
    {"fr", nullptr, "0000040C", "French (France)", "FRA"},
    {"gb", nullptr, "00000809", "English (United Kingdom)", "ENG"},
    {"tr", nullptr, "0000041F", "Turkish (Turkey)", "TRK"},
    {"ru", nullptr, "00000419", "Russian (Russia)", "RUS"},
    {"iq", nullptr, "00000801", "Arabic (Iraq)", "ARI"},
}};

// xkeyboard-config's descriptions of the same layouts, for servers that name
// their groups but not their layouts.
struct KnownGroupName {
    const char* name;
    const char* layout;
    const char* variant;
};
constexpr std::array<KnownGroupName, 11> KnownGroupNames{{
    {"English (US)", "us", ""},
    {"English (UK)", "gb", ""},
    {"Persian", "ir", ""},
    {"Arabic", "ara", ""},
    {"Arabic (Iraq)", "iq", ""},
    {"German", "de", ""},
    {"French", "fr", ""},
    {"Turkish", "tr", ""},
    {"Russian", "ru", ""},
    {"Dari", "af", ""},
    {"Pashto", "af", "ps"},
}};

// Parts of a symbols name that add keys or options to every layout rather
// than being a layout of their own.
// clang-format off
constexpr std::array<std::string_view, 24> NonLayoutSymbols{{
    "pc",       "inet",      "group",   "level3",   "level5",     "compose",
    "ctrl",     "caps",      "altwin",  "terminate", "keypad",    "kpdl",
    "nbsp",     "eurosign",  "rupeesign", "shift",   "srvr_ctrl", "japan",
    "korean",   "capslock",  "typo",    "olpc",     "apl",        "parens",
}};
// clang-format on

std::vector<std::string_view> Split(std::string_view s, char sep)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(sep);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        s.remove_prefix(at + 1);
    }
}

bool AllNamed(const std::vector<XkbLayoutName>& layouts)
{
    return std::all_of(layouts.begin(), layouts.end(), [](const XkbLayoutName& n) { return !n.layout.empty(); });
}

} // namespace

std::vector<XkbLayoutName> ParseXkbSymbolsName(std::string_view symbols)
{
    std::vector<XkbLayoutName> groups;
    for (std::string_view part : Split(symbols, '+')) {
        int group = 1;
        if (const auto colon = part.rfind(':'); colon != std::string_view::npos) {
            const std::string_view digits = part.substr(colon + 1);
            if (digits.size() != 1 || digits[0] < '1' || digits[0] > '0' + MaxXkbGroups)
                continue;
            group = digits[0] - '0';
            part = part.substr(0, colon);
        }
        // Vendor folders such as "sun_vndr/us" name the layout after the slash.
        if (const auto slash = part.rfind('/'); slash != std::string_view::npos)
            part.remove_prefix(slash + 1);
        std::string_view variant;
        if (const auto open = part.find('('); open != std::string_view::npos) {
            variant = part.substr(open + 1);
            if (!variant.empty() && variant.back() == ')')
                variant.remove_suffix(1);
            part = part.substr(0, open);
        }
        if (part.empty() || std::find(NonLayoutSymbols.begin(), NonLayoutSymbols.end(), part) != NonLayoutSymbols.end())
            continue;
        if (static_cast<int>(groups.size()) < group)
            groups.resize(group);
        XkbLayoutName& slot = groups[group - 1];
        if (slot.layout.empty()) // the first layout named for a group is its own
            slot = {std::string(part), std::string(variant)};
    }
    return groups;
}

std::vector<XkbLayoutName> ParseXkbRulesLayouts(std::string_view layouts, std::string_view variants)
{
    std::vector<XkbLayoutName> result;
    if (layouts.empty())
        return result;
    const auto names = Split(layouts, ',');
    const auto kinds = Split(variants, ',');
    for (std::size_t i = 0; i < names.size() && i < MaxXkbGroups; ++i)
        result.push_back({std::string(names[i]), i < kinds.size() ? std::string(kinds[i]) : std::string()});
    return result;
}

XkbLayoutName XkbLayoutFromGroupName(std::string_view groupName)
{
    for (const KnownGroupName& known : KnownGroupNames)
        if (groupName == known.name)
            return {known.layout, known.variant};
    // Variants are described as "Persian (with Persian keypad)".
    for (const KnownGroupName& known : KnownGroupNames) {
        const std::string_view name = known.name;
        if (name.find('(') == std::string_view::npos && groupName.size() > name.size() + 2
            && groupName.substr(0, name.size()) == name && groupName.substr(name.size(), 2) == " (")
            return {known.layout, ""};
    }
    return {};
}

std::vector<XkbLayoutName> ResolveXkbGroupLayouts(int groupCount, const std::vector<XkbLayoutName>& fromSymbols,
                                                  const std::vector<XkbLayoutName>& fromRules,
                                                  const std::vector<std::string>& groupNames)
{
    const auto count = static_cast<std::size_t>(std::clamp(groupCount, 0, MaxXkbGroups));
    if (fromSymbols.size() == count && AllNamed(fromSymbols))
        return fromSymbols;
    if (fromRules.size() == count && AllNamed(fromRules))
        return fromRules;
    std::vector<XkbLayoutName> result(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i < groupNames.size())
            result[i] = XkbLayoutFromGroupName(groupNames[i]);
        if (result[i].layout.empty() && i < fromSymbols.size())
            result[i] = fromSymbols[i];
        if (result[i].layout.empty() && i < fromRules.size())
            result[i] = fromRules[i];
    }
    return result;
}

XkbLayoutDescription DescribeXkbLayout(const XkbLayoutName& name, int group)
{
    for (const KnownLayout& known : KnownLayouts) {
        if (name.layout != known.layout || (known.variant && name.variant != known.variant))
            continue;
        const std::string id = known.layoutId;
        return {id, {id.substr(4), known.languageName, known.abbreviation}};
    }
    char id[9];
    std::snprintf(id, sizeof id, "0000E0%02X", static_cast<unsigned>(std::clamp(group, 0, 255)));
    return {id, {}};
}

#ifdef RASMIK_HAVE_X11

namespace {

// X errors on our own connections are expected (a keyboard that went away, an
// atom that vanished, a server that quit) and must not end the program; those
// of other connections go to whoever handled them before. Xlib's own handlers
// print and exit.
std::vector<Display*> OurDisplays;
XErrorHandler PreviousErrorHandler = nullptr;
XIOErrorHandler PreviousIOErrorHandler = nullptr;
bool HandlersInstalled = false;

bool IsOurs(Display* display)
{
    return std::find(OurDisplays.begin(), OurDisplays.end(), display) != OurDisplays.end();
}

int OnXError(Display* display, XErrorEvent* event)
{
    if (IsOurs(display))
        return 0;
    return PreviousErrorHandler ? PreviousErrorHandler(display, event) : 0;
}

int OnXIOError(Display* display)
{
    if (IsOurs(display))
        return 0; // the display's exit handler runs next and marks it lost
    return PreviousIOErrorHandler ? PreviousIOErrorHandler(display) : 0;
}

class XkbInputLanguageService final : public InputLanguageService {
public:
    explicit XkbInputLanguageService(Display* display) : display_(display)
    {
        OurDisplays.push_back(display_);
        if (!HandlersInstalled) {
            PreviousErrorHandler = XSetErrorHandler(OnXError);
            PreviousIOErrorHandler = XSetIOErrorHandler(OnXIOError);
            HandlersInstalled = true;
        }
        XSetIOErrorExitHandler(display_, &XkbInputLanguageService::OnConnectionLost, this);
    }

    ~XkbInputLanguageService() override
    {
        OurDisplays.erase(std::remove(OurDisplays.begin(), OurDisplays.end(), display_), OurDisplays.end());
        XCloseDisplay(display_);
    }

    XkbInputLanguageService(const XkbInputLanguageService&) = delete;
    XkbInputLanguageService& operator=(const XkbInputLanguageService&) = delete;

    std::string activeLayoutId() override
    {
        const auto groups = readLayouts();
        int active = 0;
        int count = 0;
        if (groups.empty() || !readGroup(active, count))
            return {};
        return groups[static_cast<std::size_t>(active) % groups.size()].layoutId;
    }

    std::vector<InstalledLayout> installedLayouts() override
    {
        std::vector<InstalledLayout> result;
        for (auto& group : readLayouts())
            result.push_back(std::move(group.language));
        return result;
    }

    void activateNextLayout() override
    {
        int active = 0;
        int count = 0;
        if (!readGroup(active, count) || count < 1)
            return;
        XkbLockGroup(display_, XkbUseCoreKbd, static_cast<unsigned>((active + 1) % count));
        XSync(display_, False);
    }

private:
    static void OnConnectionLost(Display*, void* self)
    {
        // Returning instead of exiting leaves the connection unusable; from
        // now on the service reports no layout.
        static_cast<XkbInputLanguageService*>(self)->lost_ = true;
    }

    // The locked group and the number of groups.
    bool readGroup(int& active, int& count)
    {
        if (lost_)
            return false;
        XkbStateRec state{};
        if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success || lost_)
            return false;
        count = groupCount();
        if (count < 1)
            return false;
        active = state.locked_group < count ? state.locked_group : 0;
        return true;
    }

    int groupCount()
    {
        if (lost_)
            return 0;
        XkbDescPtr desc = XkbAllocKeyboard();
        if (!desc)
            return 0;
        desc->device_spec = XkbUseCoreKbd;
        int count = 0;
        if (XkbGetControls(display_, XkbGroupsWrapMask, desc) == Success && desc->ctrls && !lost_)
            count = std::clamp(static_cast<int>(desc->ctrls->num_groups), 0, MaxXkbGroups);
        XkbFreeKeyboard(desc, 0, True);
        return lost_ ? 0 : count;
    }

    std::vector<XkbLayoutDescription> readLayouts()
    {
        std::vector<XkbLayoutDescription> result;
        if (lost_)
            return result;
        XkbDescPtr desc = XkbAllocKeyboard();
        if (!desc)
            return result;
        desc->device_spec = XkbUseCoreKbd;
        const int count = groupCount();
        std::vector<std::string> groupNames;
        std::string symbols;
        if (count > 0 && XkbGetNames(display_, XkbGroupNamesMask | XkbSymbolsNameMask, desc) == Success && desc->names
            && !lost_) {
            for (int i = 0; i < count; ++i)
                groupNames.push_back(atomName(desc->names->groups[i]));
            symbols = atomName(desc->names->symbols);
        }
        XkbFreeKeyboard(desc, 0, True);
        if (count < 1 || lost_)
            return result;
        const auto layouts = ResolveXkbGroupLayouts(count, ParseXkbSymbolsName(symbols), rulesLayouts(), groupNames);
        for (int i = 0; i < count; ++i)
            result.push_back(DescribeXkbLayout(layouts[static_cast<std::size_t>(i)], i));
        return result;
    }

    // The layouts of the root window's _XKB_RULES_NAMES: rules, model, layout,
    // variant and options, each ended by a zero byte.
    std::vector<XkbLayoutName> rulesLayouts()
    {
        if (rulesAtom_ == None)
            rulesAtom_ = XInternAtom(display_, "_XKB_RULES_NAMES", True);
        const Atom property = rulesAtom_;
        if (property == None || lost_)
            return {};
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, DefaultRootWindow(display_), property, 0, 1024, False, XA_STRING, &type,
                               &format, &items, &remaining, &data)
                != Success
            || lost_) {
            return {};
        }
        std::vector<XkbLayoutName> result;
        if (data && type == XA_STRING && format == 8) {
            const std::string_view text(reinterpret_cast<const char*>(data), items);
            std::array<std::string_view, 5> fields{};
            std::size_t at = 0;
            for (auto& field : fields) {
                if (at > text.size())
                    break;
                const auto end = std::min(text.find('\0', at), text.size());
                field = text.substr(at, end - at);
                at = end + 1;
            }
            result = ParseXkbRulesLayouts(fields[2], fields[3]);
        }
        if (data)
            XFree(data);
        return result;
    }

    // An atom keeps its name while the server runs; the label asks ten times
    // a second, so the names are fetched once.
    const std::string& atomName(Atom atom)
    {
        static const std::string none;
        if (atom == None || lost_)
            return none;
        if (const auto known = atomNames_.find(atom); known != atomNames_.end())
            return known->second;
        char* name = XGetAtomName(display_, atom);
        if (!name || lost_) {
            if (name)
                XFree(name);
            return none;
        }
        std::string text = name;
        XFree(name);
        return atomNames_.emplace(atom, std::move(text)).first->second;
    }

    Display* display_;
    bool lost_ = false;
    std::map<Atom, std::string> atomNames_;
    Atom rulesAtom_ = None;
};

} // namespace

std::unique_ptr<InputLanguageService> OpenXkbInputLanguageService(const char* displayName)
{
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return nullptr;
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<XkbInputLanguageService>(display);
}

#else

std::unique_ptr<InputLanguageService> OpenXkbInputLanguageService(const char*)
{
    return nullptr;
}

#endif

} // namespace rasmik
