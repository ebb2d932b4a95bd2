#pragma once

#include "mail/AccountSignIn.h"
#include "mail/AnnouncedMessages.h"
#include "mail/CheckReport.h"
#include "mail/CheckScheduler.h"
#include "mail/DialUpHangUp.h"
#include "mail/MailboxLogin.h"
#include "mail/MailViews.h"

#include "settings/NoticeOptions.h"
#include "settings/Preferences.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include "platform/ports/Mailbox.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pelmora::mail {

// One check of the mailbox: connect, log in with the stored account (or, for an account that
// signs in with its provider, with a token to the sign-in's server), read every message's header
// (never a body: the mailbox stays exactly as it was), report what it found (a failed login, new
// mail with its count and headers, or none); then hang up the dial-up connections when the
// preferences say so.
//
// With "only new mail" on (the options' file, read at each check), the check asks the server for
// its messages' unique ids and counts only those the record of announced messages does not hold;
// it reads only their headers (the newest), and records them once the report says the user was
// told. An account without a record (the option just turned on, the account changed) has the mail
// on the server taken as announced, and nothing is reported. A server without usable ids gets the
// rule without the option, and the report says so.
//
// The check runs on the user-interface thread; window events keep being dispatched while the
// mailbox waits and while the report is shown (the error box, the notice board's one second). A
// check asked for meanwhile (by the scheduler, the menu, anything) is skipped: checks never nest.
class MailCheck final : public ScheduledCheck {
public:
    struct Parts {
        platform::Mailbox& mailbox;
        AccountSignIn& signIn;
        AccountDialogView& account;
        DialUpHangUp& hangUp;
        CheckReport& report;
        const settings::NoticeOptionsFile& options;
        AnnouncedMessages& announced;
    };

    // Messages read in one check at most. No mailbox anyone reads comes near it; a server that
    // claims two billion messages and answers each at once would otherwise keep the check going
    // for days. The count reported stays the server's.
    static constexpr std::int32_t kMaxMessagesRead = 100'000;

    // The preferences are read when they are used: the hang-up after the check.
    MailCheck(Parts parts, const settings::Preferences& preferences,
              const settings::SettingsStore& store, settings::ProgramValues& values);

    // ScheduledCheck
    void run() override;
    bool isRunning() const override { return m_running; }

    // The account the record of announced messages is kept for: the server and user ID the
    // check logs in with.
    MailAccount account() const;
    // The login a check would make now, from the stored account or the sign-in, without asking
    // the user anything: nothing when a check would have to (no ID or password, not signed in).
    // With a sign-in the access token is fetched only `withSecret`.
    std::optional<MailboxLogin> currentLogin(bool withSecret);
    // The server a check would talk to now: the sign-in's, else the server settings'.
    QString currentServer() const;
    // Called after every check, once it has ended.
    void setAfterCheck(std::function<void()> afterCheck) { m_afterCheck = std::move(afterCheck); }

private:
    // The messages a check found to be new under "only new mail", to be recorded once told.
    struct ToRecord {
        MailAccount account;
        QList<QByteArray> mailbox;
        QList<QByteArray> announced;
    };
    using Session = std::unique_ptr<platform::MailboxSession>;
    void checkOnce();
    // Connects, logs in and reads the headers into `mail`: the number of messages, 0 on every
    // path that did not log in.
    std::int32_t talkToServer(NewMail& mail);
    // Logs in on `session` with a token, once more with a fresh token when the server refuses the
    // first (then on a new session, which `session` is set to). The count, or < 0.
    std::int32_t logInWithToken(Session& session, const QString& server);
    void readHeaders(platform::MailboxSession& session, NewMail& mail);
    // "Only new mail": the number of new messages (their headers read into `mail`), or < 0 when
    // the server gives no usable ids and every message counts.
    std::int32_t readNewHeaders(platform::MailboxSession& session, NewMail& mail);
    // Reads message `number`'s header into `mail`, keeping the newest; false when the session
    // can answer no more.
    bool readHeader(platform::MailboxSession& session, std::int32_t number, NewMail& mail);

    Parts m_parts;
    const settings::Preferences& m_preferences;
    const settings::SettingsStore& m_store;
    settings::ProgramValues& m_values;
    bool m_running = false;
    std::function<void()> m_afterCheck;
    std::optional<ToRecord> m_toRecord;
};

} // namespace pelmora::mail
