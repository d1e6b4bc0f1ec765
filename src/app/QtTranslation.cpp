#include "app/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

namespace rasmik {

namespace {

// Qt's Persian words, except the names of keys: the menus keep their
// English captions, and "Ctrl+Shift+S" reads better beside them than a mix
// of Persian key names and Latin letters.
class QtPersian : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override
    {
        if (context && std::strcmp(context, "QShortcut") == 0)
            return {};
        return QTranslator::translate(context, sourceText, disambiguation, n);
    }
};

} // namespace

bool InstallQtTranslation(QCoreApplication& app)
{
    auto* translator = new QtPersian(&app);
    if (!translator->load(QStringLiteral("qtbase_fa"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace rasmik
