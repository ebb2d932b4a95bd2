// Saves a picture of the whole X screen as PNG: pelmora-grab-screen FILE.
// Used to look at the program on a virtual screen, where no screenshot tool is installed.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: pelmora-grab-screen FILE.png\n", stderr);
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fputs("pelmora-grab-screen: no screen\n", stderr);
        return 1;
    }
    const QPixmap picture = screen->grabWindow(0);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fputs("pelmora-grab-screen: could not save the picture\n", stderr);
        return 1;
    }
    return 0;
}
