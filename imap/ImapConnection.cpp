#include "imap/ImapConnection.h"

#include "imap/ImapLimits.h"
#include "platform/PromptAcknowledgement.h"
#include "pop3/FailureText.h"
#include "pop3/TrustedCertificates.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>

namespace pelmora::imap {

using namespace Qt::StringLiterals;
namespace networkFailure = pop3::failure;

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

Connection::Connection(pop3::ServerAddress address, Timeouts timeouts,
                       std::shared_ptr<pop3::StartTlsMemory> startTls)
    : m_address(std::move(address)), m_timeouts(timeouts), m_socket(new QSslSocket(this)),
      m_startTlsMemory(std::move(startTls))
{
    m_readBuffer.resize(Limits::kReadChunk);
    // Qt stops reading from the kernel when this much is waiting: a flooding server is held back
    // by TCP while another connection's call runs.
    m_socket->setReadBufferSize(Limits::kSocketBuffer);
    for (QTimer* timer : {&m_connectTimer, &m_replyTimer, &m_windowTimer, &m_wholeTimer})
        timer->setSingleShot(true);
    connect(&m_wholeTimer, &QTimer::timeout, this, &Connection::onOutlived);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_connectTimedOut = true;
        if (m_watching && !m_session)
            m_socket->abort();
        wakeWaiter();
        tellWatcher();
    });
    connect(&m_replyTimer, &QTimer::timeout, this, &Connection::onReplyTimeout);
    connect(&m_windowTimer, &QTimer::timeout, this, &Connection::onReplyWindowEnd);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        platform::AcknowledgePromptly(m_socket->socketDescriptor());
        wakeWaiter();
        if (m_watching && !m_session) {
            m_connectTimer.stop();
            beginSession(std::exchange(m_watchCredentials, {}));
        }
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

Connection::~Connection() { m_socket->abort(); }

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
        return networkFailure::connectionClosedByCaller();
    return networkFailure::connectionLost();
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
    const QString failure = connectFailure();
    m_socket->abort();
    return failure;
}

QString Connection::connectFailure() const
{
    const QString detail = m_socket->errorString();
    const bool notFound = m_socket->error() == QAbstractSocket::HostNotFoundError;
    if (m_closedByCaller)
        return networkFailure::connectionClosedByCaller();
    if (m_outlived)
        return networkFailure::checkTookTooLong(m_timeouts.whole);
    if (m_connectTimedOut && !m_connectFailed)
        return networkFailure::connectTimedOut(m_address.host, m_timeouts.connect);
    return notFound ? networkFailure::hostNotFound(m_address.host, detail)
                    : networkFailure::cannotConnect(m_address.host, detail);
}

Answer<int> Connection::login(Credentials credentials)
{
    BusyScope busy(m_busy);
    if (m_session) {
        if (isLoggedIn())
            return {true, messageCount(), {}};
        return failed<int>(sessionFailure());
    }
    if (m_outlived)
        return failed<int>(networkFailure::checkTookTooLong(m_timeouts.whole));
    beginSession(std::move(credentials));
    waitUntil([this] { return isLoggedIn() || sessionEnded(); });
    if (m_startTlsMemory && m_session->startTlsOffered())
        m_startTlsMemory->remember(m_address);
    if (isLoggedIn())
        return {true, messageCount(), {}};
    return failed<int>(sessionFailure());
}

void Connection::beginSession(Credentials credentials)
{
    const bool implicitTls = m_address.security == pop3::ServerAddress::Security::ImplicitTls;
    const bool tlsAvailable = QSslSocket::supportsSsl();
    m_session = std::make_unique<Session>(std::move(credentials), implicitTls, tlsAvailable);
    m_session->setServer(m_address.host.toUtf8(), m_address.port);
    if (m_address.security == pop3::ServerAddress::Security::StartTlsRequired)
        m_session->requireTls(Session::TlsRequirement::AskedFor);
    else if (m_startTlsMemory && m_startTlsMemory->offeredBefore(m_address))
        m_session->requireTls(Session::TlsRequirement::OfferedBefore);
    if (implicitTls) {
        if (!tlsAvailable)
            m_session->abort(networkFailure::tlsUnavailable());
        else
            startTls();
    } else {
        // The greeting may have come before there was a session to read it.
        readFromSocket();
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState && !sessionEnded())
        m_session->abort(m_closedByCaller ? networkFailure::connectionClosedByCaller()
                                          : networkFailure::connectionLost());
    afterSessionActivity();
}

void Connection::watch(Credentials credentials, std::function<void()> changed)
{
    m_watching = true;
    m_watchCredentials = std::move(credentials);
    m_watchChanged = std::move(changed);
    m_connectTimer.start(m_timeouts.connect);
    m_socket->connectToHost(m_address.host, m_address.port);
}

void Connection::stopWatching()
{
    m_watchChanged = nullptr;
    m_watching = false;
    if (m_session && !sessionEnded() && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_session->requestLogout();
        m_socket->write(m_session->takeOutgoing());
        m_socket->flush();
    }
    m_closedByCaller = true;
    m_socket->disconnectFromHost();
}

void Connection::renewIdle()
{
    if (!m_session)
        return;
    m_session->endIdle();
    afterSessionActivity();
}

bool Connection::watchEnded() const
{
    if (m_session)
        return sessionEnded();
    return m_connectFailed || m_connectTimedOut || m_closedByCaller;
}

QString Connection::watchFailure() const
{
    return m_session ? sessionFailure() : connectFailure();
}

// After every step of a watching connection: a session that is ready idles (again), and the
// watcher hears of it.
void Connection::tellWatcher()
{
    if (!m_watching)
        return;
    if (m_session && m_session->state() == Session::State::Ready && !m_closedByCaller) {
        if (m_startTlsMemory && m_session->startTlsOffered())
            m_startTlsMemory->remember(m_address);
        m_session->startIdle();
        if (m_session->state() == Session::State::IdleStarting)
            return afterSessionActivity(); // which tells the watcher
    }
    if (m_watchChanged)
        m_watchChanged();
}

Answer<QByteArray> Connection::header(int number)
{
    BusyScope busy(m_busy);
    if (!hasLoggedIn())
        return failed<QByteArray>(m_session ? sessionFailure() : networkFailure::notLoggedIn());
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

void Connection::close()
{
    if (m_busy) {
        // Closed from an event handled while a call on this connection waits: that call ends now
        // with a failure, and the socket goes.
        m_closedByCaller = true;
        if (m_session)
            m_session->abort(networkFailure::connectionClosedByCaller());
        m_socket->abort();
        wakeWaiter();
        return;
    }
    BusyScope busy(m_busy);
    if (isLoggedIn()) {
        m_session->requestLogout();
        afterSessionActivity();
        waitUntil([this] { return sessionEnded(); });
    }
    m_closedByCaller = true;
    m_socket->abort();
    m_wholeTimer.stop();
}

void Connection::waitUntil(const std::function<bool()>& done)
{
    if (done())
        return;
    QEventLoop loop;
    QEventLoop* const outerLoop = std::exchange(m_loop, &loop);
    const std::function<bool()>* const outerDone = std::exchange(m_done, &done);
    while (!done())
        loop.exec();
    m_loop = outerLoop;
    m_done = outerDone;
}

void Connection::wakeWaiter()
{
    if (m_loop && m_done && (*m_done)())
        m_loop->quit();
}

void Connection::readFromSocket()
{
    if (!m_session)
        return;
    while (m_socket->bytesAvailable() > 0 && !sessionEnded()) {
        const qint64 n = m_socket->read(m_readBuffer.data(), m_readBuffer.size());
        if (n <= 0)
            break;
        m_windowBytes += n;
        if (m_replyTimer.isActive())
            m_replyTimer.start(m_timeouts.reply);
        m_session->feed(QByteArrayView(m_readBuffer.constData(), qsizetype(n)));
        // A TLS handshake begins now: what follows in the socket is the server's handshake,
        // which Qt reads itself.
        if (m_session->state() == Session::State::TlsHandshake && !m_startedTls)
            break;
    }
}

void Connection::afterSessionActivity()
{
    if (!m_session)
        return wakeWaiter();
    const QByteArray outgoing = m_session->takeOutgoing();
    if (!outgoing.isEmpty() && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->write(outgoing);
        m_socket->flush();
        platform::AcknowledgePromptly(m_socket->socketDescriptor());
    }
    if (m_session->state() == Session::State::TlsHandshake && !m_startedTls)
        startTls();

    const bool progressed = m_session->repliesCompleted() != m_repliesSeen;
    m_repliesSeen = m_session->repliesCompleted();
    if (m_session->awaitingReply() && !sessionEnded()) {
        // A completed reply is progress, however small: the next one gets fresh timers.
        if (progressed || !m_replyTimer.isActive()) {
            m_windowBytes = 0;
            m_replyTimer.start(m_timeouts.reply);
            m_windowTimer.start(m_timeouts.reply);
        }
    } else {
        m_replyTimer.stop();
        m_windowTimer.stop();
    }
    if (m_session->state() == Session::State::Failed)
        m_socket->abort();
    else if (m_session->state() == Session::State::Closed)
        m_socket->disconnectFromHost();
    wakeWaiter();
    tellWatcher();
}

void Connection::startTls()
{
    m_startedTls = true;
    QSslConfiguration configuration = m_socket->sslConfiguration();
    // The system's trusted certificates and the host name the user typed decide; a certificate
    // that fails either ends the login.
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setCaCertificates(pop3::trustedCertificates());
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
        wakeWaiter();
        return tellWatcher();
    }
    // What arrived before the error still counts (the server's last response before it closed).
    readFromSocket();
    if (!sessionEnded()) {
        const bool tlsProblem = m_socket->error() == QAbstractSocket::SslHandshakeFailedError
            || (m_startedTls && !m_socket->isEncrypted());
        if (tlsProblem) {
            QStringList reasons;
            for (const QSslError& error : std::as_const(m_sslErrors))
                reasons.append(error.errorString());
            m_session->abort(networkFailure::tlsFailed(
                reasons.isEmpty() ? m_socket->errorString() : reasons.join(u"; "_s)));
        } else {
            m_session->abort(networkFailure::connectionLost());
        }
    }
    afterSessionActivity();
}

void Connection::onReplyWindowEnd()
{
    if (m_windowBytes < m_timeouts.minimumBytes)
        return onReplyTimeout();
    m_windowBytes = 0;
    m_windowTimer.start(m_timeouts.reply);
}

// The session says LOGOUT (best effort) and ends with a text that says why; every call waiting
// on it returns.
void Connection::onOutlived()
{
    m_outlived = true;
    if (m_session && !sessionEnded()) {
        if (isLoggedIn()) {
            m_session->requestLogout();
            m_socket->write(m_session->takeOutgoing());
            m_socket->flush();
        }
        m_session->abort(networkFailure::checkTookTooLong(m_timeouts.whole));
    }
    m_socket->abort();
    afterSessionActivity();
}

void Connection::onReplyTimeout()
{
    if (m_session)
        m_session->abort(networkFailure::replyTimedOut(m_timeouts.reply));
    afterSessionActivity();
}

QList<QByteArray> Connection::unseenIds() const
{
    QList<QByteArray> ids;
    if (!m_session || m_session->uidValidity() == 0)
        return ids;
    const QByteArray validity = QByteArray::number(m_session->uidValidity()) + '.';
    ids.reserve(qsizetype(m_session->unseen().size()));
    for (const std::uint32_t uid : m_session->unseen())
        ids.append(validity + QByteArray::number(uid));
    return ids;
}

} // namespace pelmora::imap
