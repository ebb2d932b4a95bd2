#include "app/Application.h"
#include "app/PlatformPlugin.h"
#include "app/RealPlatform.h"
#include "app/StartRefusal.h"

#include "platform/forms/JapaneseFont.h"
#include "platform/adapters/system/TerminationSignals.h"
#include "platform/adapters/widgets/QtDialogs.h"
#include "platform/adapters/widgets/ToolkitTranslations.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    const QByteArray plugin =
        pelmora::app::preferredPlatformPlugin(QProcessEnvironment::systemEnvironment());
    if (!plugin.isEmpty())
        qputenv("QT_QPA_PLATFORM", plugin);

    QApplication qtApp(argc, argv);
    // The desktop knows the program by these names (task switcher, session, window grouping).
    // No display name is set: Qt would append it to every title bar ("設定 — Pelmora"), and each
    // window's caption is to stand there alone.
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setDesktopFileName(QStringLiteral("pelmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelmora/pelmora.png")));
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9));
    pelmora::platform::installToolkitTranslations(qtApp);

    if (const auto refusal = pelmora::app::startRefusalText(QApplication::arguments())) {
        pelmora::platform::QtMessageBox box;
        return pelmora::app::showStartRefusal(box, *refusal);
    }

    pelmora::app::RealPlatform platform;
    pelmora::app::Application application(platform.services());
    application.start();
    // A logout or shutdown that ends the program by signal ends it through the main window's
    // unloading too, so the settings saved at the end are not lost.
    pelmora::platform::TerminationSignals termination(
        [&application] { application.mainWindow().quit(); });
    return QApplication::exec();
}
