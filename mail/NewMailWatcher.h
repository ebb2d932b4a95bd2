#pragma once

#include "mail/CheckScheduler.h"
#include "mail/MailboxLogin.h"

#include "settings/Preferences.h"

#include "platform/ports/ConnectivityEvents.h"
#include "platform/ports/Mailbox.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace pelmora::mail {

// Keeps one connection watching the mailbox while interval checking is on, so that new mail is
// checked for the moment the server tells of it (IMAP's IDLE); the interval's checks go on
// beside it. There is no watch while the dial-up hang-up is on (the connection would hold the
// line), nor for a server that cannot be watched (POP3, or an IMAP server without IDLE).
//
// A connection lost is made again after a pause that doubles each time (up to kLongestPause), and
// once it is back a check runs: mail may have come while it was down. Waking from sleep and the
// network's return make it again at once. Whether to watch, and whom, is decided again whenever
// interval checking is switched and after every check (the account or the preferences may have
// changed).
class NewMailWatcher final : public QObject, public settings::IntervalSwitch {
    Q_OBJECT
public:
    struct Parts {
        platform::Mailbox& mailbox;
        ScheduledCheck& check;
        platform::ConnectivityEvents& connectivity;
        // The server a check would talk to now (nothing is read for it).
        std::function<QString()> server;
        // The login a check would make now; nothing when a check would have to ask the user.
        // `withSecret`: the password or a fresh token is needed (a connection is to be made).
        std::function<std::optional<MailboxLogin>(bool withSecret)> login;
        // Whether the connection is healthy: watching, or not meant to watch.
        std::function<void(bool healthy)> healthChanged;
    };
    static constexpr std::chrono::seconds kFirstPause{2};
    static constexpr std::chrono::minutes kLongestPause{5};

    NewMailWatcher(Parts parts, const settings::Preferences& preferences,
                   std::chrono::milliseconds firstPause = kFirstPause);
    ~NewMailWatcher() override;

    // settings::IntervalSwitch
    void setIntervalChecking(bool on) override;
    // How long the interval is does not matter to the watch, only whether it is on.
    void intervalChanged() override {}
    // After every check.
    void reconsider();
    // The program ends: the connection goes, and none is made again.
    void stop();

    bool isWatching() const { return m_watching; }

private:
    // The account as far as telling two apart goes (an access token changes, the account not).
    static QString accountKey(const MailboxLogin& login);
    bool wanted() const;
    std::optional<MailboxLogin> watchableLogin() const;
    void retry();
    void startWatch();
    void dropWatch();
    void retireWatch();
    void onHealth(platform::MailboxWatch::Health health);
    void onBackOnline();
    void askForCheck();
    void runCheck();
    void setHealthy(bool healthy);

    Parts m_parts;
    const settings::Preferences& m_preferences;
    std::chrono::milliseconds m_firstPause;
    std::chrono::milliseconds m_pause;
    std::unique_ptr<platform::MailboxWatch> m_watch;
    QString m_watchedKey;     // the account of m_watch, or of the pause before the next
    QString m_unwatchableKey; // an account whose server cannot be watched: not tried again
    QTimer m_retryTimer;
    QTimer m_checkSoon;       // a check asked for while one runs
    bool m_intervalChecking = false;
    bool m_watching = false;
    bool m_checkWhenWatching = false;
    bool m_stopped = false;
    std::optional<bool> m_healthy;
};

} // namespace pelmora::mail
