#pragma once

#include "imap/ResponseReader.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace pelmora::imap {

struct Credentials {
    QByteArray user;
    QByteArray secret; // the password, or the access token
    bool token = false;
};

// An answer, or the text that says why there is none.
template <typename T>
struct Answer {
    bool ok = false;
    T value{};
    QString failure;
};

class ResponseParts;
struct StatusLine;

// The IMAP protocol without any I/O: bytes from the server go in through feed(), commands for the
// server come out of takeOutgoing(). The socket driver owns the connection and the waiting; this
// class owns every protocol decision, so it can be tested with transcripts and fuzzed.
//
// From the greeting the login runs by itself: the capabilities (from the greeting's response code
// or CAPABILITY), STARTTLS when offered and not yet secure (the driver then performs the handshake
// and calls tlsEstablished()), the capabilities again, then LOGIN, AUTHENTICATE PLAIN (when the
// server disables LOGIN) or, with a bearer token and only over TLS, AUTHENTICATE OAUTHBEARER or
// XOAUTH2. Then EXAMINE INBOX (read-only: nothing is marked read) and UID SEARCH UNSEEN, sent
// together: the unseen messages, in UID order, are what the session counts. Headers are read with
// UID FETCH … (BODY.PEEK[HEADER]), which leaves the message unseen, several at a time in the order
// a check asks for them. A password goes out in plain text only when TLS is not required (see
// requireTls) and the server never offered STARTTLS; a token never does.
class Session {
public:
    enum class State : std::uint8_t {
        Greeting,       // waiting for the server's greeting
        Capabilities,   // CAPABILITY sent
        StartTls,       // STARTTLS sent
        TlsHandshake,   // the driver is negotiating TLS; the server must stay silent
        Authenticating, // LOGIN or AUTHENTICATE sent
        Selecting,      // EXAMINE INBOX and UID SEARCH UNSEEN sent
        Ready,          // logged in, the unseen messages known: headers can be asked for
        IdleStarting,   // IDLE sent, its continuation not yet come
        Idling,         // the server tells of changes as they happen; nothing is awaited
        IdleEnding,     // DONE sent, IDLE's tagged response not yet come
        LoggingOut,     // LOGOUT sent
        Closed,         // LOGOUT answered
        Failed,         // see failure(); the connection is of no further use
    };
    // Why a plain connection must switch to TLS before the password goes out (see pop3::Session).
    enum class TlsRequirement : std::uint8_t { None, OfferedBefore, AskedFor };

    Session(Credentials credentials, bool secure, bool tlsAvailable);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Set before the greeting is fed.
    void requireTls(TlsRequirement why) { m_tlsRequirement = why; }
    // The server's name and port as the user gave them; OAUTHBEARER tells them to the server.
    void setServer(QByteArray host, quint16 port)
    {
        m_host = std::move(host);
        m_port = port;
    }

    // Takes every byte.
    void feed(QByteArrayView bytes);
    QByteArray takeOutgoing() { return std::exchange(m_outgoing, {}); }

    State state() const { return m_state; }
    const QString& failure() const { return m_failure; }
    // Grows with every tagged response (and the greeting); the driver restarts its reply timer on
    // a change. Untagged responses are no progress: a server could send them for ever.
    std::uint64_t repliesCompleted() const { return m_repliesCompleted; }
    // Whether the login and the search completed, also when the connection failed afterwards.
    bool loggedIn() const { return m_loggedIn; }
    bool tokenRefused() const { return m_tokenRefused; }
    // Whether the server listed STARTTLS in its capabilities on the plain connection.
    bool startTlsOffered() const { return m_startTlsOffered; }
    // The unseen messages' UIDs, ascending, and the mailbox's UIDVALIDITY (0 when not given).
    const std::vector<std::uint32_t>& unseen() const { return m_unseen; }
    std::uint32_t uidValidity() const { return m_uidValidity; }
    // Whether a response (or the TLS handshake) is outstanding: the reply timer runs. While
    // idling the server speaks only when something changes, which may be never.
    bool awaitingReply() const
    {
        return (!m_inFlight.empty() && m_state != State::Idling) || m_state == State::Greeting
            || m_state == State::TlsHandshake;
    }

    void tlsEstablished();
    void abort(const QString& why);

    // The header of unseen message `number` (1 to unseen().size()); asking for it also asks for
    // the next few. A failure of one message leaves the session usable.
    void requestHeader(int number);
    std::optional<Answer<QByteArray>> takeHeader(int number);
    void requestLogout();

    // Waiting for changes (IDLE, RFC 2177). Only when Ready and the server lists IDLE.
    bool offersIdle() const { return m_capabilities.idle; }
    void startIdle();
    // Ends the IDLE (DONE): the session is Ready again once the server has answered it. Asked
    // before the server has accepted the IDLE, DONE follows its acceptance.
    void endIdle();
    // Grows with every sign of new mail after the login: a message added to INBOX (EXISTS), or
    // a message's flags changed so that it is unseen (FETCH without \Seen).
    std::uint64_t mailNotices() const { return m_mailNotices; }

private:
    enum class Command : std::uint8_t {
        Capability, StartTls, Login, Authenticate, Examine, Search, Fetch, Logout, Idle,
    };
    struct Pending {
        Command command;
        QByteArray tag;
        std::vector<std::uint32_t> uids; // of a Fetch
    };

    void setState(State next) { m_state = next; }
    void fail(const QString& text);
    void send(Command command, const QByteArray& arguments, std::vector<std::uint32_t> uids = {});
    void sendLine(const QByteArray& line);
    void handle(const Response& response);
    void handleUntagged(const StatusLine& status, ResponseParts& parts);
    void handleTagged(const StatusLine& status);
    void handleContinuation(const StatusLine& status);
    void readCapabilities(QByteArrayView list);
    void readFetch(ResponseParts& parts);
    void noticeMail();

    void onGreeting(const StatusLine& status);
    void afterCapabilities();
    void logIn();
    void logInWithToken();
    QByteArray tokenResponse() const;
    QByteArray plainResponse() const;
    void onLoggedIn();
    void onFetchDone(const Pending& pending, const StatusLine& status);
    // Whether a header for `uid` is kept or asked for.
    bool known(std::uint32_t uid) const;

    Credentials m_credentials;
    bool m_secure;
    bool m_tlsAvailable;
    TlsRequirement m_tlsRequirement = TlsRequirement::None;
    State m_state = State::Greeting;
    QString m_failure;
    std::uint64_t m_repliesCompleted = 0;
    QByteArray m_host;
    quint16 m_port = 0;

    // What the capabilities say, of what the session acts on.
    struct Capabilities {
        bool known = false;
        bool startTls = false;
        bool loginDisabled = false;
        bool saslIr = false;
        bool plain = false;
        bool oauthBearer = false;
        bool xoauth2 = false;
        bool idle = false;
    } m_capabilities;
    bool m_startTlsOffered = false;
    bool m_preauth = false;
    bool m_loggedIn = false;
    bool m_tokenRefused = false;
    bool m_usingOAuthBearer = false;
    bool m_responseSent = false;  // the SASL response of the AUTHENTICATE in flight
    QByteArray m_tokenStatus;     // the status of the server's error challenge, when it had one
    bool m_examined = false;
    bool m_idleEndAsked = false;
    std::uint64_t m_mailNotices = 0;

    std::vector<std::uint32_t> m_unseen;
    std::uint32_t m_uidValidity = 0;
    std::map<std::uint32_t, Answer<QByteArray>> m_headers; // by UID, for the caller

    ResponseReader m_reader;
    std::int64_t m_bytesSinceTagged = 0;
    std::uint64_t m_lastTag = 0;
    std::deque<Pending> m_inFlight;
    QByteArray m_outgoing;
};

} // namespace pelmora::imap
