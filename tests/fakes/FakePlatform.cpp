#include "tests/fakes/FakePlatform.h"

namespace pelmora::fakes {

FakePlatform::FakePlatform(DataFolder dataFolder, Replacements real)
    : FakeProgramFolder(dataFolder)
{
    m_services.reset(new platform::PlatformServices{
        real.mailbox ? *real.mailbox : mailbox, profileFiles, codec, multimedia,
        tickCounter, real.windowPositioner ? *real.windowPositioner : windowPositioner,
        real.remoteAccess ? *real.remoteAccess : remoteAccess,
        trayIcon, fileDialog, fileTitle, real.messageBox ? *real.messageBox : messageBox,
        real.programLauncher ? *real.programLauncher : programLauncher,
        real.homepageBrowser ? *real.homepageBrowser : homepageBrowser, processExit,
        real.secretStore ? *real.secretStore : secretStore,
        real.desktopNotifications ? *real.desktopNotifications : desktopNotifications,
        real.connectivity ? *real.connectivity : connectivity, screenLock,
        [this](QWidget*) -> platform::AnimationPane& { return animationPane; },
        programFolder(), real.timerPace});
}

} // namespace pelmora::fakes
