#include "app/RealPlatform.h"

#include "platform/ProgramPaths.h"
#include "platform/adapters/ImmediateProcessExit.h"
#include "platform/adapters/MovieAnimationPane.h"
#include "platform/adapters/NetworkManagerRemoteAccess.h"
#include "platform/adapters/QtDialogs.h"
#include "platform/adapters/QtTrayIcon.h"
#include "platform/adapters/QtWindowPositioner.h"
#include "platform/adapters/AudioSinkMultimedia.h"
#include "platform/adapters/SteadyTickCounter.h"
#include "platform/pop3/Pop3MailLibrary.h"
#include "platform/profile/PosixFileTitle.h"
#include "platform/profile/ProfileEngine.h"
#include "platform/profile/Utf8Cp932Codec.h"

namespace pelmora::app {

struct RealPlatform::Adapters {
    platform::Utf8Cp932Codec codec;
    platform::Pop3MailLibrary mailLibrary{platform::pop3::Timeouts{}, &codec};
    platform::ProfileEngine profileFiles;
    platform::AudioSinkMultimedia multimedia;
    platform::SteadyTickCounter tickCounter;
    platform::QtWindowPositioner windowPositioner;
    platform::NetworkManagerRemoteAccess remoteAccess;
    platform::QtTrayIcon trayIcon;
    platform::QtFileDialog fileDialog;
    platform::PosixFileTitle fileTitle;
    platform::QtMessageBox messageBox;
    platform::DetachedProgramLauncher programLauncher;
    platform::DesktopHomepageBrowser homepageBrowser;
    platform::ImmediateProcessExit processExit;
};

RealPlatform::RealPlatform() : m_adapters(std::make_unique<Adapters>())
{
    Adapters& a = *m_adapters;
    m_services.reset(new PlatformServices{
        a.mailLibrary, a.profileFiles, a.codec, a.multimedia, a.tickCounter, a.windowPositioner,
        a.remoteAccess, a.trayIcon, a.fileDialog, a.fileTitle, a.messageBox, a.programLauncher,
        a.homepageBrowser, a.processExit,
        // The pane is a child widget of the frame, which owns and deletes it.
        [](QWidget* frame) -> platform::AnimationPane& {
            return *new platform::MovieAnimationPane(frame);
        },
        platform::programFolder(), platform::TimerPace{}});
}

RealPlatform::~RealPlatform() = default;

} // namespace pelmora::app
