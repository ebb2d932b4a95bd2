#include "app/Application.h"
#include "app/PlatformPlugin.h"
#include "app/RealPlatform.h"

#include "platform/JapaneseFont.h"
#include "platform/adapters/TerminationSignals.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    const QByteArray plugin =
        pelmora::app::preferredPlatformPlugin(QProcessEnvironment::systemEnvironment());
    if (!plugin.isEmpty())
        qputenv("QT_QPA_PLATFORM", plugin);

    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pelmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelmora/pelmora.png")));
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9));

    pelmora::app::RealPlatform platform;
    pelmora::app::Application application(platform.services());
    application.start();
    // A logout or shutdown that ends the program by signal ends it through the main window's
    // unloading too, so the settings saved at the end are not lost.
    pelmora::platform::TerminationSignals termination(
        [&application] { application.mainForm().Form_Unload(); });
    return QApplication::exec();
}
