#include "app/Application.h"
#include "app/RealPlatform.h"

#include "platform/JapaneseFont.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pelmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelmora/pelmora.png")));
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9));
    // Only the main window's unloading ends the program: hiding it in the tray, or closing every
    // other window, must not.
    QApplication::setQuitOnLastWindowClosed(false);

    pelmora::app::RealPlatform platform;
    pelmora::app::Application application(platform.services());
    application.start();
    return QApplication::exec();
}
