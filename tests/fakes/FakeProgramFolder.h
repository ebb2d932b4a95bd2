#pragma once

#include "tests/fakes/CallLog.h"
#include "tests/fakes/FakePorts.h"

#include "platform/adapters/system/Utf8Cp932Codec.h"
#include "profile/ProfileEngine.h"

#include <QTemporaryDir>

namespace pelmora::fakes {

// A private program folder with its data folder, and the real profile files and codec (recorded)
// working on it. The current directory is a private folder too, for vbmail.ini, while the object
// lives.
class FakeProgramFolder {
public:
    enum class DataFolder { Present, Missing };

    explicit FakeProgramFolder(DataFolder dataFolder = DataFolder::Present);
    ~FakeProgramFolder();
    FakeProgramFolder(const FakeProgramFolder&) = delete;
    FakeProgramFolder& operator=(const FakeProgramFolder&) = delete;

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
    profile::ProfileEngine profileEngine;
    platform::Utf8Cp932Codec codec;
    RecordingProfileFiles profileFiles{profileEngine, log};

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_workDir;
    QString m_previousDir;
};

} // namespace pelmora::fakes
