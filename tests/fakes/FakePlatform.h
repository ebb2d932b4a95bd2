#pragma once

#include "tests/fakes/CallLog.h"
#include "tests/fakes/FakePorts.h"

#include "app/PlatformServices.h"

#include "platform/profile/ProfileEngine.h"
#include "platform/profile/Utf8Cp932Codec.h"

#include <QTemporaryDir>

#include <memory>

namespace pelmora::fakes {

// Real adapters (owned by the test) in place of fakes, for tests that talk to real peers, and
// the pace of the main window's timers.
struct FakePlatformReplacements {
    FakePlatformReplacements() = default;
    FakePlatformReplacements& with(platform::MailLibrary& real) { mailLibrary = &real; return *this; }
    FakePlatformReplacements& with(platform::ProgramLauncher& real) { programLauncher = &real; return *this; }
    FakePlatformReplacements& with(platform::RemoteAccess& real) { remoteAccess = &real; return *this; }
    FakePlatformReplacements& with(platform::MessageBox& real) { messageBox = &real; return *this; }
    FakePlatformReplacements& with(platform::TimerPace pace) { timerPace = pace; return *this; }

    platform::MailLibrary* mailLibrary = nullptr;
    platform::ProgramLauncher* programLauncher = nullptr;
    platform::RemoteAccess* remoteAccess = nullptr;
    platform::MessageBox* messageBox = nullptr;
    platform::TimerPace timerPace;
};

// Every platform service as a recording fake, except the profile files and the codec, which are
// the real ones (recorded) working on a private program folder. The current directory is a
// private folder too, for vbmail.ini, while the object lives.
class FakePlatform {
public:
    enum class DataFolder { Present, Missing };
    using Replacements = FakePlatformReplacements;

    explicit FakePlatform(DataFolder dataFolder = DataFolder::Present, Replacements real = {});
    ~FakePlatform();

    app::PlatformServices& services() { return *m_services; }

    QString programFolder() const { return m_programDir.path(); }
    QString dataFolder() const;
    QString mainProfile() const;    // …/★MailData/ini.ini
    QString accountProfile() const; // …/★MailData/iniIdPass.ini
    QString serverFile() const;     // vbmail.ini in the current directory

    // A server in vbmail.ini and a saved account, so that start-up opens no dialog by itself.
    static inline const QByteArray kStoredServerFile =
        "SMTP=smtp.example\r\nPOP3=pop.example\r\nMAIL=a@example\r\nAPOP=0\r\n";
    static inline const QByteArray kStoredAccountFile =
        "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n";
    void storeServerAndAccount() const;

    static QByteArray readFile(const QString& path);
    static void writeFile(const QString& path, const QByteArray& bytes);

    CallLog log;
    FakeMailLibrary mailLibrary{log};
    platform::ProfileEngine profileEngine;
    platform::Utf8Cp932Codec codec;
    RecordingProfileFiles profileFiles{profileEngine, log};
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
    FakeAnimationPane animationPane{log};

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_workDir;
    QString m_previousDir;
    std::unique_ptr<app::PlatformServices> m_services;
};

} // namespace pelmora::fakes
