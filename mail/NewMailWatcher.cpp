#include "mail/NewMailWatcher.h"

namespace pelmora::mail {

using Health = platform::MailboxWatch::Health;

namespace {
// How often a check asked for while another runs is tried again.
constexpr std::chrono::milliseconds kCheckRetry{200};
} // namespace

NewMailWatcher::NewMailWatcher(Parts parts, const settings::Preferences& preferences,
                               std::chrono::milliseconds firstPause)
    : m_parts(std::move(parts)), m_preferences(preferences), m_firstPause(firstPause),
      m_pause(firstPause)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &NewMailWatcher::retry);
    m_checkSoon.setSingleShot(true);
    connect(&m_checkSoon, &QTimer::timeout, this, &NewMailWatcher::runCheck);
    m_parts.connectivity.setListener([this] { onBackOnline(); });
}

NewMailWatcher::~NewMailWatcher()
{
    m_parts.connectivity.setListener({});
}

void NewMailWatcher::setIntervalChecking(bool on)
{
    m_intervalChecking = on;
    reconsider();
}

void NewMailWatcher::stop()
{
    m_stopped = true;
    reconsider();
}

bool NewMailWatcher::wanted() const
{
    return m_intervalChecking && !m_preferences.hangUpAfterCheck && !m_stopped;
}

QString NewMailWatcher::accountKey(const MailboxLogin& login)
{
    const auto& c = login.credentials;
    QString key = login.server + u'\n' + c.user + u'\n' + QString::number(int(c.method));
    if (c.method != platform::LoginMethod::BearerToken)
        key += u'\n' + c.secret;
    return key;
}

// The account is read only for a server that can be watched at all.
std::optional<MailboxLogin> NewMailWatcher::watchableLogin() const
{
    if (!wanted() || !m_parts.mailbox.canWatch(m_parts.server()))
        return std::nullopt;
    return m_parts.login(false);
}

void NewMailWatcher::reconsider()
{
    const std::optional<MailboxLogin> login = watchableLogin();
    if (!login) {
        dropWatch();
        m_retryTimer.stop();
        m_watchedKey.clear();
        m_checkSoon.stop();
        return setHealthy(true);
    }
    const QString key = accountKey(*login);
    if (key == m_unwatchableKey)
        return;
    // Watching this account already, or pausing before it is tried again.
    if (key == m_watchedKey && (m_watch || m_retryTimer.isActive()))
        return;
    dropWatch();
    m_retryTimer.stop();
    m_pause = m_firstPause;
    startWatch();
}

// After the pause that followed a lost connection: the same account again, the pause kept for
// the next time (it grows until a watch succeeds); anything else is decided afresh.
void NewMailWatcher::retry()
{
    const std::optional<MailboxLogin> login = watchableLogin();
    if (login && accountKey(*login) == m_watchedKey)
        return startWatch();
    m_watchedKey.clear();
    reconsider();
}

void NewMailWatcher::startWatch()
{
    const std::optional<MailboxLogin> login = m_parts.login(true);
    if (!login)
        return;
    m_watchedKey = accountKey(*login);
    platform::MailboxWatch::Listener listener{
        [this] { askForCheck(); },
        [this](Health health, const QString&) { onHealth(health); },
    };
    m_watch = m_parts.mailbox.watch(login->server, login->credentials, std::move(listener));
    if (!m_watch) {
        m_unwatchableKey = m_watchedKey;
        m_watchedKey.clear();
    }
}

void NewMailWatcher::dropWatch()
{
    m_watching = false;
    m_watch.reset();
}

// The watch tells of its end from inside its own call: it is destroyed once that call has
// returned.
void NewMailWatcher::retireWatch()
{
    m_watching = false;
    std::shared_ptr<platform::MailboxWatch> ended(std::move(m_watch));
    QTimer::singleShot(0, this, [ended] {});
}

void NewMailWatcher::onHealth(Health health)
{
    switch (health) {
    case Health::Watching:
        m_watching = true;
        m_pause = m_firstPause;
        setHealthy(true);
        if (std::exchange(m_checkWhenWatching, false))
            askForCheck();
        return;
    case Health::Unsupported:
        // The interval's checks do the work; this server is not asked again in this run.
        m_unwatchableKey = m_watchedKey;
        m_watchedKey.clear();
        retireWatch();
        return setHealthy(true);
    case Health::Lost:
        retireWatch();
        setHealthy(false);
        // Mail may come while the connection is down: a check follows its return.
        m_checkWhenWatching = true;
        m_retryTimer.start(m_pause);
        m_pause = std::min<std::chrono::milliseconds>(m_pause * 2, kLongestPause);
        return;
    }
}

void NewMailWatcher::onBackOnline()
{
    if (!wanted() || m_watchedKey.isEmpty())
        return;
    // Whatever the connection looks like, it is likely dead; it is made again now.
    dropWatch();
    m_retryTimer.stop();
    m_pause = m_firstPause;
    m_checkWhenWatching = true;
    m_watchedKey.clear();
    reconsider();
}

// Never from inside the watch's own call: the check waits on the network, and meanwhile the
// watch may end.
void NewMailWatcher::askForCheck()
{
    if (!m_stopped)
        m_checkSoon.start(0);
}

void NewMailWatcher::runCheck()
{
    if (m_stopped)
        return;
    if (m_parts.check.isRunning()) {
        // The running check may have read the mailbox before this mail came.
        m_checkSoon.start(kCheckRetry);
        return;
    }
    m_parts.check.run();
}

void NewMailWatcher::setHealthy(bool healthy)
{
    if (m_healthy == healthy)
        return;
    m_healthy = healthy;
    if (m_parts.healthChanged)
        m_parts.healthChanged(healthy);
}

} // namespace pelmora::mail
