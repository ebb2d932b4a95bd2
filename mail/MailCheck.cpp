#include "mail/MailCheck.h"

#include "platform/WaitMilliseconds.h"

#include <QScopeGuard>

#include <algorithm>

namespace pelmora::mail {

using namespace Qt::StringLiterals;
using platform::MailboxFailure;
using settings::ProfileFile;

namespace {
constexpr std::int32_t kBoardSeconds = 1000;

// Leading and trailing blanks (spaces only) removed.
QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}
} // namespace


MailCheck::MailCheck(Ports ports, Windows windows, const settings::Preferences& preferences,
                     const settings::SettingsStore& store, settings::ProgramValues& values)
    : m_ports(ports), m_windows(windows), m_preferences(preferences), m_store(store),
      m_values(values)
{
}

void MailCheck::CheckMail()
{
    if (m_running)
        return;
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });

    const std::int32_t count = talkToServer();
    if (count > 0)
        announceNewMail(count);
    // After every check, whatever happened.
    if (m_preferences.hangUpAfterCheck)
        m_windows.mainWindow.Command5_Click();
}

// Connect, read the account, log in, read every header, close: the answer is the number of
// messages; every path that did not log in gives 0.
std::int32_t MailCheck::talkToServer()
{
    AccountSignIn& signIn = m_ports.signIn;
    const bool withToken = signIn.signsIn();
    const QString server = withToken ? signIn.server() : m_values.Pop3Server;
    if (server.isEmpty())
        return 0;
    // A server that cannot be reached is not reported: the check is silent, as for an empty
    // mailbox.
    Session session = m_ports.mailbox.open(server, nullptr);
    if (!session)
        return 0;

    const QString id = m_store.readText(ProfileFile::Account, settings::kAccountIdKey, QString());
    const QString password = m_store.readText(ProfileFile::Account, settings::kAccountPasswordKey, QString());
    // What the user is typing into the open dialog stays; the login uses the file's account.
    if (!m_windows.account.isShown()) {
        m_windows.account.setIdText(id);
        m_windows.account.setPassText(password);
    }
    m_values.UserId = id;
    m_values.UserPassword = password;

    std::int32_t count = 0;
    if (withToken) {
        // The sign-in stands in for the ID and password: without one the user is asked to sign in.
        if (!signIn.signedIn())
            signIn.showSignInWindow();
        else
            count = logInWithToken(session, server);
    } else if (m_values.UserId.isEmpty() || m_values.UserPassword.isEmpty()) {
        m_windows.account.show();
    } else {
        const auto method = m_values.ApopFlag != 0 ? platform::LoginMethod::Apop
                                                   : platform::LoginMethod::Password;
        const auto answer = session->logIn({m_values.UserId, m_values.UserPassword, method});
        if (answer.ok()) {
            count = answer.value;
        } else {
            showFailure(answer.text);
            count = -1;
        }
    }
    if (count > 0 && session)
        readHeaders(*session, count);
    if (session)
        session->close();
    return count;
}

std::int32_t MailCheck::logInWithToken(Session& session, const QString& server)
{
    AccountSignIn& signIn = m_ports.signIn;
    for (bool refresh : {false, true}) {
        const AccountSignIn::Token token = signIn.accessToken(refresh);
        if (!token.ok) {
            showFailure(token.failure);
            if (token.signInAgain)
                signIn.showSignInWindow();
            return -1;
        }
        if (refresh) {
            // The server has refused the first token; the new one goes on a new session.
            session->close();
            session = m_ports.mailbox.open(server, nullptr);
            if (!session)
                return -1;
        }
        const auto answer = session->logIn({signIn.loginName(), QString::fromUtf8(token.token),
                                            platform::LoginMethod::BearerToken});
        if (answer.ok())
            return answer.value;
        if (answer.failure != MailboxFailure::TokenRefused || refresh) {
            showFailure(answer.text);
            return -1;
        }
    }
    return -1;
}

// What one header says decides nothing yet; but once the session is over every further call would
// fail at once, and a server that claimed two billion messages would keep the loop (and the window
// with it) busy for good. The count on the board stays the server's count.
void MailCheck::readHeaders(platform::MailboxSession& session, std::int32_t count)
{
    const std::int32_t last = std::min(count, kMaxMessagesRead);
    for (std::int32_t n = 1;; ++n) {
        const auto header = session.header(n);
        if (header.failure == MailboxFailure::TookTooLong)
            showFailure(header.text);
        if (header.failure == MailboxFailure::ConnectionLost
            || header.failure == MailboxFailure::TookTooLong)
            return;
        if (n == last) // compared before the step, so n never passes the largest count
            return;
    }
}

void MailCheck::showFailure(const QString& text)
{
    m_ports.messageBox.msgBox(text, platform::msgbox::kOkOnly, u"エラー"_s);
}

void MailCheck::announceNewMail(std::int32_t count)
{
    CheckWindowView& mainWindow = m_windows.mainWindow;
    if (mainWindow.Check2()) {
        const QString path = mainWindow.Text7();
        if (path != QString::fromUtf16(settings::kMailProgramNotSet))
            startMailProgram(trimSpaces(path));
        return;
    }
    NoticeBoardView& board = m_windows.board;
    board.setText1(u"新着メールが有ります"_s);
    board.setText2(QString::number(count));
    const bool eraseAfterASecond = m_preferences.boardErasesItself;
    board.show();
    if (eraseAfterASecond) {
        platform::WaitMilliseconds(m_ports.ticks, kBoardSeconds);
        board.unload();
    }
    mainWindow.Command2_Click();
}

void MailCheck::startMailProgram(const QString& path)
{
    if (m_ports.launcher.shell(path, platform::ProgramLauncher::kNormalFocus))
        return;
    // Told without stopping the check: a balloon at the tray icon, else a box that does not wait.
    const QString title = u"Pelmora"_s;
    const QString text = u"設定したメーラーを起動できませんでした。\n%1"_s.arg(path);
    if (!m_ports.tray.showMessage(title, text))
        m_ports.messageBox.msgBoxModeless(text, platform::msgbox::kExclamation, title);
}

} // namespace pelmora::mail
