#pragma once

#include "platform/ports/Mailbox.h"
#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"

#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// What a mailbox adapter over a connection answers, whatever the protocol. The connections of
// pop3/ and imap/ offer the same calls (isBusy, hasLoggedIn, isClosed, isLoggedIn, outlived,
// tokenRefused, messageCount, header, open, close), so their adapters share these.
namespace pelmora::pop3 {

template <typename T>
platform::MailboxAnswer<T> failedAnswer(platform::MailboxFailure why, QString text)
{
    return {T{}, why, std::move(text)};
}

// Why a login on `connection` failed.
template <typename Connection>
platform::MailboxFailure loginFailure(const Connection& connection)
{
    using platform::MailboxFailure;
    return connection.outlived()       ? MailboxFailure::TookTooLong
        : connection.tokenRefused()    ? MailboxFailure::TokenRefused
                                       : MailboxFailure::LoginFailed;
}

// Why a call on a logged-in `connection` failed: `onlyThisCall` while the session goes on, else
// it has ended for good.
template <typename Connection>
platform::MailboxFailure callFailure(const Connection& connection,
                                     platform::MailboxFailure onlyThisCall)
{
    using platform::MailboxFailure;
    return connection.outlived()     ? MailboxFailure::TookTooLong
        : connection.isLoggedIn()    ? onlyThisCall
                                     : MailboxFailure::ConnectionLost;
}

// Whether `connection` can take a call about messages now; else the answer that says why not.
template <typename T, typename Connection>
std::optional<platform::MailboxAnswer<T>> refusedCall(const Connection& connection)
{
    using platform::MailboxFailure;
    if (connection.isBusy())
        return failedAnswer<T>(MailboxFailure::MessageFailed, failure::sessionBusy());
    if (!connection.hasLoggedIn())
        return failedAnswer<T>(connection.isClosed() ? MailboxFailure::ConnectionLost
                                                     : MailboxFailure::MessageFailed,
                               failure::notLoggedIn());
    return std::nullopt;
}

// The header of message `number` on `connection`, decoded for showing.
template <typename Connection>
platform::MailboxAnswer<platform::MailHeader> readHeader(Connection& connection, int number)
{
    using platform::MailboxFailure;
    using platform::MailHeader;
    if (auto refused = refusedCall<MailHeader>(connection))
        return *refused;
    if (number < 1 || number > connection.messageCount())
        return failedAnswer<MailHeader>(MailboxFailure::MessageFailed,
                                        failure::noSuchMessage(number, connection.messageCount()));
    const auto answer = connection.header(number);
    if (!answer.ok)
        return failedAnswer<MailHeader>(callFailure(connection, MailboxFailure::MessageFailed),
                                        answer.failure);
    const HeaderTexts texts = readHeaderTexts(answer.value);
    return {{texts.subject, texts.from, texts.date, answer.value, texts.sender},
            MailboxFailure::None, {}};
}

// The connections a mailbox handed out, so that closing them all reaches those still open.
template <typename Connection>
class OpenConnections {
public:
    // Connects with `arguments` (the address first); null with the reason in `failure` when the
    // server cannot be reached.
    template <typename... Arguments>
    std::shared_ptr<Connection> open(QString* failure, Arguments&&... arguments)
    {
        auto connection = std::make_shared<Connection>(std::forward<Arguments>(arguments)...);
        if (const auto problem = connection->open()) {
            if (failure)
                *failure = *problem;
            return nullptr;
        }
        std::erase_if(m_connections, [](const auto& known) { return known.expired(); });
        m_connections.push_back(connection);
        return connection;
    }

    void closeAll()
    {
        for (const auto& known : std::exchange(m_connections, {}))
            if (const auto connection = known.lock())
                connection->close();
    }

private:
    std::vector<std::weak_ptr<Connection>> m_connections;
};

} // namespace pelmora::pop3
