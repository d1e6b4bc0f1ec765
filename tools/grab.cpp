// Saves the screen of the X display as a PNG: the screenshots for the README.
// rasmik-grab FILE.png [WIDTH HEIGHT]   the whole screen, or its top-left corner
// rasmik-grab FILE.png --window ID      one window, by its X id
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: rasmik-grab FILE.png [WIDTH HEIGHT | --window ID]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    QPixmap shot;
    if (argc >= 4 && std::strcmp(argv[2], "--window") == 0) {
        bool ok = false;
        const WId id = QString::fromLatin1(argv[3]).toULongLong(&ok, 0);
        if (!ok)
            return 2;
        shot = screen->grabWindow(id);
    } else {
        shot = screen->grabWindow(0);
        if (argc >= 4)
            shot = shot.copy(0, 0, QString(argv[2]).toInt(), QString(argv[3]).toInt());
    }
    return !shot.isNull() && shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
