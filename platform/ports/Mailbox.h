#pragma once

#include "platform/ports/MailboxWatch.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace pelmora::platform {

// How a mailbox session logs in.
enum class LoginMethod : std::uint8_t {
    Password,    // user name and password
    Apop,        // user name and a digest of the password (POP3's APOP)
    BearerToken, // an OAuth 2 access token; only ever sent over TLS
};

struct MailboxCredentials {
    QString user;
    QString secret; // the password, or the access token
    LoginMethod method = LoginMethod::Password;
};

// Why a mailbox call gave no answer. What the check does next depends on it.
enum class MailboxFailure : std::uint8_t {
    None,
    LoginFailed,    // the server refused the login, or it could not be done safely
    TokenRefused,   // the server refused the access token: a fresh one may do, on a new session
    MessageFailed,  // this message only; the session goes on
    ConnectionLost, // the session is over (the server closed it, a reply timed out, or it was
                    // closed meanwhile): no further call can succeed
    TookTooLong,    // the session was ended because it outlived any real check (a server feeding
                    // a reply slowly for ever, or answering billions of requests one by one)
    NoMessageIds,   // the server gives no usable unique ids: it does not offer them, refused
                    // them, or sent a list that does not hold together; the session goes on
};

// An answer, or why there is none and the text that says so to the user.
template <typename T>
struct MailboxAnswer {
    T value{};
    MailboxFailure failure = MailboxFailure::None;
    QString text;
    bool ok() const { return failure == MailboxFailure::None; }
};

// What a message's header says, decoded for showing.
struct MailHeader {
    QString subject;
    QString from;
    QString date;
    QByteArray raw; // as the server sent it, up to the blank line (bounded)
    QString sender; // who sent it, for showing: From's name, else its address (one line, bounded)
};

// One conversation with the mail server. Every call waits for its answer while the thread's events
// keep being dispatched; a call on a session that is already waiting is refused.
class MailboxSession {
public:
    virtual ~MailboxSession() = default;
    // Logs in; answers the number of messages in the mailbox.
    virtual MailboxAnswer<int> logIn(const MailboxCredentials& credentials) = 0;
    // The header of message `number` (1 to the count). Reading it changes nothing on the server.
    virtual MailboxAnswer<MailHeader> header(int number) = 0;
    // The unique id of every message (POP3's UIDL), in message order: the same message keeps its
    // id from session to session, and no two messages share one. Each is 1 to 70 printable ASCII
    // characters. A server without usable ids answers NoMessageIds, and the session goes on; a
    // call before the login, or out of turn, answers MessageFailed.
    virtual MailboxAnswer<QList<QByteArray>> messageIds() = 0;
    // Ends the session politely; a call waiting on it meanwhile fails at once.
    virtual void close() = 0;
};

// The mail server named by the user, reached over the network.
class Mailbox {
public:
    virtual ~Mailbox() = default;
    // A session with `server` (the name as the user typed it), or null with the reason in
    // `failure` when the server cannot be reached.
    virtual std::unique_ptr<MailboxSession> open(const QString& server, QString* failure) = 0;
    // Closes every session still open: nothing may wait on the network once the program ends.
    virtual void closeAll() = 0;
    // Whether `server`'s kind of mailbox can be watched (IMAP; POP3 cannot). Asks nothing of the
    // server.
    virtual bool canWatch(const QString& /*server*/) const { return false; }
    // A watch of `server`'s mailbox, logging in with `credentials` (it starts at once and never
    // waits), or null when the server's kind of mailbox cannot be watched (POP3).
    virtual std::unique_ptr<MailboxWatch> watch(const QString& /*server*/,
                                                const MailboxCredentials& /*credentials*/,
                                                MailboxWatch::Listener /*listener*/)
    {
        return nullptr;
    }
};

} // namespace pelmora::platform
