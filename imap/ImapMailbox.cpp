#include "imap/ImapMailbox.h"

#include "imap/FailureText.h"
#include "imap/ImapServerName.h"
#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"

namespace pelmora::imap {

using platform::MailboxAnswer;
using platform::MailboxFailure;
using platform::MailHeader;

namespace {

template <typename T>
MailboxAnswer<T> failed(MailboxFailure why, QString text)
{
    return {T{}, why, std::move(text)};
}

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
            return failed<int>(MailboxFailure::LoginFailed, pop3::failure::sessionBusy());
        // APOP keeps the password off the wire; IMAP has no such login, and sending the
        // password instead is not what the user chose.
        if (credentials.method == platform::LoginMethod::Apop) {
            connection->close();
            return failed<int>(MailboxFailure::LoginFailed, failure::apopNotForImap());
        }
        const auto answer = connection->login(
            {credentials.user.toUtf8(), credentials.secret.toUtf8(),
             credentials.method == platform::LoginMethod::BearerToken});
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
            return failed<MailHeader>(MailboxFailure::MessageFailed, pop3::failure::sessionBusy());
        if (!connection->hasLoggedIn())
            return failed<MailHeader>(connection->isClosed() ? MailboxFailure::ConnectionLost
                                                             : MailboxFailure::MessageFailed,
                                      pop3::failure::notLoggedIn());
        if (number < 1 || number > connection->messageCount())
            return failed<MailHeader>(
                MailboxFailure::MessageFailed,
                pop3::failure::noSuchMessage(number, connection->messageCount()));
        const auto answer = connection->header(number);
        if (answer.ok) {
            const pop3::HeaderTexts texts = pop3::readHeaderTexts(answer.value);
            return {{texts.subject, texts.from, texts.date, answer.value, texts.sender},
                    MailboxFailure::None, {}};
        }
        const MailboxFailure why = connection->outlived() ? MailboxFailure::TookTooLong
            : connection->isLoggedIn()                    ? MailboxFailure::MessageFailed
                                                          : MailboxFailure::ConnectionLost;
        return failed<MailHeader>(why, answer.failure);
    }

    // The unseen messages by UIDVALIDITY and UID: known once logged in, nothing to ask.
    MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        if (!m_connection->hasLoggedIn())
            return failed<QList<QByteArray>>(MailboxFailure::NoMessageIds,
                                             pop3::failure::notLoggedIn());
        QList<QByteArray> ids = m_connection->unseenIds();
        if (ids.isEmpty() && m_connection->messageCount() > 0)
            return failed<QList<QByteArray>>(MailboxFailure::NoMessageIds,
                                             failure::noUidValidity());
        return {std::move(ids), MailboxFailure::None, {}};
    }

    void close() override { m_connection->close(); }

private:
    std::shared_ptr<Connection> m_connection;
};

} // namespace

ImapMailbox::ImapMailbox(Timeouts timeouts)
    : m_timeouts(timeouts), m_startTls(std::make_shared<pop3::StartTlsMemory>())
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
    auto connection = std::make_shared<Connection>(*address, m_timeouts, m_startTls);
    if (const auto problem = connection->open()) {
        if (failure)
            *failure = *problem;
        return nullptr;
    }
    std::erase_if(m_connections, [](const auto& known) { return known.expired(); });
    m_connections.push_back(connection);
    return std::make_unique<ImapSession>(std::move(connection));
}

void ImapMailbox::closeAll()
{
    for (const auto& known : std::exchange(m_connections, {}))
        if (const auto connection = known.lock())
            connection->close();
}

} // namespace pelmora::imap
