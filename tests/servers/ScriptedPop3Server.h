#pragma once

// A scripted POP3 server on 127.0.0.1 for the cases a real Dovecot never shows: a test gives the
// greeting and a handler that answers the commands it cares about; the rest get a simple server's
// answers. Runs on the test's thread, served while the library under test waits.

#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

namespace pelmora::tests {

// A POP3 server that answers like a simple one (no CAPA, any login, one message) unless the case's
// handler takes the command first.
class ScriptedServer : public QObject {
public:
    using Handler = std::function<bool(QTcpSocket&, const QByteArray& command)>;

    explicit ScriptedServer(QByteArray greeting, Handler handler = {})
        : m_greeting(std::move(greeting)), m_handler(std::move(handler))
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                accept(socket);
        });
    }
    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(m_server.serverPort()); }
    const QList<QByteArray>& commands() const { return m_commands; }
    // Every byte the clients sent, as it came (also what never made a whole line).
    const QByteArray& received() const { return m_received; }
    // Whatever came in the same read as PASS is lost.
    bool losesWhatCameWithPass = false;

private:
    void accept(QTcpSocket* socket)
    {
        socket->setParent(this);
        socket->write(m_greeting);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            const QByteArray incoming = socket->readAll();
            m_received += incoming;
            QByteArray& pending = m_pending[socket];
            pending += incoming;
            qsizetype newline;
            while ((newline = pending.indexOf('\n')) >= 0) {
                const QByteArray command = pending.first(newline + 1).trimmed();
                pending.remove(0, newline + 1);
                m_commands.append(command);
                if (!m_handler || !m_handler(*socket, command))
                    answer(*socket, command);
                if (losesWhatCameWithPass && command.startsWith("PASS")) {
                    // Like Courier, whose login hands the connection to another process.
                    pending.clear();
                    break;
                }
            }
        });
    }
    static void answer(QTcpSocket& socket, const QByteArray& command)
    {
        if (command == "CAPA")
            socket.write("-ERR no CAPA here\r\n");
        else if (command == "STAT")
            socket.write("+OK 1 100\r\n");
        else if (command == "LIST")
            socket.write("+OK\r\n1 100\r\n.\r\n");
        else if (command.startsWith("LIST"))
            socket.write("+OK 1 100\r\n");
        else if (command.startsWith("TOP"))
            socket.write("+OK\r\nSubject: s\r\n\r\n.\r\n");
        else if (command.startsWith("RETR"))
            socket.write("+OK\r\nSubject: s\r\n\r\nbody\r\n.\r\n");
        else if (command == "QUIT") {
            socket.write("+OK bye\r\n");
            socket.disconnectFromHost();
        } else
            socket.write("+OK\r\n");
    }

    QTcpServer m_server;
    QByteArray m_greeting;
    Handler m_handler;
    QList<QByteArray> m_commands;
    QByteArray m_received;
    QHash<const QTcpSocket*, QByteArray> m_pending; // of each client: what is not a line yet
};

} // namespace pelmora::tests
