#include "pop3/Pop3Connection.h"

#include "pop3/FailureText.h"
#include "pop3/TrustedCertificates.h"
#include "platform/PromptAcknowledgement.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>

namespace pelmora::pop3 {

using namespace Qt::StringLiterals;

namespace {

// Marks a connection busy for the length of one call, so a nested call on the same handle is
// refused instead of tangling two conversations on one socket.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyScope() { m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_busy;
};

template <typename T>
Answer<T> failed(QString text)
{
    return {false, T{}, std::move(text)};
}

} // namespace

Connection::Connection(ServerAddress address, Timeouts timeouts,
                       std::shared_ptr<StartTlsMemory> startTls)
    : m_address(std::move(address)), m_timeouts(timeouts), m_socket(new QSslSocket(this)),
      m_startTlsMemory(std::move(startTls))
{
    m_readBuffer.resize(Limits::kReadChunk);
    // Qt stops reading from the kernel when this much is waiting, so a flooding server is held
    // back by TCP instead of filling memory while another connection's call runs.
    m_socket->setReadBufferSize(Limits::kSocketBuffer);
    m_connectTimer.setSingleShot(true);
    m_replyTimer.setSingleShot(true);
    m_windowTimer.setSingleShot(true);
    m_wholeTimer.setSingleShot(true);
    connect(&m_wholeTimer, &QTimer::timeout, this, &Connection::onOutlived);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_connectTimedOut = true;
        wakeWaiter();
    });
    connect(&m_replyTimer, &QTimer::timeout, this, &Connection::onReplyTimeout);
    connect(&m_windowTimer, &QTimer::timeout, this, &Connection::onReplyWindowEnd);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_acknowledgesPromptly = platform::AcknowledgePromptly(m_socket->socketDescriptor());
        wakeWaiter();
    });
    connect(m_socket, &QSslSocket::readyRead, this, [this] {
        readFromSocket();
        afterSessionActivity();
    });
    connect(m_socket, &QSslSocket::encrypted, this, &Connection::onEncrypted);
    connect(m_socket, &QSslSocket::sslErrors, this,
            [this](const QList<QSslError>& errors) { m_sslErrors = errors; });
    connect(m_socket, &QSslSocket::errorOccurred, this, &Connection::onSocketError);
    connect(m_socket, &QSslSocket::disconnected, this, &Connection::wakeWaiter);
}

Connection::~Connection()
{
    m_socket->abort();
}

bool Connection::isLoggedIn() const
{
    return m_session && m_session->state() == Session::State::Transaction;
}

int Connection::messageCount() const { return m_session ? m_session->messageCount() : 0; }

bool Connection::sessionEnded() const
{
    return m_session
        && (m_session->state() == Session::State::Failed
            || m_session->state() == Session::State::Closed);
}

QString Connection::sessionFailure() const
{
    if (m_session && m_session->state() == Session::State::Failed)
        return m_session->failure();
    if (m_closedByCaller)
        return failure::connectionClosedByCaller();
    return failure::connectionLost();
}

std::optional<QString> Connection::open()
{
    BusyScope busy(m_busy);
    m_wholeTimer.start(m_timeouts.whole);
    m_connectTimer.start(m_timeouts.connect);
    m_socket->connectToHost(m_address.host, m_address.port);
    waitUntil([this] {
        return m_socket->state() == QAbstractSocket::ConnectedState || m_connectFailed
            || m_connectTimedOut || m_closedByCaller || m_outlived;
    });
    m_connectTimer.stop();
    if (m_socket->state() == QAbstractSocket::ConnectedState && !m_closedByCaller)
        return std::nullopt;
    const QString detail = m_socket->errorString();
    const bool notFound = m_socket->error() == QAbstractSocket::HostNotFoundError;
    m_socket->abort();
    if (m_closedByCaller)
        return failure::connectionClosedByCaller();
    if (m_outlived)
        return failure::checkTookTooLong(m_timeouts.whole);
    if (m_connectTimedOut && !m_connectFailed)
        return failure::connectTimedOut(m_address.host, m_timeouts.connect);
    return notFound ? failure::hostNotFound(m_address.host, detail)
                    : failure::cannotConnect(m_address.host, detail);
}

Answer<int> Connection::login(Credentials credentials)
{
    BusyScope busy(m_busy);
    if (m_session) {
        if (isLoggedIn())
            return {true, m_session->messageCount(), {}};
        return failed<int>(sessionFailure());
    }
    if (m_outlived)
        return failed<int>(failure::checkTookTooLong(m_timeouts.whole));
    const bool implicitTls = m_address.security == ServerAddress::Security::ImplicitTls;
    const bool tlsAvailable = QSslSocket::supportsSsl();
    m_session = std::make_unique<Session>(std::move(credentials), implicitTls, tlsAvailable);
    if (m_session->state() == Session::State::Failed)
        return failed<int>(sessionFailure());
    m_session->setServer(m_address.host.toUtf8(), m_address.port);
    m_session->setPasswordWithUser(m_acknowledgesPromptly);
    if (m_address.security == ServerAddress::Security::StartTlsRequired)
        m_session->requireTls(Session::TlsRequirement::AskedFor);
    else if (m_startTlsMemory && m_startTlsMemory->offeredBefore(m_address))
        m_session->requireTls(Session::TlsRequirement::OfferedBefore);
    if (implicitTls) {
        if (!tlsAvailable)
            m_session->abort(failure::tlsUnavailable());
        else
            startTls();
    } else {
        // The greeting may have come before there was a session to read it.
        readFromSocket();
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState && !sessionEnded())
        m_session->abort(m_closedByCaller ? failure::connectionClosedByCaller()
                                          : failure::connectionLost());
    afterSessionActivity();
    waitUntil([this] { return isLoggedIn() || sessionEnded(); });
    if (m_startTlsMemory && m_session->startTlsOffered())
        m_startTlsMemory->remember(m_address);
    if (isLoggedIn())
        return {true, m_session->messageCount(), {}};
    return failed<int>(sessionFailure());
}

Answer<QByteArray> Connection::header(int number)
{
    BusyScope busy(m_busy);
    if (!hasLoggedIn())
        return failed<QByteArray>(m_session ? sessionFailure() : failure::notLoggedIn());
    if (number == m_lastHeaderNumber)
        return m_lastHeader;
    m_session->requestHeader(number);
    afterSessionActivity();
    std::optional<Answer<QByteArray>> answer;
    waitUntil([&] {
        if (!answer)
            answer = m_session->takeHeader(number);
        return answer.has_value() || sessionEnded();
    });
    if (!answer)
        return failed<QByteArray>(sessionFailure());
    m_lastHeaderNumber = number;
    m_lastHeader = *answer;
    return *answer;
}

Answer<QList<QByteArray>> Connection::messageIds()
{
    BusyScope busy(m_busy);
    if (!hasLoggedIn())
        return failed<QList<QByteArray>>(m_session ? sessionFailure() : failure::notLoggedIn());
    m_session->requestMessageIds();
    afterSessionActivity();
    std::optional<Answer<QList<QByteArray>>> answer;
    waitUntil([&] {
        if (!answer)
            answer = m_session->takeMessageIds();
        return answer.has_value() || sessionEnded();
    });
    if (!answer)
        return failed<QList<QByteArray>>(sessionFailure());
    return std::move(*answer);
}

void Connection::close()
{
    if (m_busy) {
        // Close called from an event handled while a call on this connection waits: that call
        // ends now with a failure, and the socket goes.
        m_closedByCaller = true;
        if (m_session)
            m_session->abort(failure::connectionClosedByCaller());
        m_socket->abort();
        wakeWaiter();
        return;
    }
    BusyScope busy(m_busy);
    if (isLoggedIn()) {
        m_session->requestQuit();
        afterSessionActivity();
        waitUntil([this] { return sessionEnded(); });
    }
    m_closedByCaller = true;
    m_socket->abort();
    m_wholeTimer.stop();
}

bool Connection::waitUntil(const std::function<bool()>& done)
{
    if (done())
        return true;
    QEventLoop loop;
    QEventLoop* const outerLoop = std::exchange(m_loop, &loop);
    const std::function<bool()>* const outerDone = std::exchange(m_done, &done);
    while (!done())
        loop.exec();
    m_loop = outerLoop;
    m_done = outerDone;
    return true;
}

void Connection::wakeWaiter()
{
    if (m_loop && m_done && (*m_done)())
        m_loop->quit();
}

// Hands the session what has come, as far as it takes it: while it pauses (it keeps as much read
// ahead as it may), the bytes stay in the socket and TCP holds the server back.
void Connection::readFromSocket()
{
    if (!m_session)
        return;
    if (!m_unread.isEmpty()) {
        m_unread.remove(0, m_session->feed(m_unread));
        if (!m_unread.isEmpty())
            return;
    }
    while (m_socket->bytesAvailable() > 0 && !sessionEnded() && !m_session->readingPaused()) {
        const qint64 n = m_socket->read(m_readBuffer.data(), m_readBuffer.size());
        if (n <= 0)
            break;
        m_windowBytes += n;
        if (m_replyTimer.isActive())
            m_replyTimer.start(m_timeouts.reply);
        const QByteArrayView bytes(m_readBuffer.constData(), qsizetype(n));
        const qsizetype used = m_session->feed(bytes);
        if (used < bytes.size()) {
            m_unread = bytes.sliced(used).toByteArray();
            break;
        }
    }
}

void Connection::afterSessionActivity()
{
    if (!m_session)
        return wakeWaiter();
    // A request may end a pause: what waits in the socket is read now, since no new bytes (and so
    // no readyRead) may come while Qt's buffer is full.
    if ((!m_unread.isEmpty() || m_socket->bytesAvailable() > 0) && !m_session->readingPaused())
        readFromSocket();
    const QByteArray outgoing = m_session->takeOutgoing();
    if (!outgoing.isEmpty() && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->write(outgoing);
        m_socket->flush();
        // The replies to these commands are acknowledged as they come, so a server that answers
        // in several small writes is not held back by its Nagle's algorithm.
        platform::AcknowledgePromptly(m_socket->socketDescriptor());
    }
    if (m_session->state() == Session::State::TlsHandshake && !m_startedTls)
        startTls();

    const bool progressed = m_session->repliesCompleted() != m_repliesSeen;
    m_repliesSeen = m_session->repliesCompleted();
    if (m_session->awaitingReply() && !sessionEnded()) {
        if (progressed || !m_replyTimer.isActive())
            startReplyTimers();
    } else {
        m_replyTimer.stop();
        m_windowTimer.stop();
    }
    if (m_session->state() == Session::State::Failed)
        m_socket->abort();
    else if (m_session->state() == Session::State::Closed)
        m_socket->disconnectFromHost();
    wakeWaiter();
}

void Connection::startTls()
{
    m_startedTls = true;
    QSslConfiguration configuration = m_socket->sslConfiguration();
    // The system's trusted certificates (OpenSSL's default paths) and the host name the user
    // typed decide; a certificate that fails either ends the login.
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setCaCertificates(trustedCertificates());
    configuration.setProtocol(QSsl::SecureProtocols);
    m_socket->setSslConfiguration(configuration);
    m_socket->startClientEncryption();
}

void Connection::onEncrypted()
{
    if (m_session && m_session->state() == Session::State::TlsHandshake)
        m_session->tlsEstablished();
    readFromSocket();
    afterSessionActivity();
}

void Connection::onSocketError()
{
    if (!m_session) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            m_connectFailed = true;
        return wakeWaiter();
    }
    // What arrived before the error still counts (e.g. the server's last reply before it closed).
    readFromSocket();
    if (!sessionEnded()) {
        const bool tlsProblem = m_socket->error() == QAbstractSocket::SslHandshakeFailedError
            || (m_startedTls && !m_socket->isEncrypted());
        if (tlsProblem) {
            QStringList reasons;
            for (const QSslError& error : std::as_const(m_sslErrors))
                reasons.append(error.errorString());
            m_session->abort(failure::tlsFailed(
                reasons.isEmpty() ? m_socket->errorString() : reasons.join(u"; "_s)));
        } else {
            m_session->abort(failure::connectionLost());
        }
    }
    afterSessionActivity();
}

// A completed reply is progress, however small: the next one gets fresh timers.
void Connection::startReplyTimers()
{
    m_windowBytes = 0;
    m_replyTimer.start(m_timeouts.reply);
    m_windowTimer.start(m_timeouts.reply);
}

void Connection::onReplyWindowEnd()
{
    if (m_windowBytes < m_timeouts.minimumBytes)
        return onReplyTimeout();
    m_windowBytes = 0;
    m_windowTimer.start(m_timeouts.reply);
}

// The session says QUIT (best effort: whatever the server is still sending is not waited for) and
// ends with a text that says why; every call waiting on it returns.
void Connection::onOutlived()
{
    m_outlived = true;
    if (m_session && !sessionEnded()) {
        if (isLoggedIn()) {
            m_session->requestQuit();
            m_socket->write(m_session->takeOutgoing());
            m_socket->flush();
        }
        m_session->abort(failure::checkTookTooLong(m_timeouts.whole));
    }
    m_socket->abort();
    afterSessionActivity();
}

void Connection::onReplyTimeout()
{
    if (m_session)
        m_session->abort(failure::replyTimedOut(m_timeouts.reply));
    afterSessionActivity();
}

} // namespace pelmora::pop3
