#pragma once

#include "imap/ImapConnection.h"
#include "imap/ImapWatch.h"
#include "platform/ports/Mailbox.h"
#include "pop3/MailboxSessionParts.h"

#include <memory>
#include <vector>

namespace pelmora::imap {

// The mailbox over our own IMAP client, for the server names imap://, imap+starttls:// and
// imaps://. Make it on the UI thread and call it from there: every call that talks to the server
// keeps dispatching the thread's events while it waits.
//
// A session logs in (LOGIN, AUTHENTICATE PLAIN, or a bearer token over TLS), opens INBOX
// read-only (EXAMINE) and answers the number of its unseen messages; the headers are those of
// the unseen messages, in UID order, read with BODY.PEEK. Nothing on the server changes: no flag
// is set, no message is moved or deleted.
class ImapMailbox final : public platform::Mailbox {
public:
    explicit ImapMailbox(Timeouts timeouts = {},
                         std::chrono::milliseconds idleRenewal = ImapWatch::kRenewEvery);
    ~ImapMailbox() override;
    ImapMailbox(const ImapMailbox&) = delete;
    ImapMailbox& operator=(const ImapMailbox&) = delete;

    std::unique_ptr<platform::MailboxSession> open(const QString& server,
                                                   QString* failure) override;
    void closeAll() override;
    bool canWatch(const QString& server) const override;
    // Idles on INBOX (see ImapWatch); the password goes out under the same rules as a session's.
    std::unique_ptr<platform::MailboxWatch> watch(const QString& server,
                                                  const platform::MailboxCredentials& credentials,
                                                  platform::MailboxWatch::Listener listener) override;

private:
    Timeouts m_timeouts;
    std::chrono::milliseconds m_idleRenewal;
    // Which servers offered STARTTLS in this run: none of them gets a password in plain text later.
    std::shared_ptr<pop3::StartTlsMemory> m_startTls;
    // Every session handed out, so that closeAll() reaches those still open.
    pop3::OpenConnections<Connection> m_connections;
};

} // namespace pelmora::imap
