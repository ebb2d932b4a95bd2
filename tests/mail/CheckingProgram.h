#pragma once

#include "app/Application.h"
#include "app/MainWindow.h"
#include "alert/forms/NoticeBoard.h"
#include "imap/ImapMailbox.h"
#include "platform/MailboxByServerName.h"
#include "pop3/Pop3Mailbox.h"
#include "tests/fakes/FakePlatform.h"

#include <QAction>

#include <functional>

namespace pelmora::tests {

// The account profile with `user` and `password` saved.
inline QByteArray savedAccount(const QString& user, const QString& password)
{
    return "[EXEINI]\r\nNAME=" + user.toUtf8() + "\r\nNAME2=" + password.toUtf8() + "\r\n";
}

// The alert's sound behind the fake multimedia: `started` runs at each start of it.
struct AlertSounds final : platform::Multimedia {
    std::uint32_t mciSendString(const QString& command, QString*, std::uint32_t) override
    {
        if (command == QStringLiteral("play bgm"))
            started();
        return 0;
    }
    std::function<void()> started;
};

// The real program on a private program folder with the real mailboxes (POP3 and IMAP, chosen by
// the server name as the program does), the given vbmail.ini and account saved, and the alert's
// sound counted. `real` names further real adapters (a message
// box, a program launcher).
struct CheckingProgram {
    // `mainProfile`, when given, is the main profile's content (the interval, NUMBER2).
    CheckingProgram(const QByteArray& serverFile, const QByteArray& accountFile,
                    pop3::Timeouts timeouts, fakes::FakePlatform::Replacements real = {},
                    const QByteArray& mainProfile = {})
        : library(timeouts), imapLibrary(timeouts),
          fake(fakes::FakePlatform::DataFolder::Present, real.with(mailbox))
    {
        fakes::FakePlatform::writeFile(fake.serverFile(), serverFile);
        fakes::FakePlatform::writeFile(fake.accountProfile(), accountFile);
        if (!mainProfile.isEmpty())
            fakes::FakePlatform::writeFile(fake.mainProfile(), mainProfile);
        fake.tickCounter.runFrom(0); // the notice board's one second passes in real time
        fake.multimedia.passTo = &sounds;
        sounds.started = [this] {
            ++alertsStarted;
            boardLoadedAtAlert = board() != nullptr;
        };
        app.start();
        fake.log.clear();
    }

    void checkFromTheMenu() { app.mainWindow().findChild<QAction*>(QStringLiteral("mcheck"))->trigger(); }
    alert::NoticeBoard* board() { return app.forms().peek<alert::NoticeBoard>(); }

    pop3::Pop3Mailbox library;
    imap::ImapMailbox imapLibrary;
    platform::MailboxByServerName mailbox{imapLibrary, library};
    fakes::FakePlatform fake;
    AlertSounds sounds;
    app::Application app{fake.services()};
    int alertsStarted = 0;
    bool boardLoadedAtAlert = false;
};

} // namespace pelmora::tests
