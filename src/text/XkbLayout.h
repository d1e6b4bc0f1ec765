#pragma once
// The keyboard groups of an X server (XKB) as installed keyboard layouts.
// The parsing and naming helpers are plain functions so that they can be
// checked without a server; only OpenXkbInputLanguageService talks to X.

#include "text/KeyboardLayout.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// An XKB layout such as "ir" with its variant such as "pes_keypad" (may be empty).
struct XkbLayoutName {
    std::string layout;
    std::string variant;
    bool operator==(const XkbLayoutName&) const = default;
};

// Layouts per group named in an XKB symbols name, e.g. "pc+us+ir:2+inet(evdev)"
// gives {us, ir}. Index 0 is group 1; a group that names no layout stays empty.
std::vector<XkbLayoutName> ParseXkbSymbolsName(std::string_view symbols);

// Layouts of the layout and variant fields of _XKB_RULES_NAMES, e.g. "us,ir"
// and ",pes_keypad".
std::vector<XkbLayoutName> ParseXkbRulesLayouts(std::string_view layouts, std::string_view variants);

// The layout of a group's descriptive name ("Persian", "English (US)"); empty
// when the name is not one we know.
XkbLayoutName XkbLayoutFromGroupName(std::string_view groupName);

// The layout of each of groupCount groups: the symbols name when it accounts
// for every group (it describes the keymap actually loaded), else the rules
// property when it has one layout a group, else group by group whatever is known.
std::vector<XkbLayoutName> ResolveXkbGroupLayouts(int groupCount, const std::vector<XkbLayoutName>& fromSymbols,
                                                  const std::vector<XkbLayoutName>& fromRules,
                                                  const std::vector<std::string>& groupNames);

struct XkbLayoutDescription {
    std::string layoutId;     // eight hex digits
    InstalledLayout language; // empty languageId for a layout we do not know
};

// Identifier and language of the layout in 0-based group `group`. "ir" is
// PersianLayoutId. An unknown layout gets "0000E0" and the group as two hex
// digits, an identifier no other layout has, and no language, so that no
// language text is shown for it.
XkbLayoutDescription DescribeXkbLayout(const XkbLayoutName& name, int group);

// The XKB service of the X server `displayName` (nullptr: $DISPLAY). nullptr
// when no server with XKB answers, or when built without X11. The connection
// survives X errors; when the server goes away the service reports no layout.
std::unique_ptr<InputLanguageService> OpenXkbInputLanguageService(const char* displayName);

} // namespace rasmik
