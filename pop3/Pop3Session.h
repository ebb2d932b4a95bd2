#pragma once

#include "pop3/MessageReceiver.h"
#include "pop3/MultiLineDecoder.h"
#include "pop3/Pop3Limits.h"
#include "pop3/ScanListReader.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

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

// The answer to one request: a value, or the text of why there is none.
template <typename T>
struct Answer {
    bool ok = false;
    T value{};
    QString failure;
};

struct Retrieval {
    bool done = false;
    bool ok = false;
    QString failure;
    QByteArray header;
    std::int64_t size = 0;
};

// The POP3 protocol without any I/O: bytes from the server go in through feed(), command lines
// for the server come out of takeOutgoing(). The socket driver owns the connection and the
// waiting; this class owns every protocol decision, so it can be tested with transcripts and
// fuzzed.
//
// Login runs by itself from the greeting: CAPA, STLS when offered and not yet secure (the driver
// then performs the handshake and calls tlsEstablished()), CAPA again, APOP or USER/PASS (USER
// and PASS together when the server offers PIPELINING, unless setPasswordWithUser(false)) or
// AUTH with a bearer token, and STAT once the password is accepted (with PIPELINING, LIST without
// an argument along with it: the sizes of all messages in the same round trip, so bodies can be
// asked for as soon as the caller starts).
// When TLS is required (see requireTls) and the server does not switch to it, the login fails
// before the password goes out. A bearer token goes out only over TLS, whatever is required.
// Then the driver asks for headers (TOP n 0), sizes (LIST n) and messages (RETR n). Without
// PIPELINING each request is one command and one round trip. With PIPELINING the session reads
// ahead of its caller in the order a mail check asks (status, size and message of each message in
// turn): asking about message n also asks the server about the next messages, bodies as far as
// their sizes fit a window of bytes on their way (see ReadAhead), and their replies are kept until
// the caller asks, within a bound of bytes kept. When the next reply is a body that does not fit
// that bound and the caller waits for nothing, feed() stops taking bytes (readingPaused()): the
// driver leaves them in the socket and TCP holds the server back until the caller asks again.
// While the caller waits, the session never pauses: a body that does not fit is then read and
// thrown away, and fetched again when the caller wants it (only a caller out of the check's order
// meets this). A caller that asks in another order gets the same answers; what was read ahead for
// messages it skips is dropped.
class Session {
public:
    enum class State : std::uint8_t {
        Greeting,     // waiting for the server's greeting
        Capabilities, // CAPA sent
        StartTls,     // STLS sent
        TlsHandshake, // the driver is negotiating TLS; the server must stay silent
        Authorization,// USER/PASS, APOP or AUTH sent
        Stat,         // STAT sent
        Transaction,  // logged in: headers, sizes and messages can be asked for
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
    // Whether the next reply is a body to be kept that does not fit the bytes kept while the
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
    // more is sent, but what had been read completely is still there to take.
    void requestHeader(int number);
    std::optional<Answer<QByteArray>> takeHeader(int number);
    void requestSize(int number);
    std::optional<Answer<std::int64_t>> takeSize(int number);
    // The message is written into `body` (its size() is its capacity; the last byte written is a
    // NUL) until detachBody(); retrieval() tells when it is there.
    void requestMessage(int number, std::string* body);
    const Retrieval& retrieval() const { return m_retrieval; }
    void detachBody();
    void requestQuit();

    // What is read ahead: bodies asked for ahead or kept, and their bytes as LIST gave them; the
    // part of those bytes kept (arrived or arriving); the bytes of the headers kept ahead; all
    // commands sent whose replies have not been read yet, and their bytes.
    int bodiesAhead() const;
    std::int64_t bytesAhead() const { return m_bytesAhead; }
    std::int64_t bytesKept() const { return m_bytesKept; }
    std::int64_t headerBytesAhead() const { return m_headerBytesAhead; }
    std::size_t requestsInFlight() const { return m_inFlight.size(); }
    qsizetype commandBytesInFlight() const { return m_inFlightBytes; }
    // The memory actually held for messages ahead: body buffers and headers kept.
    std::int64_t bytesHeld() const;

private:
    enum class Command : std::uint8_t {
        Greeting, Capa, Stls, User, Pass, Apop,
        Auth,         // AUTH <mechanism>, waiting for the server's "+"
        AuthResponse, // the initial response with the token
        AuthAbort,    // our answer to the server's error challenge
        Stat, ListAll, Top, List, Retr, Quit,
    };
    struct Pending {
        Command command;
        int number = 0;
        // Which request of its message this is; a reply whose request was dropped meanwhile (the
        // caller moved on, or asked again) is read and thrown away.
        std::uint64_t ticket = 0;
        QByteArray line;
    };

    // Where one request about a message stands.
    enum class Phase : std::uint8_t { NotAsked, Asked, Answered, Used };
    // What the session knows or has asked about one message near the caller's.
    struct Message {
        Phase top = Phase::NotAsked;
        Phase list = Phase::NotAsked;
        Phase retr = Phase::NotAsked; // Asked/Answered: read ahead; Used: not (or no longer)
        std::uint64_t topTicket = 0;
        std::uint64_t listTicket = 0;
        std::uint64_t retrTicket = 0;
        Answer<QByteArray> header;
        Answer<std::int64_t> size;   // kept after it was taken: reading ahead needs it
        std::int64_t reserved = 0;   // this body's bytes as LIST gave them (m_bytesAhead)
        bool flying = false;         // `reserved` counts as on its way (m_bytesFlying)
        bool kept = false;           // `reserved` counts as kept (m_bytesKept): it has a buffer
        std::int64_t headerOfBody = 0; // the kept body's header, also counted in m_bytesKept
        bool headerFromBody = false; // the caller's header comes with the body read ahead
        std::int64_t headerKept = 0; // the header's share of ReadAhead::headerBytes
        std::string body;            // the body read ahead: `reserved` bytes and a NUL
        bool intoCaller = false;     // its reply goes straight into the waiting caller's buffer
        Retrieval retrieval;         // how reading it ahead ended
    };
    using Messages = std::map<int, Message>;

    // Reads a CAPA list word by word as it arrives and keeps only the capabilities the session
    // acts on (and the SASL mechanisms it can use), so memory stays constant however long the
    // list or any of its lines or words is.
    class CapabilityReader final : public ContentSink {
    public:
        void reset();
        void append(QByteArrayView bytes) override;
        qsizetype lines() const { return m_lines; }
        bool startTls() const { return m_startTls; }
        bool pipelining() const { return m_pipelining; }
        bool oauthBearer() const { return m_oauthBearer; }
        bool xoauth2() const { return m_xoauth2; }

    private:
        void endWord();
        void endLine();

        // Longer than any name looked for: a longer word is none of them.
        static constexpr qsizetype kKeptWord = 32;
        char m_word[kKeptWord] = {};
        qsizetype m_wordSize = 0;
        bool m_wordCut = false;  // whether the current word went on past m_word
        qsizetype m_wordIndex = 0; // of the current word in its line
        bool m_saslLine = false; // the line's name is SASL: its words are mechanisms
        qsizetype m_lines = 0;
        bool m_startTls = false;
        bool m_pipelining = false;
        bool m_oauthBearer = false;
        bool m_xoauth2 = false;
    };

    void setState(State next);
    void fail(const QString& text);
    std::uint64_t send(Command command, int number, QByteArray line);
    void pump();
    void askTop(int number, Message& message);
    void askList(int number, Message& message);
    // The size from the LIST of all messages when it gave one, else LIST n.
    void askSize(int number, Message& message);
    bool takeListedSize(int number, Message& message);
    void askRetr(int number, Message& message);
    Message* requestedBy(const Pending& pending, Phase Message::*phase,
                         std::uint64_t Message::*ticket);
    // What the caller asked about its message last; reading ahead takes the later steps.
    enum class Step : std::uint8_t { Header, Size, Message };
    void moveTo(int number, Step step);
    Messages::iterator entry(Messages::iterator hint, int number);
    void readAhead();
    void askSizesAhead();
    void headerWithoutBody(int number, Message& message);
    void askBodiesAhead();
    void release(Message& message);
    void releaseHeader(Message& message);
    void drop(Messages::iterator it);
    void dropAll();
    void forgetUnanswered();
    void deliverReadAhead(int number, Message& message);
    void handleStatusLine(QByteArrayView line);
    // `continuation`: the reply was a "+" line (only AUTH and its response get one).
    void completeReply(bool ok, QByteArrayView statusLine, bool continuation = false);
    ContentSink& contentSinkFor(const Pending& pending);
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
    void onList(const Pending& pending, bool ok, QByteArrayView line);
    void onRetr(const Pending& pending, bool ok, QByteArrayView line);
    void onQuit();
    // Whether the caller waits for an answer not yet there (or the login or QUIT runs).
    bool callerWaits() const;
    const Message* nextBodyToKeep() const;
    // nextBodyToKeep(), when it does not fit the bytes that may be kept.
    const Message* nextBodyOverBound() const;
    bool makeRoomForNextBody();

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
    MultiLineDecoder m_decoder;
    CapabilityReader m_capabilities;
    ScanListReader m_scanList;
    // Sizes from the LIST of all messages (index n - 1, -1 where none came), for at most
    // Limits::kMaxListedSizes messages; while that reply is awaited no LIST n is asked ahead.
    std::vector<std::int64_t> m_listedSizes;
    bool m_listAllPending = false;
    MessageReceiver m_top;
    MessageReceiver m_message;

    std::uint64_t m_lastTicket = 0;
    // The message the caller asked about last; what is kept is about messages from here on.
    int m_position = 0;
    Step m_step = Step::Header;
    Messages m_messages;
    // Where reading ahead goes on: every message after the caller's and before m_infoNext has its
    // size asked for; every one from the caller's to before m_bodyNext has its body
    // asked for or settled (not read ahead).
    std::int64_t m_infoNext = 1;
    std::int64_t m_bodyNext = 1;
    // Bodies asked for ahead or kept, the part of them still on its way and how much may be
    // (ReadAhead::firstBytes, grown by every body that arrives up to ReadAhead::flightBytes), the
    // part of them kept (ReadAhead::bytes); headers kept ahead.
    std::int64_t m_bytesAhead = 0;
    std::int64_t m_bytesKept = 0;
    std::int64_t m_headerBytesAhead = 0;
    std::int64_t m_bytesFlying = 0;
    std::int64_t m_window = 0;
    qsizetype m_inFlightBytes = 0; // of the commands in m_inFlight

    // The caller's retrieval: straight into its buffer (m_directTicket names that RETR), or
    // copied from a body read ahead once that is complete.
    Retrieval m_retrieval;
    int m_wanted = 0;
    std::string* m_callerBody = nullptr;
    std::uint64_t m_directTicket = 0;
    bool m_waitingForReadAhead = false;
};

} // namespace pelmora::pop3
