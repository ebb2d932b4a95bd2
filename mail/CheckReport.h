#pragma once

#include "platform/ports/Mailbox.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace pelmora::mail {

// New mail as a check found it.
struct NewMail {
    // Headers kept for whoever shows them: the newest messages' only, and without the raw bytes,
    // so a mailbox of any size costs little memory.
    static constexpr qsizetype kMaxHeadersKept = 100;

    // The server's count; with "only new mail", the number of messages not announced before.
    std::int32_t count = 0;
    QList<platform::MailHeader> headers; // of the messages counted, in the mailbox's order
};

// What a check reports, as it happens: the one way the check tells the rest of the program what
// it found. The application connects it to the error box, the notice board, the mail program and
// the alert.
class CheckReport {
public:
    virtual ~CheckReport() = default;
    // A failure the user must read (the server's own words, a sign-in that failed). The check
    // goes on afterwards where it can: a header that took too long still leaves the count.
    virtual void failed(const QString& text) = 0;
    // The mailbox holds new mail; told after the session has closed. Answers whether the user
    // was told of it (the alert raised, or the mail program started): only then does it count as
    // announced.
    virtual bool newMail(const NewMail& mail) = 0;
    // "Only new mail" is on but the server gives no unique ids to tell new messages from old:
    // this check counts every message, as without the option.
    virtual void withoutMessageIds() = 0;
    // The check has ended without new mail: an empty mailbox, or no login.
    virtual void noNewMail() = 0;
};

} // namespace pelmora::mail
