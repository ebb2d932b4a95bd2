#include "imap/ImapMailbox.h"

#include "imap/FailureText.h"
#include "imap/ImapServerName.h"
#include "pop3/FailureText.h"

namespace pelmora::imap {

using platform::MailboxAnswer;
using platform::MailboxFailure;
using platform::MailHeader;

namespace {

using pop3::failedAnswer;

class ImapSession final : public platform::MailboxSession {
public:
    explicit ImapSession(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection))
    {
    }
    ~ImapSession() override { m_connection->close(); }
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    MailboxAnswer<int> logIn(const platform::MailboxCredentials& credentials) override
    {
        // Held for the whole call: closeAll() may drop the mailbox's reference meanwhile.
        const std::shared_ptr<Connection> connection = m_connection;
        if (connection->isBusy())
            return failedAnswer<int>(MailboxFailure::LoginFailed, pop3::failure::sessionBusy());
        // APOP keeps the password off the wire; IMAP has no such login, and sending the
        // password instead is not what the user chose.
        if (credentials.method == platform::LoginMethod::Apop) {
            connection->close();
            return failedAnswer<int>(MailboxFailure::LoginFailed, failure::apopNotForImap());
        }
        const auto answer = connection->login(
            {credentials.user.toUtf8(), credentials.secret.toUtf8(),
             credentials.method == platform::LoginMethod::BearerToken});
        if (answer.ok)
            return {answer.value, MailboxFailure::None, {}};
        return failedAnswer<int>(pop3::loginFailure(*connection), answer.failure);
    }

    MailboxAnswer<MailHeader> header(int number) override
    {
        const std::shared_ptr<Connection> connection = m_connection;
        return pop3::readHeader(*connection, number);
    }

    // The unseen messages by UIDVALIDITY and UID: known once logged in, nothing to ask.
    MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        if (!m_connection->hasLoggedIn())
            return failedAnswer<QList<QByteArray>>(MailboxFailure::NoMessageIds,
                                                   pop3::failure::notLoggedIn());
        QList<QByteArray> ids = m_connection->unseenIds();
        if (ids.isEmpty() && m_connection->messageCount() > 0)
            return failedAnswer<QList<QByteArray>>(MailboxFailure::NoMessageIds,
                                                   failure::noUidValidity());
        return {std::move(ids), MailboxFailure::None, {}};
    }

    void close() override { m_connection->close(); }

private:
    std::shared_ptr<Connection> m_connection;
};

} // namespace

ImapMailbox::ImapMailbox(Timeouts timeouts, std::chrono::milliseconds idleRenewal)
    : m_timeouts(timeouts), m_idleRenewal(idleRenewal), m_startTls(std::make_shared<pop3::StartTlsMemory>())
{
}

ImapMailbox::~ImapMailbox() { closeAll(); }

std::unique_ptr<platform::MailboxSession> ImapMailbox::open(const QString& server,
                                                            QString* failure)
{
    const auto address = parseServerName(server);
    if (!address) {
        if (failure)
            *failure = failure::badServerName(server);
        return nullptr;
    }
    auto connection = m_connections.open(failure, *address, m_timeouts, m_startTls);
    if (!connection)
        return nullptr;
    return std::make_unique<ImapSession>(std::move(connection));
}

void ImapMailbox::closeAll() { m_connections.closeAll(); }

bool ImapMailbox::canWatch(const QString& server) const
{
    return parseServerName(server).has_value();
}

std::unique_ptr<platform::MailboxWatch> ImapMailbox::watch(
    const QString& server, const platform::MailboxCredentials& credentials,
    platform::MailboxWatch::Listener listener)
{
    const auto address = parseServerName(server);
    if (!address || credentials.method == platform::LoginMethod::Apop)
        return nullptr;
    return std::make_unique<ImapWatch>(
        std::make_unique<Connection>(*address, m_timeouts, m_startTls),
        Credentials{credentials.user.toUtf8(), credentials.secret.toUtf8(),
                    credentials.method == platform::LoginMethod::BearerToken},
        std::move(listener), m_idleRenewal);
}

} // namespace pelmora::imap
