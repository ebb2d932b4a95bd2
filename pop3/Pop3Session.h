#pragma once

#include "pop3/CapabilityReader.h"
#include "pop3/HeaderReceiver.h"
#include "pop3/HeadersAhead.h"
#include "pop3/MessageIdReader.h"
#include "pop3/MultiLineDecoder.h"
#include "pop3/Pop3Limits.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

namespace pelmora::pop3 {

// How the session logs in.
enum class LoginMethod : std::uint8_t {
    UserPass,
    Apop,
    BearerToken, // SASL OAUTHBEARER or XOAUTH2; the password is an OAuth 2 access token
};

struct Credentials {
    QByteArray user;
    QByteArray password; // or the access token
    LoginMethod method = LoginMethod::UserPass;
};

// The POP3 protocol without any I/O: bytes from the server go in through feed(), command lines
// for the server come out of takeOutgoing(). The socket driver owns the connection and the
// waiting; this class owns every protocol decision, so it can be tested with transcripts and
// fuzzed.
//
// Login runs by itself from the greeting: CAPA, STLS when offered and not yet secure (the driver
// then performs the handshake and calls tlsEstablished()), CAPA again, APOP or USER/PASS (USER
// and PASS together when the server offers PIPELINING, unless setPasswordWithUser(false)) or
// AUTH with a bearer token, and STAT once the password is accepted.
// When TLS is required (see requireTls) and the server does not switch to it, the login fails
// before the password goes out. A bearer token goes out only over TLS, whatever is required.
// Then the driver asks for headers (TOP n 0); nothing else about a message is ever asked for: no
// body (RETR), so a check never changes the mailbox (servers mark a message read when it was
// retrieved, not when its header was). A server that does not offer TOP (CAPA without it, or a
// TOP answered -ERR) is asked for no header at all. Without PIPELINING each request is one
// command and one round trip. With PIPELINING the session reads ahead of its caller in the order
// a mail check asks (message after message): asking for header n also asks the server for the
// next headers, and they are kept until the caller asks, within a bound of bytes kept. When the next reply is a header that does not fit that bound and the caller waits
// for nothing, feed() stops taking bytes (readingPaused()): the driver leaves them in the socket
// and TCP holds the server back until the caller asks again. While the caller waits, the session
// never pauses: a header that does not fit is then read and thrown away, and asked for again when
// the caller wants it. A caller that asks in another order gets the same answers; what was read
// ahead for messages it skips is dropped.
class Session {
public:
    enum class State : std::uint8_t {
        Greeting,     // waiting for the server's greeting
        Capabilities, // CAPA sent
        StartTls,     // STLS sent
        TlsHandshake, // the driver is negotiating TLS; the server must stay silent
        Authorization,// USER/PASS, APOP or AUTH sent
        Stat,         // STAT sent
        Transaction,  // logged in: headers can be asked for
        Quitting,     // QUIT sent
        Closed,       // QUIT answered
        Failed,       // see failure(); the connection is of no further use
    };

    Session(Credentials credentials, bool secure, bool tlsAvailable, ReadAhead readAhead = {});

    // Why a plain connection must switch to TLS with STLS before the password goes out; without
    // it the login fails with a text naming the reason. Set before the greeting is fed.
    enum class TlsRequirement : std::uint8_t {
        None,          // STLS is taken when offered; a server that never offers it gets USER/PASS
        OfferedBefore, // this server offered STLS earlier: its absence now may be an attacker's
        AskedFor,      // the server name asked for it (pop3+starttls://)
    };
    void requireTls(TlsRequirement why) { m_tlsRequirement = why; }
    // The server's name and port as the user gave them; OAUTHBEARER tells them to the server
    // along with the token. Set before the greeting is fed.
    void setServer(QByteArray host, quint16 port)
    {
        m_host = std::move(host);
        m_port = port;
    }
    // Whether PASS may go along with USER when the server offers PIPELINING (a round trip less).
    // Only where the driver has replies acknowledged promptly: the server's reply to PASS
    // otherwise waits behind the acknowledgement of its reply to USER (see
    // platform::AcknowledgePromptly). Set before the greeting is fed.
    void setPasswordWithUser(bool allowed) { m_passwordWithUser = allowed; }
    // Whether the login failed because the server refused the bearer token (rather than, say,
    // not offering a way to take it): a fresh token may do on a new connection.
    bool tokenRefused() const { return m_tokenRefused; }
    // Whether the server listed STLS in its capabilities on the plain connection.
    bool startTlsOffered() const { return m_startTlsOffered; }

    // Answers how many of `bytes` were taken: all of them, unless reading paused (see above); the
    // rest is to be fed again once readingPaused() no longer holds.
    qsizetype feed(QByteArrayView bytes);
    // Whether the next reply is a header to be kept that does not fit the bytes kept while the
    // caller waits for nothing: no bytes are taken until the caller asks for something.
    bool readingPaused() const;
    QByteArray takeOutgoing() { return std::exchange(m_outgoing, {}); }

    State state() const { return m_state; }
    const QString& failure() const { return m_failure; }
    // Grows by one with every complete reply; the driver restarts its reply timer on a change.
    std::uint64_t repliesCompleted() const { return m_repliesCompleted; }
    int messageCount() const { return m_messageCount; }
    // Whether the login completed, also when the connection failed later: answers read before a
    // failure are still handed out.
    bool loggedIn() const { return m_loggedIn; }
    bool pipelining() const { return m_pipelining; }
    // Whether headers are asked for: the server listed TOP in its capabilities (or could not list
    // them at all) and has not refused a TOP yet.
    bool headersOffered() const { return m_headersOffered; }
    // Whether a reply (or the TLS handshake) is outstanding and being read, i.e. whether the
    // reply timer runs: not while reading is paused, since then the server waits for us.
    bool awaitingReply() const
    {
        return (!m_inFlight.empty() && !readingPaused()) || m_state == State::TlsHandshake;
    }

    // The driver tells the session what happened outside the protocol.
    void tlsEstablished();
    void abort(const QString& why);

    // Transaction requests. Message numbers must be 1..messageCount(). After a failure nothing
    // more is sent, but what had been read completely is still there to take. Without TOP a
    // header is answered at once with a failure that names the reason, and nothing is sent.
    void requestHeader(int number);
    std::optional<Answer<QByteArray>> takeHeader(int number);
    void requestQuit();

    // The unique id of every message, in message order (UIDL without argument). A server whose
    // capabilities leave out UIDL (or that refused it once) is not asked: the answer then comes at
    // once, as a failure. A list that does not hold together (see MessageIdReader) is a failure
    // too, and the session goes on. Neither is a failure of the session.
    void requestMessageIds();
    std::optional<Answer<QList<QByteArray>>> takeMessageIds();
    // Whether ids are asked for: the server listed UIDL in its capabilities (or could not list
    // them at all) and has not refused a UIDL.
    bool messageIdsOffered() const { return m_idsOffered; }

    // What is read ahead: the bytes of the headers kept ahead; all commands sent whose replies
    // have not been read yet, and their bytes.
    std::int64_t headerBytesAhead() const { return m_headers.bytesKept(); }
    std::size_t requestsInFlight() const { return m_inFlight.size(); }
    qsizetype commandBytesInFlight() const { return m_inFlightBytes; }

private:
    enum class Command : std::uint8_t {
        Greeting, Capa, Stls, User, Pass, Apop,
        Auth,         // AUTH <mechanism>, waiting for the server's "+"
        AuthResponse, // the initial response with the token
        AuthAbort,    // our answer to the server's error challenge
        Stat, Top, Uidl, Quit,
    };
    struct Pending {
        Command command;
        int number = 0;
        // Which request of its message this is; a reply whose request was dropped meanwhile (the
        // caller moved on, or asked again) is read and thrown away.
        std::uint64_t ticket = 0;
        QByteArray line;
    };

    void setState(State next);
    void fail(const QString& text);
    std::uint64_t send(Command command, int number, QByteArray line);
    void pump();
    void askTop(int number);
    void readAhead();
    void stopAskingForHeaders();
    void handleStatusLine(QByteArrayView line);
    // `continuation`: the reply was a "+" line (only AUTH and its response get one).
    void completeReply(bool ok, QByteArrayView statusLine, bool continuation = false);
    ContentSink& contentSinkFor(const Pending& pending);
    std::int64_t contentLimit(const Pending& pending) const;
    void beginLogin();

    // One handler per reply.
    void onGreeting(bool ok, QByteArrayView line);
    void onCapa(bool ok);
    void onStls(bool ok, QByteArrayView line);
    void onUser(bool ok, QByteArrayView line);
    void onPassOrApop(bool ok, QByteArrayView line);
    void beginTokenLogin();
    QByteArray tokenResponse() const;
    void onAuth(bool continuation, QByteArrayView line);
    void onAuthResponse(bool ok, bool continuation, QByteArrayView line);
    void onAuthAbort(QByteArrayView line);
    void onStat(bool ok, QByteArrayView line);
    void onTop(const Pending& pending, bool ok, QByteArrayView line);
    void onUidl(bool ok, QByteArrayView line);
    void onQuit();
    // Whether the caller waits for an answer not yet there (or the login or QUIT runs).
    bool callerWaits() const;
    // Whether the next reply is a header read ahead that does not fit the bytes kept.
    bool nextHeaderOverBound() const;

    Credentials m_credentials;
    bool m_secure;
    bool m_tlsAvailable;
    TlsRequirement m_tlsRequirement = TlsRequirement::None;
    bool m_startTlsOffered = false;
    ReadAhead m_readAhead;
    State m_state = State::Greeting;
    QString m_failure;
    std::uint64_t m_repliesCompleted = 0;

    QByteArray m_host;
    quint16 m_port = 0;
    bool m_oauthBearer = false;     // which mechanism carries the token (else XOAUTH2)
    QByteArray m_tokenStatus;       // the status of the server's error challenge, when it had one
    bool m_tokenRefused = false;

    QByteArray m_timestamp;
    bool m_pipelining = false;
    bool m_headersOffered = true;
    bool m_idsOffered = true;
    bool m_passwordWithUser = true;
    int m_messageCount = 0;
    bool m_loggedIn = false;

    std::deque<Pending> m_unsent;
    std::deque<Pending> m_inFlight;
    QByteArray m_outgoing;

    QByteArray m_statusLine;       // the status line being read
    QByteArray m_contentStatus;    // the +OK line of the multi-line reply being read
    ContentSink* m_content = nullptr;
    std::int64_t m_contentBytes = 0; // of the multi-line reply being read
    std::int64_t m_contentLimit = 0; // its bound
    MultiLineDecoder m_decoder;
    CapabilityReader m_capabilities;
    HeaderReceiver m_top;
    MessageIdReader m_uidl;
    // Where the ids stand: asked for and not yet answered, or the answer not yet taken.
    bool m_idsAsked = false;
    std::optional<Answer<QList<QByteArray>>> m_ids;

    std::uint64_t m_lastTicket = 0;
    HeadersAhead m_headers;
    qsizetype m_inFlightBytes = 0; // of the commands in m_inFlight
};

} // namespace pelmora::pop3
