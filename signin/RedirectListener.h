#pragma once

#include "signin/HttpRequestHead.h"

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>

#include <chrono>
#include <list>
#include <memory>

class QTcpSocket;

namespace pelmora::signin {

// The sign-in's loopback redirect (RFC 8252 7.3): listens on 127.0.0.1 for the browser that
// brings back the provider's answer to one authorization request. Any local program can reach
// the port, so only a GET of "/" whose query carries that request's state and a code or an error
// counts; anything else is answered "400" and changes nothing. Every connection must deliver its
// request within kRequestTime, a request is at most HttpRequestHead::kMaxBytes, and at most
// kMaxConnections are open at once (a new one closes the oldest). The first valid redirect ends
// the listening; its browser waits, at most kAnswerTime, for answer().
class RedirectListener final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 16;
    static constexpr std::chrono::milliseconds kRequestTime = std::chrono::seconds(5);
    static constexpr std::chrono::milliseconds kAnswerTime = std::chrono::seconds(60);

    explicit RedirectListener(QByteArray state, QObject* parent = nullptr);
    ~RedirectListener() override;

    // Listens on a free port of 127.0.0.1; false when none could be had.
    bool listen();
    // Where the provider is to send the browser back: "http://127.0.0.1:<port>/".
    const QString& redirectUri() const { return m_redirectUri; }
    // Shows `htmlBody` (a fragment, already escaped) to the browser that brought the redirect.
    void answer(const QString& htmlBody);
    // Stops listening and closes every connection.
    void close();

signals:
    // The provider's answer: its query (code and state, or error and error_description). Once.
    void redirected(const QUrlQuery& answer);

private:
    struct Connection;
    void accept();
    void read(Connection& connection);
    bool isRedirect(const HttpRequestHead& head, QUrlQuery* answer) const;
    void refuse(Connection& connection);
    void drop(Connection& connection);

    QByteArray m_state;
    QTcpServer m_server;
    QString m_redirectUri;
    std::list<std::unique_ptr<Connection>> m_connections; // oldest first
    QTcpSocket* m_browser = nullptr; // the connection that brought the redirect, until answered
    QTimer m_answerDeadline;
};

} // namespace pelmora::signin
