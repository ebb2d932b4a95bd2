#pragma once

// A scripted IMAP server on 127.0.0.1 for the cases a real Dovecot never shows: a test gives the
// greeting and a handler that answers the commands it cares about; the rest get a simple server's
// answers (no STARTTLS, any login, unseen messages 1 and 2, IDLE until DONE). Runs on the test's thread, served
// while the library under test waits.

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

namespace pelmora::tests {

class ScriptedImapServer : public QObject {
public:
    // Called with the command's tag and the rest of its line; answers whether it answered.
    using Handler = std::function<bool(QTcpSocket&, const QByteArray& tag, const QByteArray& command)>;

    explicit ScriptedImapServer(QByteArray greeting, Handler handler = {})
        : m_greeting(std::move(greeting)), m_handler(std::move(handler))
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                accept(socket);
        });
    }
    QString name(const char* scheme = "imap://") const
    {
        return QString::fromLatin1(scheme) + QStringLiteral("127.0.0.1:")
            + QString::number(m_server.serverPort());
    }
    const QList<QByteArray>& commands() const { return m_commands; }

private:
    void accept(QTcpSocket* socket)
    {
        socket->setParent(this);
        socket->write(m_greeting);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            m_pending += socket->readAll();
            qsizetype newline;
            while ((newline = m_pending.indexOf('\n')) >= 0) {
                const QByteArray line = m_pending.first(newline + 1).trimmed();
                m_pending.remove(0, newline + 1);
                m_commands.append(line);
                const qsizetype space = line.indexOf(' ');
                // DONE, which ends an IDLE, is the one line without a tag: it counts as one here.
                const QByteArray tag = space < 0 ? line : line.left(space);
                const QByteArray command = space < 0 ? QByteArray() : line.mid(space + 1);
                if (!m_handler || !m_handler(*socket, tag, command))
                    answer(*socket, tag, command);
            }
        });
    }
    void answer(QTcpSocket& socket, const QByteArray& tag, const QByteArray& command)
    {
        if (command == "IDLE") {
            m_idleTag = tag;
            socket.write("+ idling\r\n");
            return;
        }
        if (tag == "DONE") {
            socket.write(m_idleTag + " OK idle done\r\n");
            return;
        }
        if (command.startsWith("UID SEARCH"))
            socket.write("* SEARCH 1 2\r\n");
        else if (command.startsWith("UID FETCH"))
            socket.write("* 1 FETCH (UID 1 BODY[HEADER] {13}\r\nSubject: s\r\n\r\n)\r\n"
                         "* 2 FETCH (UID 2 BODY[HEADER] {13}\r\nSubject: t\r\n\r\n)\r\n");
        else if (command == "LOGOUT")
            socket.write("* BYE\r\n");
        socket.write(tag + " OK done\r\n");
        if (command == "LOGOUT")
            socket.disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_greeting;
    Handler m_handler;
    QList<QByteArray> m_commands;
    QByteArray m_pending;
    QByteArray m_idleTag;
};

} // namespace pelmora::tests
