#pragma once

#include "platform/ports/Mailbox.h"
#include "pop3/MailboxSessionParts.h"
#include "pop3/Pop3Limits.h"

#include <memory>
#include <vector>

namespace pelmora::pop3 {

class Connection;
class StartTlsMemory;

// The mailbox over our own POP3 client. Make it on the UI thread and call it from there: every
// call that talks to the server keeps dispatching the thread's events while it waits.
//
// A session logs in with USER/PASS, APOP or a bearer token (SASL, only over TLS), answers the
// count from STAT and reads headers with TOP n 0. It never retrieves or deletes a message, so the
// mailbox is left exactly as it was found.
class Pop3Mailbox final : public platform::Mailbox {
public:
    explicit Pop3Mailbox(Timeouts timeouts = {});
    ~Pop3Mailbox() override;
    Pop3Mailbox(const Pop3Mailbox&) = delete;
    Pop3Mailbox& operator=(const Pop3Mailbox&) = delete;

    std::unique_ptr<platform::MailboxSession> open(const QString& server,
                                                   QString* failure) override;
    void closeAll() override;

private:
    Timeouts m_timeouts;
    // Which servers offered STLS in this run: none of them gets a password in plain text later.
    std::shared_ptr<StartTlsMemory> m_startTls;
    OpenConnections<Connection> m_connections;
};

} // namespace pelmora::pop3
