#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/QtTranslation.h"
#include "app/UiLanguage.h"
#include "render/UiText.h"
#include "text/TemporaryFiles.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>

#include <csignal>

int main(int argc, char** argv)
{
    // Past a file-size limit a write then fails with EFBIG, which the save
    // reports like a full disk, instead of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before any thread: SIGTERM, SIGINT and SIGHUP take the temporary file of
    // a save with them, the table stays as it was.
    rasmik::RemoveTemporariesOnTermination();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    if (rasmik::IsCommandLineMode(args))
        return rasmik::RunCommandLineMode(argc, argv, args);

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("rasmik"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("rasmik")));
    // The English interface, when chosen and installed; otherwise Qt's
    // dialogs in Persian, which also turns them right to left.
    if (rasmik::EnglishWanted() && rasmik::InstallEnglish(app))
        rasmik::UiEnglish() = true;
    else
        rasmik::InstallQtTranslation(app);
    // Qt takes its own options (-style, -platform...) out of argv.
    args.clear();
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    rasmik::MainWindow window(args);
    // The translation turned the program right to left, and Qt paints text in
    // the program's direction whatever a widget's own. The window itself stays
    // left to right (its grid and header strip are right to left of their
    // own); its menus, which would take the menu bar's direction and then be
    // painted against it, are right to left like every other popup.
    window.setLayoutDirection(Qt::LeftToRight);
    for (QMenu* menu : window.findChildren<QMenu*>())
        menu->setLayoutDirection(QGuiApplication::layoutDirection());
    window.show();
    return app.exec();
}
