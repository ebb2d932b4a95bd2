#pragma once

#include "tests/fakes/CallLog.h"
#include "tests/fakes/FakePorts.h"
#include "tests/fakes/FakeProgramFolder.h"
#include "tests/fakes/FakeWindowPositioner.h"

#include "platform/ports/PlatformServices.h"


#include <memory>

namespace pelmora::fakes {

// Real adapters (owned by the test) in place of fakes, for tests that talk to real peers, and
// the pace of the main window's timers.
struct FakePlatformReplacements {
    FakePlatformReplacements() = default;
    FakePlatformReplacements& with(platform::Mailbox& real) { mailbox = &real; return *this; }
    FakePlatformReplacements& with(platform::ProgramLauncher& real) { programLauncher = &real; return *this; }
    FakePlatformReplacements& with(platform::RemoteAccess& real) { remoteAccess = &real; return *this; }
    FakePlatformReplacements& with(platform::MessageBox& real) { messageBox = &real; return *this; }
    FakePlatformReplacements& with(platform::HomepageBrowser& real) { homepageBrowser = &real; return *this; }
    FakePlatformReplacements& with(platform::SecretStore& real) { secretStore = &real; return *this; }
    FakePlatformReplacements& with(platform::DesktopNotifications& real) { desktopNotifications = &real; return *this; }
    FakePlatformReplacements& with(platform::ConnectivityEvents& real) { connectivity = &real; return *this; }
    FakePlatformReplacements& with(platform::WindowPositioner& real) { windowPositioner = &real; return *this; }
    FakePlatformReplacements& with(platform::TimerPace pace) { timerPace = pace; return *this; }
    // The real adapter if the test gives one, else the fake.
    template <typename Port>
    FakePlatformReplacements& withIfGiven(Port* real) { return real ? with(*real) : *this; }

    platform::Mailbox* mailbox = nullptr;
    platform::ProgramLauncher* programLauncher = nullptr;
    platform::RemoteAccess* remoteAccess = nullptr;
    platform::MessageBox* messageBox = nullptr;
    platform::HomepageBrowser* homepageBrowser = nullptr;
    platform::SecretStore* secretStore = nullptr;
    platform::DesktopNotifications* desktopNotifications = nullptr;
    platform::ConnectivityEvents* connectivity = nullptr;
    platform::WindowPositioner* windowPositioner = nullptr;
    platform::TimerPace timerPace;
};

// Every platform service as a recording fake, except the profile files and the codec, which are
// the real ones (recorded) working on the private program folder.
class FakePlatform : public FakeProgramFolder {
public:
    using Replacements = FakePlatformReplacements;

    explicit FakePlatform(DataFolder dataFolder = DataFolder::Present, Replacements real = {});

    platform::PlatformServices& services() { return *m_services; }

    FakeMailbox mailbox{log};
    FakeMultimedia multimedia{log};
    FakeTickCounter tickCounter;
    FakeWindowPositioner windowPositioner{log};
    FakeRemoteAccess remoteAccess{log};
    FakeTrayIcon trayIcon{log};
    FakeFileDialog fileDialog{log};
    FakeFileTitle fileTitle{log};
    FakeMessageBox messageBox{log};
    FakeProgramLauncher programLauncher{log};
    FakeHomepageBrowser homepageBrowser{log};
    FakeProcessExit processExit{log};
    FakeSecretStore secretStore{log};
    FakeDesktopNotifications desktopNotifications{log};
    FakeConnectivityEvents connectivity;
    FakeScreenLock screenLock;
    FakeAnimationPane animationPane{log};

private:
    std::unique_ptr<platform::PlatformServices> m_services;
};

} // namespace pelmora::fakes
