#include "export/ShellOpen.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace rasmik {

namespace {

UrlOpener& Opener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

void SetUrlOpenerForTesting(UrlOpener opener)
{
    Opener() = std::move(opener);
}

bool OpenUrlOnDesktop(const QUrl& url)
{
    if (const UrlOpener& opener = Opener())
        return opener(url);
    // The desktop services need the GUI application's platform plugin.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    return QDesktopServices::openUrl(url);
}

void ShellOpen(const std::string& target, const std::string& folder, const std::string& parameters,
               const std::string& verb, int showMode)
{
    (void)showMode;
    try {
        if (target.empty())
            return;
        const QString verbText = QString::fromStdString(verb).trimmed();
        if (!verbText.isEmpty() && verbText.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0)
            return;
        const QString targetText = QFile::decodeName(target.c_str());
        const QString folderText = QFile::decodeName(folder.c_str());
        QFileInfo info(targetText);
        if (info.isRelative() && !folderText.isEmpty())
            info = QFileInfo(QDir(folderText), targetText);
        if (parameters.empty() && info.exists()) {
            OpenUrlOnDesktop(QUrl::fromLocalFile(info.absoluteFilePath()));
            return;
        }
        const QStringList args = QProcess::splitCommand(QFile::decodeName(parameters.c_str()));
        // A bare name is looked up on PATH; a name with a folder is a file.
        const QString program = targetText.contains(QLatin1Char('/')) ? info.filePath() : targetText;
        QProcess::startDetached(program, args, folderText);
    } catch (...) {
        // Nothing is reported: the caller does not use the outcome.
    }
}

} // namespace rasmik
