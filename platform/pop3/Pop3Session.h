#pragma once

#include "platform/pop3/MessageReceiver.h"
#include "platform/pop3/MultiLineDecoder.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace pelmora::platform::pop3 {

struct Credentials {
    QByteArray user;
    QByteArray password;
    bool apop = false;
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
// then performs the handshake and calls tlsEstablished()), CAPA again, APOP or USER/PASS, STAT.
// Then the driver asks for headers (TOP n 0), sizes (LIST n) and messages (RETR n). When the
// server offers PIPELINING, TOP is sent together with LIST, and RETR n together with the next
// message's TOP and LIST, so each message costs one round trip.
class Session {
public:
    enum class State : std::uint8_t {
        Greeting,     // waiting for the server's greeting
        Capabilities, // CAPA sent
        StartTls,     // STLS sent
        TlsHandshake, // the driver is negotiating TLS; the server must stay silent
        Authorization,// USER/PASS or APOP sent
        Stat,         // STAT sent
        Transaction,  // logged in: headers, sizes and messages can be asked for
        Quitting,     // QUIT sent
        Closed,       // QUIT answered
        Failed,       // see failure(); the connection is of no further use
    };

    Session(Credentials credentials, bool secure, bool tlsAvailable);

    void feed(QByteArrayView bytes);
    QByteArray takeOutgoing() { return std::exchange(m_outgoing, {}); }

    State state() const { return m_state; }
    const QString& failure() const { return m_failure; }
    // Grows by one with every complete reply; the driver restarts its reply timer on a change.
    std::uint64_t repliesCompleted() const { return m_repliesCompleted; }
    int messageCount() const { return m_messageCount; }
    bool pipelining() const { return m_pipelining; }
    // Whether a reply (or the TLS handshake) is outstanding, i.e. whether the reply timer runs.
    bool awaitingReply() const { return !m_inFlight.empty() || m_state == State::TlsHandshake; }

    // The driver tells the session what happened outside the protocol.
    void tlsEstablished();
    void abort(const QString& why);

    // Transaction requests. Message numbers must be 1..messageCount().
    void requestHeader(int number);
    std::optional<Answer<QByteArray>> takeHeader(int number);
    void requestSize(int number);
    std::optional<Answer<std::int64_t>> takeSize(int number);
    // The body is written into `body` (its size() is its capacity) until detachBody().
    void requestMessage(int number, std::string* body);
    const Retrieval& retrieval() const { return m_retrieval; }
    void detachBody() { m_message.detachBody(); }
    void requestQuit();

private:
    enum class Command : std::uint8_t { Greeting, Capa, Stls, User, Pass, Apop, Stat, Top, List, Retr, Quit };
    struct Pending {
        Command command;
        int number = 0;
        QByteArray line;
    };

    // Reads a CAPA list line by line as it arrives and keeps only the capabilities the session
    // acts on, so memory stays constant however long the list or any of its lines is.
    class CapabilityReader final : public ContentSink {
    public:
        void reset();
        void append(QByteArrayView bytes) override;
        qsizetype lines() const { return m_lines; }
        bool startTls() const { return m_startTls; }
        bool pipelining() const { return m_pipelining; }

    private:
        void endLine();

        QByteArray m_lineStart; // the start of the current line, room for any name we look for
        bool m_lineCut = false; // whether the current line went on past m_lineStart
        qsizetype m_lines = 0;
        bool m_startTls = false;
        bool m_pipelining = false;
    };

    void setState(State next);
    void fail(const QString& text);
    void send(Command command, int number, QByteArray line);
    void pump();
    bool isQueued(Command command, int number) const;
    void handleStatusLine(QByteArrayView line);
    void completeReply(bool ok, QByteArrayView statusLine);
    ContentSink& contentSinkFor(const Pending& pending);
    void beginLogin();

    // One handler per reply.
    void onGreeting(bool ok, QByteArrayView line);
    void onCapa(bool ok);
    void onStls(bool ok, QByteArrayView line);
    void onUser(bool ok, QByteArrayView line);
    void onPassOrApop(bool ok, QByteArrayView line);
    void onStat(bool ok, QByteArrayView line);
    void onTop(int number, bool ok, QByteArrayView line);
    void onList(int number, bool ok, QByteArrayView line);
    void onRetr(bool ok, QByteArrayView line);
    void onQuit();

    Credentials m_credentials;
    bool m_secure;
    bool m_tlsAvailable;
    State m_state = State::Greeting;
    QString m_failure;
    std::uint64_t m_repliesCompleted = 0;

    QByteArray m_timestamp;
    bool m_pipelining = false;
    int m_messageCount = 0;

    std::deque<Pending> m_unsent;
    std::deque<Pending> m_inFlight;
    QByteArray m_outgoing;

    QByteArray m_statusLine;       // the status line being read
    QByteArray m_contentStatus;    // the +OK line of the multi-line reply being read
    ContentSink* m_content = nullptr;
    MultiLineDecoder m_decoder;
    CapabilityReader m_capabilities;
    MessageReceiver m_top;
    MessageReceiver m_message;

    std::map<int, Answer<QByteArray>> m_headers;
    std::map<int, Answer<std::int64_t>> m_sizes;
    Retrieval m_retrieval;
};

} // namespace pelmora::platform::pop3
