#pragma once

// The IMAP mailbox as the mail check uses it: one session, its login, then headers; each call
// keeps its failure and text.

#include "imap/ImapMailbox.h"

#include <QString>

#include <memory>

namespace pelmora::tests {

struct ImapCheck {
    explicit ImapCheck(imap::Timeouts timeouts = {}) : mailbox(timeouts) {}

    // Opens a session with `server` and logs in: the count, or -1 (the reason in `text`).
    int login(const QString& server, const QString& user, const QString& secret,
              platform::LoginMethod method = platform::LoginMethod::Password)
    {
        session = mailbox.open(server, &text);
        if (!session) {
            failure = platform::MailboxFailure::ConnectionLost;
            return -1;
        }
        const auto answer = session->logIn({user, secret, method});
        text = answer.text;
        failure = answer.failure;
        return answer.ok() ? answer.value : -1;
    }
    // Reads header n into `last`: how that went.
    platform::MailboxFailure header(int n)
    {
        const auto answer = session->header(n);
        text = answer.text;
        last = answer.value;
        return answer.failure;
    }
    void close()
    {
        if (session)
            session->close();
    }

    imap::ImapMailbox mailbox;
    std::unique_ptr<platform::MailboxSession> session;
    platform::MailHeader last;
    platform::MailboxFailure failure = platform::MailboxFailure::None;
    QString text;
};

} // namespace pelmora::tests
