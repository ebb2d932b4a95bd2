#pragma once

#include "imap/ImapSession.h"
#include "pop3/Pop3Limits.h"
#include "pop3/ServerAddress.h"
#include "pop3/StartTlsMemory.h"

#include <QList>
#include <QObject>
#include <QSslError>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QEventLoop;
class QSslSocket;

namespace pelmora::imap {

// How long the connection waits for the network: the POP3 client's timeouts, which say nothing
// of the protocol (the connection, a reply, the whole life of a check).
using Timeouts = pop3::Timeouts;

// One IMAP connection: a QSslSocket on the calling thread, driving a Session. Each call returns
// when its answer is there, the server failed, or a timeout ran out; meanwhile it runs a local
// event loop, so the program's timers and windows keep working. It is the POP3 connection's way
// of waiting (pop3::Connection), over the IMAP session: the same timers, the same TLS
// verification (the system's certificates and the host name typed).
class Connection final : public QObject {
    Q_OBJECT
public:
    // `startTls` (shared by the connections of one mailbox) records the servers that offered
    // STARTTLS.
    Connection(pop3::ServerAddress address, Timeouts timeouts,
               std::shared_ptr<pop3::StartTlsMemory> startTls = nullptr);
    ~Connection() override;

    // Resolves the name and opens TCP. Answers the failure text, or nothing on success.
    std::optional<QString> open();
    // Logs in and finds the unseen messages: answers their number.
    Answer<int> login(Credentials credentials);
    // The header of unseen message `number`. Asked again for the same message, the header of the
    // last call is answered without asking the server.
    Answer<QByteArray> header(int number);
    // Says LOGOUT (when the session is still usable) and closes. When a call on this connection
    // is waiting, that call fails at once instead.
    void close();

    // Watching, without waiting: connects, logs in, opens INBOX and idles there when the server
    // offers IDLE. `changed` is called after every step that may matter to the watcher: idling,
    // mail noticed, the session over. No whole-life limit applies; each reply has its timeouts.
    void watch(Credentials credentials, std::function<void()> changed);
    // Ends the watching at once, without waiting: LOGOUT is sent when the session can still take
    // it, and the watcher hears nothing more.
    void stopWatching();
    // Ends the IDLE and starts it again (a server may drop a connection idle for 30 minutes).
    void renewIdle();
    bool isIdling() const { return m_session && m_session->state() == Session::State::Idling; }
    // Logged in, but the server cannot tell of changes as they happen.
    bool idleUnsupported() const { return isLoggedIn() && !m_session->offersIdle(); }
    std::uint64_t mailNotices() const { return m_session ? m_session->mailNotices() : 0; }
    // Whether the watching connection has failed or ended, and why.
    bool watchEnded() const;
    QString watchFailure() const;

    bool isBusy() const { return m_busy; }
    bool isClosed() const { return m_closedByCaller; }
    bool isLoggedIn() const { return m_session && m_session->state() == Session::State::Ready; }
    bool hasLoggedIn() const { return m_session && m_session->loggedIn(); }
    bool tokenRefused() const { return m_session && m_session->tokenRefused(); }
    int messageCount() const { return m_session ? int(m_session->unseen().size()) : 0; }
    // The unseen messages' unique ids: UIDVALIDITY and UID, as "validity.uid" (empty before the
    // login, or when the server gave no UIDVALIDITY: the UIDs alone would not be unique over time).
    QList<QByteArray> unseenIds() const;
    bool outlived() const { return m_outlived; }

private:
    void waitUntil(const std::function<bool()>& done);
    void wakeWaiter();
    void afterSessionActivity();
    void readFromSocket();
    void onSocketError();
    void onEncrypted();
    void onReplyTimeout();
    void onReplyWindowEnd();
    void onOutlived();
    void startTls();
    bool sessionEnded() const;
    QString sessionFailure() const;
    // Why the connection could not be opened.
    QString connectFailure() const;
    // Creates the session and lets it read the greeting (and start TLS for imaps).
    void beginSession(Credentials credentials);
    void tellWatcher();

    pop3::ServerAddress m_address;
    Timeouts m_timeouts;
    QSslSocket* m_socket;
    std::shared_ptr<pop3::StartTlsMemory> m_startTlsMemory;
    QTimer m_connectTimer;
    QTimer m_replyTimer;  // silence: restarted by every byte that comes
    QTimer m_windowTimer; // crawling: at least Timeouts::minimumBytes per window
    QTimer m_wholeTimer;  // the connection's whole life: Timeouts::whole
    std::int64_t m_windowBytes = 0;
    std::uint64_t m_repliesSeen = 0;
    bool m_outlived = false;
    bool m_connectFailed = false;
    bool m_connectTimedOut = false;
    bool m_closedByCaller = false;
    bool m_startedTls = false;
    bool m_busy = false;
    bool m_watching = false;
    Credentials m_watchCredentials;
    std::function<void()> m_watchChanged;
    std::unique_ptr<Session> m_session;
    int m_lastHeaderNumber = 0;
    Answer<QByteArray> m_lastHeader;
    QList<QSslError> m_sslErrors;
    QByteArray m_readBuffer;

    QEventLoop* m_loop = nullptr;
    const std::function<bool()>* m_done = nullptr;
};

} // namespace pelmora::imap
