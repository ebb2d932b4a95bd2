#include "pop3/Pop3Mailbox.h"

#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"
#include "pop3/Pop3Connection.h"
#include "pop3/ServerAddress.h"

namespace pelmora::pop3 {

using platform::MailboxAnswer;
using platform::MailboxFailure;
using platform::MailHeader;

namespace {

template <typename T>
MailboxAnswer<T> failed(MailboxFailure why, QString text)
{
    return {T{}, why, std::move(text)};
}

LoginMethod loginMethod(platform::LoginMethod method)
{
    switch (method) {
    case platform::LoginMethod::Password: return LoginMethod::UserPass;
    case platform::LoginMethod::Apop: return LoginMethod::Apop;
    case platform::LoginMethod::BearerToken: return LoginMethod::BearerToken;
    }
    return LoginMethod::UserPass;
}

class Pop3Session final : public platform::MailboxSession {
public:
    explicit Pop3Session(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection))
    {
    }
    ~Pop3Session() override { m_connection->close(); }
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    MailboxAnswer<int> logIn(const platform::MailboxCredentials& credentials) override
    {
        // Held for the whole call: closeAll() may drop the mailbox's reference meanwhile.
        const std::shared_ptr<Connection> connection = m_connection;
        if (connection->isBusy())
            return failed<int>(MailboxFailure::LoginFailed, failure::sessionBusy());
        const auto answer = connection->login({credentials.user.toUtf8(),
                                               credentials.secret.toUtf8(),
                                               loginMethod(credentials.method)});
        if (answer.ok)
            return {answer.value, MailboxFailure::None, {}};
        const MailboxFailure why = connection->outlived() ? MailboxFailure::TookTooLong
            : connection->tokenRefused()                  ? MailboxFailure::TokenRefused
                                                          : MailboxFailure::LoginFailed;
        return failed<int>(why, answer.failure);
    }

    MailboxAnswer<MailHeader> header(int number) override
    {
        const std::shared_ptr<Connection> connection = m_connection;
        if (connection->isBusy())
            return failed<MailHeader>(MailboxFailure::MessageFailed, failure::sessionBusy());
        if (!connection->hasLoggedIn())
            return failed<MailHeader>(connection->isClosed() ? MailboxFailure::ConnectionLost
                                                             : MailboxFailure::MessageFailed,
                                      failure::notLoggedIn());
        if (number < 1 || number > connection->messageCount())
            return failed<MailHeader>(MailboxFailure::MessageFailed,
                                      failure::noSuchMessage(number, connection->messageCount()));
        const auto answer = connection->header(number);
        if (answer.ok) {
            const HeaderTexts texts = readHeaderTexts(answer.value);
            return {{texts.subject, texts.from, texts.date, answer.value, texts.sender},
                    MailboxFailure::None, {}};
        }
        // A session that left the transaction state after logging in has ended for good.
        const MailboxFailure why = connection->outlived() ? MailboxFailure::TookTooLong
            : connection->isLoggedIn()                    ? MailboxFailure::MessageFailed
                                                          : MailboxFailure::ConnectionLost;
        return failed<MailHeader>(why, answer.failure);
    }

    MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        using Ids = QList<QByteArray>;
        const std::shared_ptr<Connection> connection = m_connection;
        if (connection->isBusy())
            return failed<Ids>(MailboxFailure::MessageFailed, failure::sessionBusy());
        if (!connection->hasLoggedIn())
            return failed<Ids>(connection->isClosed() ? MailboxFailure::ConnectionLost
                                                      : MailboxFailure::MessageFailed,
                               failure::notLoggedIn());
        auto answer = connection->messageIds();
        if (answer.ok)
            return {std::move(answer.value), MailboxFailure::None, {}};
        const MailboxFailure why = connection->outlived() ? MailboxFailure::TookTooLong
            : connection->isLoggedIn()                    ? MailboxFailure::NoMessageIds
                                                          : MailboxFailure::ConnectionLost;
        return failed<Ids>(why, answer.failure);
    }

    void close() override { m_connection->close(); }

private:
    std::shared_ptr<Connection> m_connection;
};

} // namespace

Pop3Mailbox::Pop3Mailbox(Timeouts timeouts)
    : m_timeouts(timeouts), m_startTls(std::make_shared<StartTlsMemory>())
{
}

Pop3Mailbox::~Pop3Mailbox() { closeAll(); }

std::unique_ptr<platform::MailboxSession> Pop3Mailbox::open(const QString& server,
                                                            QString* failure)
{
    const auto address = ServerAddress::parse(server);
    if (!address) {
        if (failure)
            *failure = failure::badServerName(server);
        return nullptr;
    }
    auto connection = std::make_shared<Connection>(*address, m_timeouts, m_startTls);
    if (const auto problem = connection->open()) {
        if (failure)
            *failure = *problem;
        return nullptr;
    }
    std::erase_if(m_connections, [](const auto& known) { return known.expired(); });
    m_connections.push_back(connection);
    return std::make_unique<Pop3Session>(std::move(connection));
}

void Pop3Mailbox::closeAll()
{
    for (const auto& known : std::exchange(m_connections, {}))
        if (const auto connection = known.lock())
            connection->close();
}

} // namespace pelmora::pop3
