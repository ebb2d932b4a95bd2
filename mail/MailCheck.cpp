#include "mail/MailCheck.h"

#include "platform/WaitMilliseconds.h"

#include <QScopeGuard>

#include <algorithm>

namespace pelmora::mail {

using namespace Qt::StringLiterals;
using platform::MailBuffer;
using platform::MailLibrary;
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

QString StripAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

// The four text buffers of one check, made at its start and handed to the library as they are.
struct MailCheck::Buffers {
    MailBuffer first = MailBuffer(MailLibrary::kTextBufferCapacity, ' ');
    MailBuffer second = MailBuffer(MailLibrary::kTextBufferCapacity, ' ');
    MailBuffer third = MailBuffer(MailLibrary::kTextBufferCapacity, ' ');
    MailBuffer fourth = MailBuffer(MailLibrary::kTextBufferCapacity, ' ');
};

MailCheck::MailCheck(Ports ports, Windows windows, const settings::Preferences& preferences,
                     const settings::SettingsStore& store, settings::ProgramValues& values)
    : m_ports(ports), m_windows(windows), m_preferences(preferences), m_store(store),
      m_values(values)
{
}

std::size_t MailCheck::bodyBufferSize(std::int32_t size)
{
    if (size < 0)
        return 0;
    return std::min<std::size_t>(std::size_t(size) + 1, kMaxBodyBuffer);
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

// Steps 1 to 10: the answer is the number of messages; every path that did not log in gives 0.
std::int32_t MailCheck::talkToServer()
{
    MailLibrary& library = m_ports.library;
    AccountSignIn& signIn = m_ports.signIn;
    const bool withToken = signIn.signsIn();
    const QString server = withToken ? signIn.server() : m_values.Pop3Server;
    if (server.isEmpty())
        return 0;
    std::int32_t handle = library.NMailPop3Connect(toAnsi(server));
    if (handle == MailLibrary::kNoConnection)
        return 0;

    Buffers buffers;
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
            count = logInWithToken(handle, server, buffers);
        if (count > 0)
            readMessages(handle, count, buffers);
    } else if (m_values.UserId.isEmpty() || m_values.UserPassword.isEmpty()) {
        m_windows.account.show();
    } else {
        count = library.NMailPop3Authenticate(handle, toAnsi(m_values.UserId),
                                              toAnsi(m_values.UserPassword),
                                              m_values.ApopFlag != 0 ? MailLibrary::kLoginApop
                                                                      : MailLibrary::kLoginPlain);
        if (count > 0)
            readMessages(handle, count, buffers);
        else if (count < 0)
            showLibraryFailure(buffers.first);
    }
    if (handle != MailLibrary::kNoConnection)
        library.NMailPop3Close(handle);
    return count;
}

std::int32_t MailCheck::logInWithToken(std::int32_t& handle, const QString& server, Buffers& buffers)
{
    MailLibrary& library = m_ports.library;
    AccountSignIn& signIn = m_ports.signIn;
    const QByteArray login = toAnsi(signIn.loginName());
    for (bool refresh : {false, true}) {
        const AccountSignIn::Token token = signIn.accessToken(refresh);
        if (!token.ok) {
            showFailure(token.failure);
            if (token.signInAgain)
                signIn.showSignInWindow();
            return -1;
        }
        if (refresh) {
            // The server has refused the first token; the new one goes on a new connection.
            library.NMailPop3Close(handle);
            handle = library.NMailPop3Connect(toAnsi(server));
            if (handle == MailLibrary::kNoConnection)
                return -1;
        }
        const std::int32_t count =
            library.NMailPop3Authenticate(handle, login, token.token, MailLibrary::kLoginBearerToken);
        if (count >= 0)
            return count;
        if (count != MailLibrary::kTokenRefused || refresh) {
            showLibraryFailure(buffers.first);
            return count;
        }
    }
    return -1;
}

// What one message gives decides nothing; but once the connection is gone every further call
// would fail at once, and a server that claimed two billion messages would keep the loop (and the
// window with it) busy for good. The count on the board stays the server's count.
void MailCheck::readMessages(std::int32_t handle, std::int32_t count, Buffers& b)
{
    MailLibrary& library = m_ports.library;
    const std::int32_t last = std::min(count, kMaxMessagesRead);
    for (std::int32_t n = 1;; ++n) {
        if (endsReading(library.NMailPop3GetMailStatus(handle, n, b.first, b.second, b.third,
                                                       b.fourth, 0),
                        b))
            return;
        const std::int32_t size = library.NMailPop3GetMailSize(handle, n);
        if (endsReading(size, b))
            return;
        MailBuffer body(bodyBufferSize(size), ' ');
        if (endsReading(library.NMailPop3GetMail(handle, n, b.first, b.second, b.third, b.fourth,
                                                 body, 0, 0),
                        b))
            return;
        if (n == last) // compared before the step, so n never passes the largest count
            return;
    }
}

bool MailCheck::endsReading(std::int32_t answer, Buffers& buffers)
{
    if (answer == MailLibrary::kCheckTooLong)
        showLibraryFailure(buffers.first);
    return answer == MailLibrary::kConnectionLost || answer == MailLibrary::kCheckTooLong;
}

void MailCheck::showLibraryFailure(MailBuffer& buffer)
{
    std::int32_t capacity = MailLibrary::kTextBufferCapacity;
    m_ports.library.NMailGetMessage(0, buffer, capacity);
    showFailure(StripAtNul(
        m_store.codec().fromAnsi(QByteArrayView(buffer.data(), qsizetype(buffer.size())))));
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
