#pragma once

#include "platform/ports/AnimationPane.h"
#include "platform/ports/AnsiCodec.h"
#include "platform/ports/ConnectivityEvents.h"
#include "platform/ports/DesktopNotifications.h"
#include "platform/ports/FileDialog.h"
#include "platform/ports/FileTitle.h"
#include "platform/ports/HomepageBrowser.h"
#include "platform/ports/Mailbox.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/Multimedia.h"
#include "platform/ports/ProcessExit.h"
#include "platform/ports/ProfileFiles.h"
#include "platform/ports/ProgramLauncher.h"
#include "platform/ports/RemoteAccess.h"
#include "platform/ports/ScreenLock.h"
#include "platform/ports/SecretStore.h"
#include "platform/ports/TickCounter.h"
#include "platform/ports/TrayIcon.h"
#include "platform/ports/WindowPositioner.h"
#include "platform/VbTimer.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace pelmora::platform {

// Every platform service the program uses, as ports. The real program gets them from
// RealPlatform; tests pass recording fakes through the same struct.
struct PlatformServices {
    Mailbox& mailbox;
    ProfileFiles& profileFiles;
    const AnsiCodec& codec;
    Multimedia& multimedia;
    TickCounter& tickCounter;
    WindowPositioner& windowPositioner;
    RemoteAccess& remoteAccess;
    TrayIcon& trayIcon;
    FileDialog& fileDialog;
    FileTitle& fileTitle;
    MessageBox& messageBox;
    ProgramLauncher& programLauncher;
    HomepageBrowser& homepageBrowser;
    ProcessExit& processExit;
    // The desktop keyring, for the sign-in's refresh token.
    SecretStore& secretStore;
    // Notifications shown the desktop's way (who sent the new mail).
    DesktopNotifications& desktopNotifications;
    // The computer's waking and the network's return: a mailbox watched over a connection kept
    // open reconnects then.
    ConnectivityEvents& connectivity;
    // Whether the screen is locked: the main window then rests as if hidden.
    ScreenLock& screenLock;
    // The animation pane lives inside the main window's animation frame, so the window asks for
    // it once its frame exists. The window owns the widget the pane belongs to.
    std::function<AnimationPane&(QWidget* frame)> createAnimationPane;
    // The folder that holds the executable: assets and the data folder are found under it.
    QString programFolder;
    // How fast the main window's timers run; the program runs at the wall clock's pace.
    TimerPace timerPace;
};

} // namespace pelmora::platform
