#pragma once

#include "imap/ImapConnection.h"
#include "platform/ports/MailboxWatch.h"

#include <QTimer>

#include <chrono>
#include <memory>

namespace pelmora::imap {

// One connection idling on INBOX (IDLE, RFC 2177): the server's word of a new message, or of one
// marked unread again, is passed on at once. The IDLE is renewed before the 30 minutes after which
// a server may drop an idle client. Health is told once logged in (Watching, or Unsupported when
// the server has no IDLE) and when the connection ends (Lost, with why); then it is over.
class ImapWatch final : public QObject, public platform::MailboxWatch {
    Q_OBJECT
public:
    // Within the 29 minutes RFC 2177 asks clients to stay under.
    static constexpr std::chrono::minutes kRenewEvery{25};

    ImapWatch(std::unique_ptr<Connection> connection, Credentials credentials, Listener listener,
              std::chrono::milliseconds renewEvery = kRenewEvery);
    ~ImapWatch() override;

private:
    void onConnectionChanged();
    void tell(Health health, const QString& why = {});

    std::unique_ptr<Connection> m_connection;
    Listener m_listener;
    QTimer m_renewTimer;
    std::uint64_t m_noticesTold = 0;
    bool m_told = false; // Watching has been told
    bool m_over = false;
};

} // namespace pelmora::imap
