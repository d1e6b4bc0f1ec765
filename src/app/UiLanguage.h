#pragma once
// Which interface the program shows: Persian, its own texts as they stand,
// or English, from the translation built beside the program and installed
// with it.

#include <QString>

class QCoreApplication;

namespace rasmik {

// The settings key a choice made in the menu is kept under ("en" or "fa").
inline constexpr const char* LanguageKey = "Language";

// English when the settings say so, or, without a choice there, when the
// environment's LANGUAGE puts English first.
bool EnglishWanted();
// Loads the English translation into app, from folder or else from beside
// the program and where the package puts it; false when it is not found
// (the interface then stays Persian).
bool InstallEnglish(QCoreApplication& app, const QString& folder = {});

} // namespace rasmik
