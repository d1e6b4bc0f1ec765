#include "app/UiLanguage.h"

#include "table/Options.h"
#include "text/TextFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTranslator>

namespace rasmik {

bool EnglishWanted()
{
    const std::string chosen = KeyValueOf(Settings().Entries, LanguageKey);
    if (!chosen.empty())
        return chosen == "en";
    // LANGUAGE is the list GNU programs read ("en_GB:en", "fa:en"): the
    // first entry decides. LANG alone does not: Persian is the default.
    const QString language = qEnvironmentVariable("LANGUAGE").section(QLatin1Char(':'), 0, 0);
    return language == QLatin1String("en") || language.startsWith(QLatin1String("en_"));
}

bool InstallEnglish(QCoreApplication& app, const QString& given)
{
    auto* translator = new QTranslator(&app);
    const QString exeFolder = QCoreApplication::applicationDirPath();
    // Beside the program in the build, then where the package puts it.
    QStringList folders{exeFolder + QStringLiteral("/translations"),
                        exeFolder + QStringLiteral("/../share/rasmik/translations")};
    if (!given.isEmpty())
        folders.prepend(given);
    for (const QString& folder : folders)
        if (translator->load(QStringLiteral("rasmik_en"), QDir::cleanPath(folder))
            && QCoreApplication::installTranslator(translator))
            return true;
    delete translator;
    return false;
}

} // namespace rasmik
