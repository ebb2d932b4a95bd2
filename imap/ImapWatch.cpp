#include "imap/ImapWatch.h"

namespace pelmora::imap {

ImapWatch::ImapWatch(std::unique_ptr<Connection> connection, Credentials credentials,
                     Listener listener, std::chrono::milliseconds renewEvery)
    : m_connection(std::move(connection)), m_listener(std::move(listener))
{
    m_renewTimer.setInterval(renewEvery);
    connect(&m_renewTimer, &QTimer::timeout, this, [this] { m_connection->renewIdle(); });
    m_connection->watch(std::move(credentials), [this] { onConnectionChanged(); });
}

ImapWatch::~ImapWatch() { m_connection->stopWatching(); }

void ImapWatch::onConnectionChanged()
{
    if (m_over)
        return;
    if (m_connection->watchEnded()) {
        m_renewTimer.stop();
        return tell(Health::Lost, m_connection->watchFailure());
    }
    if (m_connection->idleUnsupported()) {
        m_connection->stopWatching();
        return tell(Health::Unsupported);
    }
    if (m_connection->isIdling() && !m_told) {
        m_told = true;
        m_renewTimer.start();
        // Mail noticed before the IDLE began (between the login and now) is reported below.
        tell(Health::Watching);
    }
    const std::uint64_t notices = m_connection->mailNotices();
    if (m_told && notices != m_noticesTold) {
        m_noticesTold = notices;
        if (m_listener.mailArrived)
            m_listener.mailArrived();
    }
}

void ImapWatch::tell(Health health, const QString& why)
{
    if (health != Health::Watching)
        m_over = true;
    if (m_listener.healthChanged)
        m_listener.healthChanged(health, why);
}

} // namespace pelmora::imap
