#include "app/RealPlatform.h"

#include "imap/ImapMailbox.h"
#include "platform/MailboxByServerName.h"
#include "platform/ProgramPaths.h"
#include "platform/adapters/keychain/KeychainSecretStore.h"
#include "platform/adapters/multimedia/AudioSinkMultimedia.h"
#include "platform/adapters/system/ImmediateProcessExit.h"
#include "platform/adapters/system/PosixFileTitle.h"
#include "platform/adapters/system/SteadyTickCounter.h"
#include "platform/adapters/system/Utf8Cp932Codec.h"
#include "platform/adapters/widgets/MovieAnimationPane.h"
#include "platform/adapters/widgets/QtDialogs.h"
#include "platform/adapters/widgets/QtTrayIcon.h"
#include "platform/adapters/widgets/QtWindowPositioner.h"
#include "pop3/Pop3Mailbox.h"
#include "profile/ProfileEngine.h"
#if PELMORA_WITH_NETWORKMANAGER
#include "platform/adapters/dbus/FreedesktopNotifications.h"
#include "platform/adapters/dbus/SessionScreenLock.h"
#include "platform/adapters/dbus/SystemBusConnectivity.h"
#include "platform/adapters/dbus/NetworkManagerRemoteAccess.h"
#else
#include "platform/adapters/system/NoConnectivityEvents.h"
#include "platform/adapters/system/NoDesktopNotifications.h"
#include "platform/adapters/system/NoScreenLock.h"
#include "platform/adapters/system/NoRemoteAccess.h"
#endif

namespace pelmora::app {

// The one place the D-Bus adapters are chosen: NetworkManager and the freedesktop notifications
// where the build has D-Bus, else the do-nothing adapters (nothing is ever hung up or shown).
#if PELMORA_WITH_NETWORKMANAGER
using RemoteAccessAdapter = platform::NetworkManagerRemoteAccess;
using NotificationsAdapter = platform::FreedesktopNotifications;
using ConnectivityAdapter = platform::SystemBusConnectivity;
using ScreenLockAdapter = platform::SessionScreenLock;
#else
using RemoteAccessAdapter = platform::NoRemoteAccess;
using NotificationsAdapter = platform::NoDesktopNotifications;
using ConnectivityAdapter = platform::NoConnectivityEvents;
using ScreenLockAdapter = platform::NoScreenLock;
#endif

struct RealPlatform::Adapters {
    platform::Utf8Cp932Codec codec;
    pop3::Pop3Mailbox pop3Mailbox;
    imap::ImapMailbox imapMailbox;
    // Declared after both: it goes first.
    platform::MailboxByServerName mailbox{imapMailbox, pop3Mailbox};
    profile::ProfileEngine profileFiles;
    platform::AudioSinkMultimedia multimedia;
    platform::SteadyTickCounter tickCounter;
    platform::QtWindowPositioner windowPositioner;
    RemoteAccessAdapter remoteAccess;
    platform::QtTrayIcon trayIcon;
    platform::QtFileDialog fileDialog;
    platform::PosixFileTitle fileTitle;
    platform::QtMessageBox messageBox;
    platform::DetachedProgramLauncher programLauncher;
    platform::DesktopHomepageBrowser homepageBrowser;
    platform::ImmediateProcessExit processExit;
    platform::KeychainSecretStore secretStore;
    NotificationsAdapter desktopNotifications;
    ConnectivityAdapter connectivity;
    ScreenLockAdapter screenLock;
};

RealPlatform::RealPlatform() : m_adapters(std::make_unique<Adapters>())
{
    Adapters& a = *m_adapters;
    m_services.reset(new platform::PlatformServices{
        a.mailbox, a.profileFiles, a.codec, a.multimedia, a.tickCounter, a.windowPositioner,
        a.remoteAccess, a.trayIcon, a.fileDialog, a.fileTitle, a.messageBox, a.programLauncher,
        a.homepageBrowser, a.processExit, a.secretStore, a.desktopNotifications,
        a.connectivity, a.screenLock,
        // The pane is a child widget of the frame, which owns and deletes it.
        [](QWidget* frame) -> platform::AnimationPane& {
            return *new platform::MovieAnimationPane(frame);
        },
        platform::programFolder(), platform::TimerPace{}});
}

RealPlatform::~RealPlatform() = default;

} // namespace pelmora::app
