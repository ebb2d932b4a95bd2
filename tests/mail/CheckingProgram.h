#pragma once

#include "app/Application.h"
#include "app/MainForm.h"
#include "alert/forms/MsgForm.h"
#include "imap/ImapMailbox.h"
#include "platform/MailboxByServerName.h"
#include "pop3/Pop3Mailbox.h"
#include "tests/fakes/FakePlatform.h"

#include <QAction>

namespace pelmora::tests {

// The account profile with `user` and `password` saved.
inline QByteArray savedAccount(const QString& user, const QString& password)
{
    return "[EXEINI]\r\nNAME=" + user.toUtf8() + "\r\nNAME2=" + password.toUtf8() + "\r\n";
}

// The real program on a private program folder with the real mailboxes (POP3 and IMAP, chosen
// by the server name as the program does), the given vbmail.ini
// and account saved, and the alert routine counted instead of run. `real` names further real
// adapters (a message box, a program launcher).
struct CheckingProgram {
    CheckingProgram(const QByteArray& serverFile, const QByteArray& accountFile,
                    pop3::Timeouts timeouts, fakes::FakePlatform::Replacements real = {})
        : library(timeouts), imapLibrary(timeouts),
          fake(fakes::FakePlatform::DataFolder::Present, real.with(mailbox))
    {
        fakes::FakePlatform::writeFile(fake.serverFile(), serverFile);
        fakes::FakePlatform::writeFile(fake.accountProfile(), accountFile);
        fake.tickCounter.runFrom(0); // the notice board's one second passes in real time
        app.start();
        app.mainForm().routines().startAlert = [this] {
            ++alertsStarted;
            boardLoadedAtAlert = board() != nullptr;
        };
        fake.log.clear();
    }

    void checkFromTheMenu() { app.mainForm().findChild<QAction*>(QStringLiteral("mcheck"))->trigger(); }
    alert::MsgForm* board() { return app.forms().peek<alert::MsgForm>(); }

    pop3::Pop3Mailbox library;
    imap::ImapMailbox imapLibrary;
    platform::MailboxByServerName mailbox{imapLibrary, library};
    fakes::FakePlatform fake;
    app::Application app{fake.services()};
    int alertsStarted = 0;
    bool boardLoadedAtAlert = false;
};

} // namespace pelmora::tests
