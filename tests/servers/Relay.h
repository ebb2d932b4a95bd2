#pragma once

// A TCP relay on 127.0.0.1 between the program and a real server, standing in for the network
// between them: it can cut a session in the middle (a server that dies, a network that drops) or
// change what the server says (someone on the path). Runs on the test's thread; the POP3 library
// keeps events flowing while it waits, so the relay is served during a check.

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>

namespace pelmora::tests {

class Relay : public QObject {
public:
    explicit Relay(quint16 serverPort) : m_serverPort(serverPort)
    {
        QVERIFY(m_listener.listen(QHostAddress::LocalHost));
        connect(&m_listener, &QTcpServer::newConnection, this, [this] { relayNext(); });
    }
    quint16 port() const { return m_listener.serverPort(); }

    qint64 cutAfter = -1; // bytes from the server before the cut (both sides aborted); -1: never
    bool cut = false;
    // Rewrites what the server sends in the session numbered `session` (from 1); the pieces are
    // as they came, so a rewrite must look only for what arrives in one piece.
    std::function<QByteArray(int session, QByteArray fromServer)> rewrite;
    // Everything the clients sent, every session.
    QByteArray fromClients;
    int sessions = 0;

    // The server drops every open session (both sides closed).
    void cutOpenSessions()
    {
        for (const QPointer<QTcpSocket>& client : std::as_const(m_clients))
            if (client)
                client->abort();
        m_clients.clear();
    }
    // The network under every open session goes quiet, as over a computer's sleep: nothing passes
    // either way and nobody is told. Sessions opened later pass.
    void silenceOpenSessions() { m_silencedUpTo = sessions; }

private:
    void relayNext()
    {
        QPointer<QTcpSocket> client = m_listener.nextPendingConnection();
        QPointer<QTcpSocket> server = new QTcpSocket(client);
        auto fromServer = std::make_shared<qint64>(0);
        const int session = ++sessions;
        m_clients.append(client);
        server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        connect(client, &QTcpSocket::readyRead, server, [this, client, server, session] {
            const QByteArray bytes = client->readAll();
            if (session <= m_silencedUpTo)
                return;
            fromClients += bytes;
            server->write(bytes);
        });
        connect(server, &QTcpSocket::readyRead, client, [this, client, server, fromServer, session] {
            QByteArray bytes = server->readAll();
            if (session <= m_silencedUpTo)
                return;
            *fromServer += bytes.size();
            if (cutAfter >= 0 && *fromServer > cutAfter) {
                cut = true;
                server->abort();
                client->abort();
                return;
            }
            client->write(rewrite ? rewrite(session, std::move(bytes)) : bytes);
        });
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(server, &QTcpSocket::disconnected, client, [this, client, session] {
            if (client && session > m_silencedUpTo)
                client->disconnectFromHost();
        });
    }

    QTcpServer m_listener;
    quint16 m_serverPort;
    QList<QPointer<QTcpSocket>> m_clients;
    int m_silencedUpTo = 0;
};

} // namespace pelmora::tests
