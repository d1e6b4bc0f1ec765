// Saves the whole screen of the X display as a PNG: the screenshot for the README.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: rasmik-grab FILE.png [WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1;
    QPixmap shot = screen->grabWindow(0);
    if (argc >= 4)
        shot = shot.copy(0, 0, QString(argv[2]).toInt(), QString(argv[3]).toInt());
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
