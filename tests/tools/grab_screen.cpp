// Saves a picture of the whole X screen, or of one window, as PNG:
//   pelmora-grab-screen FILE [WINDOW_ID]
// Used to look at the program on a virtual screen, where no screenshot tool is installed. The
// window id is the X window number (decimal, or hexadecimal with 0x), as xdotool prints it.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fputs("usage: pelmora-grab-screen FILE.png [WINDOW_ID]\n", stderr);
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fputs("pelmora-grab-screen: no screen\n", stderr);
        return 1;
    }
    WId window = 0;
    if (argc == 3) {
        char* end = nullptr;
        window = WId(std::strtoull(argv[2], &end, 0));
        if (end == argv[2] || *end != '\0') {
            std::fputs("pelmora-grab-screen: the window id is not a number\n", stderr);
            return 2;
        }
    }
    const QPixmap picture = screen->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fputs("pelmora-grab-screen: could not save the picture\n", stderr);
        return 1;
    }
    return 0;
}
