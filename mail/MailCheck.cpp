#include "mail/MailCheck.h"

#include <QScopeGuard>

#include <algorithm>
#include <climits>

namespace pelmora::mail {

using namespace Qt::StringLiterals;
using platform::MailboxFailure;
using settings::ProfileFile;

MailCheck::MailCheck(Parts parts, const settings::Preferences& preferences,
                     const settings::SettingsStore& store, settings::ProgramValues& values)
    : m_parts(parts), m_preferences(preferences), m_store(store), m_values(values)
{
}

void MailCheck::run()
{
    if (m_running)
        return;
    {
        m_running = true;
        const auto done = qScopeGuard([this] { m_running = false; });
        checkOnce();
    }
    if (m_afterCheck)
        m_afterCheck();
}

void MailCheck::checkOnce()
{
    NewMail mail;
    m_toRecord.reset();
    mail.count = talkToServer(mail);
    if (mail.count > 0) {
        const bool told = m_parts.report.newMail(mail);
        // A record that cannot be written only means the same mail is announced again.
        if (told && m_toRecord)
            m_parts.announced.markAnnounced(m_toRecord->account, m_toRecord->mailbox,
                                            m_toRecord->announced);
    } else
        m_parts.report.noNewMail();
    // After every check, whatever happened.
    if (m_preferences.hangUpAfterCheck)
        m_parts.hangUp.hangUp();
}

// Connect, read the account, log in, read every header, close: the answer is the number of
// messages; every path that did not log in gives 0.
std::int32_t MailCheck::talkToServer(NewMail& mail)
{
    AccountSignIn& signIn = m_parts.signIn;
    const bool withToken = signIn.signsIn();
    const QString server = currentServer();
    if (server.isEmpty())
        return 0;
    // A server that cannot be reached is not reported: the check is silent, as for an empty
    // mailbox.
    Session session = m_parts.mailbox.open(server, nullptr);
    if (!session)
        return 0;

    const QString id = m_store.readText(ProfileFile::Account, settings::kAccountIdKey, QString());
    const QString password = m_store.readText(ProfileFile::Account, settings::kAccountPasswordKey, QString());
    // What the user is typing into the open dialog stays; the login uses the file's account.
    if (!m_parts.account.isShown()) {
        m_parts.account.setIdText(id);
        m_parts.account.setPassText(password);
    }
    m_values.UserId = id;
    m_values.UserPassword = password;

    std::int32_t count = 0;
    bool loginTried = false;
    if (withToken) {
        // The sign-in stands in for the ID and password: without one the user is asked to sign in.
        if (!signIn.signedIn())
            signIn.showSignInWindow();
        else
            count = logInWithToken(session, server);
        loginTried = true;
    } else if (m_values.UserId.isEmpty() || m_values.UserPassword.isEmpty()) {
        m_parts.account.show();
    } else {
        const auto method = m_values.ApopFlag != 0 ? platform::LoginMethod::Apop
                                                   : platform::LoginMethod::Password;
        const auto answer = session->logIn({m_values.UserId, m_values.UserPassword, method});
        loginTried = true;
        if (answer.ok()) {
            count = answer.value;
        } else {
            m_parts.report.failed(answer.text);
            count = -1;
        }
    }
    // An empty mailbox matters to "only new mail" too: its record begins with it.
    const bool onlyNew = loginTried && count >= 0 && session && m_parts.options.read().onlyNewMail;
    const std::int32_t fresh = onlyNew ? readNewHeaders(*session, mail) : -1;
    if (fresh >= 0) {
        count = fresh;
    } else if (count > 0 && session) {
        mail.count = count;
        readHeaders(*session, mail);
    }
    if (session)
        session->close();
    return count;
}

std::int32_t MailCheck::logInWithToken(Session& session, const QString& server)
{
    AccountSignIn& signIn = m_parts.signIn;
    for (bool refresh : {false, true}) {
        const AccountSignIn::Token token = signIn.accessToken(refresh);
        if (!token.ok) {
            m_parts.report.failed(token.failure);
            if (token.signInAgain)
                signIn.showSignInWindow();
            return -1;
        }
        if (refresh) {
            // The server has refused the first token; the new one goes on a new session.
            session->close();
            session = m_parts.mailbox.open(server, nullptr);
            if (!session)
                return -1;
        }
        const auto answer = session->logIn({signIn.loginName(), QString::fromUtf8(token.token),
                                            platform::LoginMethod::BearerToken});
        if (answer.ok())
            return answer.value;
        if (answer.failure != MailboxFailure::TokenRefused || refresh) {
            m_parts.report.failed(answer.text);
            return -1;
        }
    }
    return -1;
}

std::optional<MailboxLogin> MailCheck::currentLogin(bool withSecret)
{
    AccountSignIn& signIn = m_parts.signIn;
    if (signIn.signsIn()) {
        if (signIn.server().isEmpty() || !signIn.signedIn())
            return std::nullopt;
        MailboxLogin login{signIn.server(),
                           {signIn.loginName(), {}, platform::LoginMethod::BearerToken}};
        if (withSecret) {
            const AccountSignIn::Token token = signIn.accessToken(false);
            if (!token.ok)
                return std::nullopt;
            login.credentials.secret = QString::fromUtf8(token.token);
        }
        return login;
    }
    const QString id = m_store.readText(ProfileFile::Account, settings::kAccountIdKey, QString());
    const QString password =
        m_store.readText(ProfileFile::Account, settings::kAccountPasswordKey, QString());
    if (m_values.Pop3Server.isEmpty() || id.isEmpty() || password.isEmpty())
        return std::nullopt;
    const auto method = m_values.ApopFlag != 0 ? platform::LoginMethod::Apop
                                               : platform::LoginMethod::Password;
    return MailboxLogin{m_values.Pop3Server, {id, password, method}};
}

QString MailCheck::currentServer() const
{
    return m_parts.signIn.signsIn() ? m_parts.signIn.server() : m_values.Pop3Server;
}

MailAccount MailCheck::account() const
{
    AccountSignIn& signIn = m_parts.signIn;
    if (signIn.signsIn())
        return {signIn.server(), signIn.loginName()};
    return {m_values.Pop3Server,
            m_store.readText(ProfileFile::Account, settings::kAccountIdKey, QString())};
}

// What one header says decides nothing yet; but once the session is over every further call would
// fail at once, and a server that claimed two billion messages would keep the loop (and the window
// with it) busy for good. The count reported stays the server's count.
void MailCheck::readHeaders(platform::MailboxSession& session, NewMail& mail)
{
    const std::int32_t last = std::min(mail.count, kMaxMessagesRead);
    for (std::int32_t n = 1; readHeader(session, n, mail) && n != last; ++n) {
        // n is compared before the step, so it never passes the largest count
    }
}

std::int32_t MailCheck::readNewHeaders(platform::MailboxSession& session, NewMail& mail)
{
    auto ids = session.messageIds();
    if (ids.failure == MailboxFailure::NoMessageIds) {
        m_parts.report.withoutMessageIds();
        return -1;
    }
    if (ids.failure == MailboxFailure::TookTooLong)
        m_parts.report.failed(ids.text);
    if (!ids.ok())
        return 0; // the session is over: nothing can be told new this time
    mail.count = 0;
    const MailAccount mailAccount = account();
    AnnouncedMessages& record = m_parts.announced;
    if (!record.remembers(mailAccount)) {
        // The mail already on the server when the option was turned on is not news.
        record.markAllAnnounced(mailAccount, ids.value);
        return 0;
    }
    const QList<qsizetype> fresh = record.newMessages(mailAccount, ids.value);
    if (fresh.isEmpty())
        return 0;
    ToRecord toRecord{mailAccount, std::move(ids.value), {}};
    for (qsizetype position : fresh)
        toRecord.announced.append(toRecord.mailbox[position]);
    // Only the newest headers are kept, so only they are read.
    for (qsizetype i = std::max<qsizetype>(0, fresh.size() - NewMail::kMaxHeadersKept);
         i < fresh.size(); ++i) {
        if (!readHeader(session, static_cast<std::int32_t>(fresh[i] + 1), mail))
            break;
    }
    m_toRecord = std::move(toRecord);
    return static_cast<std::int32_t>(std::min<qsizetype>(fresh.size(), INT32_MAX));
}

bool MailCheck::readHeader(platform::MailboxSession& session, std::int32_t number, NewMail& mail)
{
    auto header = session.header(number);
    if (header.ok()) {
        if (mail.headers.size() == NewMail::kMaxHeadersKept)
            mail.headers.removeFirst();
        header.value.raw.clear();
        mail.headers.append(std::move(header.value));
    }
    if (header.failure == MailboxFailure::TookTooLong)
        m_parts.report.failed(header.text);
    return header.failure != MailboxFailure::ConnectionLost
        && header.failure != MailboxFailure::TookTooLong;
}

} // namespace pelmora::mail
