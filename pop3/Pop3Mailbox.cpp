#include "pop3/Pop3Mailbox.h"

#include "pop3/FailureText.h"
#include "pop3/Pop3Connection.h"
#include "pop3/ServerAddress.h"

namespace pelmora::pop3 {

using platform::MailboxAnswer;
using platform::MailboxFailure;
using platform::MailHeader;

namespace {

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
            return failedAnswer<int>(MailboxFailure::LoginFailed, failure::sessionBusy());
        const auto answer = connection->login({credentials.user.toUtf8(),
                                               credentials.secret.toUtf8(),
                                               loginMethod(credentials.method)});
        if (answer.ok)
            return {answer.value, MailboxFailure::None, {}};
        return failedAnswer<int>(loginFailure(*connection), answer.failure);
    }

    MailboxAnswer<MailHeader> header(int number) override
    {
        const std::shared_ptr<Connection> connection = m_connection;
        return readHeader(*connection, number);
    }

    MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        using Ids = QList<QByteArray>;
        const std::shared_ptr<Connection> connection = m_connection;
        if (auto refused = refusedCall<Ids>(*connection))
            return *refused;
        auto answer = connection->messageIds();
        if (answer.ok)
            return {std::move(answer.value), MailboxFailure::None, {}};
        return failedAnswer<Ids>(callFailure(*connection, MailboxFailure::NoMessageIds),
                                 answer.failure);
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
    auto connection = m_connections.open(failure, *address, m_timeouts, m_startTls);
    if (!connection)
        return nullptr;
    return std::make_unique<Pop3Session>(std::move(connection));
}

void Pop3Mailbox::closeAll() { m_connections.closeAll(); }

} // namespace pelmora::pop3
