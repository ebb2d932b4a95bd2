#pragma once

#include "pop3/Pop3Limits.h"
#include "pop3/Pop3Session.h"
#include "pop3/ServerAddress.h"
#include "pop3/StartTlsMemory.h"

#include <QObject>
#include <QSslError>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QEventLoop;
class QSslSocket;

namespace pelmora::pop3 {

// One POP3 connection: a QSslSocket on the calling thread, driving a Session. Each call returns
// when its answer is there, the server failed, or a timeout ran out; meanwhile it runs a local
// event loop, so the program's timers and windows keep working (and may start another
// connection, which then runs nested inside this wait). Nothing here spins: the loop sleeps on the
// event queue between socket events.
class Connection final : public QObject {
    Q_OBJECT
public:
    // `startTls` (shared by the connections of one library) records the servers that offered STLS.
    Connection(ServerAddress address, Timeouts timeouts,
               std::shared_ptr<StartTlsMemory> startTls = nullptr);
    ~Connection() override;

    // Resolves the name and opens TCP. Answers the failure text, or nothing on success.
    std::optional<QString> open();
    Answer<int> login(Credentials credentials);
    // The header of message `number` (TOP number 0). Asked again for the same message, the header
    // of the last call is answered without asking the server.
    Answer<QByteArray> header(int number);
    // The unique id of every message, in message order (UIDL); see Session::requestMessageIds.
    Answer<QList<QByteArray>> messageIds();
    // Says QUIT (when the session is still usable) and closes. When a call on this connection is
    // waiting, that call fails at once instead.
    void close();

    bool isBusy() const { return m_busy; }
    // Whether close() was called: nothing more can be asked.
    bool isClosed() const { return m_closedByCaller; }
    bool isLoggedIn() const;
    // Whether the login completed, also when the connection failed afterwards.
    bool hasLoggedIn() const { return m_session && m_session->loggedIn(); }
    // Whether the login failed because the server refused the bearer token.
    bool tokenRefused() const { return m_session && m_session->tokenRefused(); }
    int messageCount() const;
    // Whether the connection was ended because it outlived Timeouts::whole.
    bool outlived() const { return m_outlived; }

private:
    // Runs the local event loop until `done` holds or the session failed or closed; answers
    // whether `done` holds.
    bool waitUntil(const std::function<bool()>& done);
    void wakeWaiter();
    void afterSessionActivity();
    void readFromSocket();
    void onSocketError();
    void onEncrypted();
    void onReplyTimeout();
    void onReplyWindowEnd();
    void onOutlived();
    void startReplyTimers();
    void startTls();
    bool sessionEnded() const;
    QString sessionFailure() const;

    ServerAddress m_address;
    Timeouts m_timeouts;
    QSslSocket* m_socket;
    QTimer m_connectTimer;
    std::shared_ptr<StartTlsMemory> m_startTlsMemory;
    QTimer m_replyTimer;  // silence: restarted by every byte that comes
    QTimer m_windowTimer; // crawling: at least Timeouts::minimumBytes per window
    QTimer m_wholeTimer;  // the connection's whole life: Timeouts::whole
    bool m_outlived = false;
    // The header answered last, so the same message's header twice costs one TOP.
    int m_lastHeaderNumber = 0;
    Answer<QByteArray> m_lastHeader;
    std::int64_t m_windowBytes = 0;
    bool m_connectFailed = false;
    bool m_connectTimedOut = false;
    bool m_closedByCaller = false;
    std::unique_ptr<Session> m_session;
    std::uint64_t m_repliesSeen = 0;
    bool m_startedTls = false;
    bool m_busy = false;
    // Whether the system took the request to acknowledge replies at once when the socket connected
    // (platform::AcknowledgePromptly); the session then sends PASS along with USER.
    bool m_acknowledgesPromptly = false;
    QList<QSslError> m_sslErrors;
    QByteArray m_readBuffer;
    QByteArray m_unread; // read from the socket, not yet taken by the paused session

    QEventLoop* m_loop = nullptr;
    const std::function<bool()>* m_done = nullptr;
};

} // namespace pelmora::pop3
