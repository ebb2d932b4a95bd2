#pragma once

#include "mail/AccountSignIn.h"
#include "mail/MailViews.h"

#include "settings/Preferences.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include "platform/ports/Mailbox.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/ProgramLauncher.h"
#include "platform/ports/TickCounter.h"
#include "platform/ports/TrayIcon.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace pelmora::mail {


// One POP3 check of the mailbox: connect, log in with the stored account (or, for an account that
// signs in with its provider, with a token to the sign-in's server), read every message's header
// (never a body: the mailbox stays exactly as it was),
// report a failed login; on new mail (a mailbox that is not empty) start the mail program or show
// the notice board and start the alert; then hang up the dial-up connections when the
// preferences say so.
//
// The check runs on the user-interface thread; window events keep being dispatched while the
// library waits, while the error box is open and during the notice board's one second. A check
// asked for meanwhile (by the scheduler, the menu, anything) is skipped: checks never nest.
class MailCheck {
public:
    struct Ports {
        platform::Mailbox& mailbox;
        platform::MessageBox& messageBox;
        platform::ProgramLauncher& launcher;
        platform::TrayIcon& tray;
        platform::TickCounter& ticks;
        AccountSignIn& signIn;
    };
    struct Windows {
        CheckWindowView& mainWindow;
        AccountDialogView& account;
        NoticeBoardView& board;
    };

    // Messages read in one check at most. No mailbox anyone reads comes near it; a server that
    // claims two billion messages and answers each at once would otherwise keep the check going
    // for days. The count the board shows stays the server's.
    static constexpr std::int32_t kMaxMessagesRead = 100'000;

    // The preferences are read when they are used: the hang-up after the check, the board's
    // one second when the board is shown.
    MailCheck(Ports ports, Windows windows, const settings::Preferences& preferences,
              const settings::SettingsStore& store, settings::ProgramValues& values);

    void CheckMail();
    bool isRunning() const { return m_running; }

private:
    using Session = std::unique_ptr<platform::MailboxSession>;
    // Connects, logs in and reads the headers: the number of messages, 0 on every path that did
    // not log in.
    std::int32_t talkToServer();
    // Logs in on `session` with a token, once more with a fresh token when the server refuses the
    // first (then on a new session, which `session` is set to). The count, or < 0.
    std::int32_t logInWithToken(Session& session, const QString& server);
    void readHeaders(platform::MailboxSession& session, std::int32_t count);
    void showFailure(const QString& text);
    void announceNewMail(std::int32_t count);
    void startMailProgram(const QString& path);

    Ports m_ports;
    Windows m_windows;
    const settings::Preferences& m_preferences;
    const settings::SettingsStore& m_store;
    settings::ProgramValues& m_values;
    bool m_running = false;
};

} // namespace pelmora::mail
