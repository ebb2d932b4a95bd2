#include "signin/RedirectListener.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

// Compares in time that does not depend on where the texts differ, so the state cannot be
// found a character at a time.
bool sameSecret(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

QByteArray response(QByteArrayView status, QByteArrayView contentType, const QByteArray& body)
{
    return "HTTP/1.1 " + status.toByteArray() + "\r\nContent-Type: " + contentType.toByteArray()
        + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

// Sends what is left and closes; a socket the peer does not read from is cut off later by its
// deadline.
void sendAndClose(QTcpSocket& socket, const QByteArray& bytes)
{
    socket.write(bytes);
    socket.flush();
    socket.disconnectFromHost();
}

} // namespace

struct RedirectListener::Connection {
    QTcpSocket* socket;
    HttpRequestHead head;
    QTimer deadline;
};

RedirectListener::RedirectListener(QByteArray state, QObject* parent)
    : QObject(parent), m_state(std::move(state))
{
    connect(&m_server, &QTcpServer::newConnection, this, &RedirectListener::accept);
    m_answerDeadline.setSingleShot(true);
    connect(&m_answerDeadline, &QTimer::timeout, this, [this] {
        if (m_browser)
            m_browser->abort();
    });
}

RedirectListener::~RedirectListener()
{
    close();
}

bool RedirectListener::listen()
{
    // Queued connections beyond the cap are closed as they are taken; a short backlog keeps the
    // kernel from holding many for us.
    m_server.setMaxPendingConnections(kMaxConnections);
    if (!m_server.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return false;
    // Kept: the code is exchanged with the same address after the listening has ended.
    m_redirectUri = u"http://127.0.0.1:%1/"_s.arg(m_server.serverPort());
    return true;
}

void RedirectListener::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (int(m_connections.size()) >= kMaxConnections)
            drop(*m_connections.front());
        socket->setParent(this);
        socket->setReadBufferSize(HttpRequestHead::kMaxBytes);
        auto owned = std::make_unique<Connection>();
        Connection& connection = *owned;
        connection.socket = socket;
        m_connections.push_back(std::move(owned));
        connection.deadline.setSingleShot(true);
        connect(&connection.deadline, &QTimer::timeout, this, [this, &connection] { drop(connection); });
        connection.deadline.start(kRequestTime);
        connect(socket, &QTcpSocket::readyRead, this, [this, &connection] { read(connection); });
        connect(socket, &QTcpSocket::disconnected, this, [this, &connection] { drop(connection); });
        read(connection);
    }
}

void RedirectListener::read(Connection& connection)
{
    QTcpSocket* socket = connection.socket;
    switch (connection.head.feed(socket->readAll())) {
    case HttpRequestHead::Status::Incomplete:
        return;
    case HttpRequestHead::Status::Invalid:
        refuse(connection);
        return;
    case HttpRequestHead::Status::Complete:
        break;
    }
    QUrlQuery answer;
    if (!isRedirect(connection.head, &answer)) {
        refuse(connection);
        return;
    }
    // The browser's connection is kept to show how the sign-in ended; nothing else is heard.
    connection.deadline.stop();
    disconnect(socket, nullptr, this, nullptr);
    m_connections.remove_if([&](const auto& each) { return each.get() == &connection; });
    m_browser = socket;
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (m_browser == socket)
            m_browser = nullptr;
    });
    m_answerDeadline.start(kAnswerTime);
    m_server.close();
    while (!m_connections.empty())
        drop(*m_connections.front());
    emit redirected(answer);
}

bool RedirectListener::isRedirect(const HttpRequestHead& head, QUrlQuery* answer) const
{
    if (head.method() != "GET")
        return false;
    const qsizetype question = head.target().indexOf('?');
    if (question < 0 || head.target().first(question) != "/")
        return false;
    // Providers build the query as a form: '+' stands for a space there.
    QByteArray query = head.target().sliced(question + 1);
    query.replace('+', "%20");
    answer->setQuery(QString::fromLatin1(query));
    const QString state = answer->queryItemValue(u"state"_s, QUrl::FullyDecoded);
    if (!sameSecret(state.toUtf8(), m_state))
        return false;
    return !answer->queryItemValue(u"code"_s).isEmpty() || !answer->queryItemValue(u"error"_s).isEmpty();
}

void RedirectListener::refuse(Connection& connection)
{
    QTcpSocket* socket = connection.socket;
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    // Once closed, disconnected() drops the connection; a peer that does not take the answer is
    // cut off by the deadline.
    sendAndClose(*socket, response("400 Bad Request", "text/plain; charset=utf-8", "Bad Request\n"));
}

void RedirectListener::drop(Connection& connection)
{
    QTcpSocket* socket = connection.socket;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    m_connections.remove_if([&](const auto& each) { return each.get() == &connection; });
}

void RedirectListener::answer(const QString& htmlBody)
{
    QTcpSocket* socket = m_browser;
    if (!socket)
        return;
    m_browser = nullptr;
    m_answerDeadline.stop();
    disconnect(socket, nullptr, this, nullptr);
    const QByteArray page = "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
                            "<title>Pelmora</title></head><body>\n" + htmlBody.toUtf8()
        + "\n</body></html>\n";
    sendAndClose(*socket, response("200 OK", "text/html; charset=utf-8", page));
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        // Outlives the listener until the browser has the page, bounded as every connection.
        socket->setParent(nullptr);
        QTimer::singleShot(kRequestTime, socket, [socket] { socket->abort(); });
    }
}

void RedirectListener::close()
{
    m_server.close();
    while (!m_connections.empty())
        drop(*m_connections.front());
    m_answerDeadline.stop();
    if (m_browser) {
        QTcpSocket* socket = m_browser;
        m_browser = nullptr;
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace pelmora::signin
