#include "tests/fakes/FakePorts.h"

#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"
#include "pop3/ServerAddress.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;
using platform::MailboxAnswer;
using platform::MailboxFailure;
using platform::MailHeader;

namespace {
QString text(platform::ProfileFiles::Text value)
{
    return value ? QString::fromUtf8(value->data(), qsizetype(value->size())) : u"<NULL>"_s;
}
} // namespace

// --- mailbox ---

FakeMailbox::Message FakeMailbox::message(const QByteArray& subject, const QByteArray& body)
{
    static int made = 0;
    return {"From: Sender <sender@pop.example>\r\nTo: taro@pop.example\r\nSubject: " + subject +
                "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\n\r\n" + body,
            "fake-" + QByteArray::number(++made)};
}

void FakeMailbox::waiting() const
{
    if (whileWaiting)
        whileWaiting();
}

class FakeMailbox::Session final : public platform::MailboxSession {
public:
    explicit Session(FakeMailbox& box) : m_box(box) { m_box.m_open.insert(this); }
    ~Session() override { m_box.m_open.erase(this); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MailboxAnswer<int> logIn(const platform::MailboxCredentials& credentials) override
    {
        m_box.m_log.add(u"mail: logIn(%1, %2, %3)"_s.arg(credentials.user, credentials.secret)
                            .arg(int(credentials.method)));
        if (m_closed)
            return failed<int>(MailboxFailure::LoginFailed, pop3::failure::connectionClosedByCaller());
        const auto unsafe = [](const QString& text) {
            return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'));
        };
        if (unsafe(credentials.user) || unsafe(credentials.secret))
            return failed<int>(MailboxFailure::LoginFailed, pop3::failure::lineBreakInCredentials());
        if (credentials.method == platform::LoginMethod::Apop && !m_box.offersApop)
            return failed<int>(MailboxFailure::LoginFailed, pop3::failure::apopWithoutTimestamp());
        m_box.waiting();
        if (credentials.user != m_box.userId || credentials.secret != m_box.password)
            return failed<int>(MailboxFailure::LoginFailed,
                               pop3::failure::loginRejected(m_box.loginRejection));
        m_loggedIn = true;
        return {int(m_box.mailbox.size()), MailboxFailure::None, {}};
    }

    MailboxAnswer<MailHeader> header(int number) override
    {
        m_box.m_log.add(u"mail: header(%1)"_s.arg(number));
        if (!m_loggedIn)
            return failed<MailHeader>(m_closed ? MailboxFailure::ConnectionLost
                                               : MailboxFailure::MessageFailed,
                                      pop3::failure::notLoggedIn());
        if (number < 1 || number > m_box.mailbox.size())
            return failed<MailHeader>(MailboxFailure::MessageFailed,
                                      pop3::failure::noSuchMessage(number, int(m_box.mailbox.size())));
        if (m_box.connectionLostAt > 0 && number >= m_box.connectionLostAt)
            m_lost = true;
        if (m_lost || m_closed)
            return failed<MailHeader>(MailboxFailure::ConnectionLost,
                                      m_closed ? pop3::failure::connectionClosedByCaller()
                                               : pop3::failure::connectionLost());
        m_box.waiting();
        // What TOP n 0 gives: the header up to the blank line.
        const QByteArray& content = m_box.mailbox[number - 1].content;
        const qsizetype end = content.indexOf("\r\n\r\n");
        const QByteArray raw = end < 0 ? content : content.left(end + 2);
        const pop3::HeaderTexts texts = pop3::readHeaderTexts(raw);
        return {{texts.subject, texts.from, texts.date, raw, texts.sender}, MailboxFailure::None, {}};
    }

    MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        m_box.m_log.add(u"mail: messageIds"_s);
        using Ids = QList<QByteArray>;
        if (!m_loggedIn)
            return failed<Ids>(m_closed ? MailboxFailure::ConnectionLost
                                        : MailboxFailure::MessageFailed,
                               pop3::failure::notLoggedIn());
        if (m_lost || m_closed)
            return failed<Ids>(MailboxFailure::ConnectionLost,
                               m_closed ? pop3::failure::connectionClosedByCaller()
                                        : pop3::failure::connectionLost());
        if (!m_box.offersIds)
            return failed<Ids>(MailboxFailure::NoMessageIds, pop3::failure::messageIdsNotOffered());
        m_box.waiting();
        Ids ids;
        for (qsizetype i = 0; i < m_box.mailbox.size(); ++i) {
            const QByteArray& id = m_box.mailbox[i].id;
            ids.append(id.isEmpty() ? QByteArray::number(i + 1) : id);
        }
        return {ids, MailboxFailure::None, {}};
    }

    void close() override
    {
        if (!m_closed)
            m_box.m_log.add(u"mail: close"_s);
        m_closed = true;
    }

private:
    template <typename T>
    static MailboxAnswer<T> failed(MailboxFailure why, QString text)
    {
        return {T{}, why, std::move(text)};
    }

    FakeMailbox& m_box;
    bool m_loggedIn = false;
    bool m_closed = false;
    bool m_lost = false;
};

std::unique_ptr<platform::MailboxSession> FakeMailbox::open(const QString& server, QString* failure)
{
    m_log.add(u"mail: open(%1)"_s.arg(server));
    const auto address = pop3::ServerAddress::parse(server);
    QString problem;
    if (!address) {
        problem = pop3::failure::badServerName(server);
    } else {
        waiting();
        if (address->host != host)
            problem = pop3::failure::cannotConnect(address->host, u"Connection refused"_s);
    }
    if (!problem.isEmpty()) {
        if (failure)
            *failure = problem;
        return nullptr;
    }
    return std::make_unique<Session>(*this);
}

std::unique_ptr<platform::MailboxWatch> FakeMailbox::watch(
    const QString& server, const platform::MailboxCredentials& credentials,
    platform::MailboxWatch::Listener listener)
{
    struct Watch final : platform::MailboxWatch {
        explicit Watch(int& open) : m_open(open) { ++m_open; }
        ~Watch() override { --m_open; }
        int& m_open;
    };
    watched.append(server + u' ' + credentials.secret);
    watchListener = std::move(listener);
    if (!watchable)
        return nullptr;
    return std::make_unique<Watch>(openWatches);
}

void FakeMailbox::closeAll()
{
    m_log.add(u"mail: closeAll"_s);
    for (Session* session : std::set<Session*>(m_open))
        session->close();
}

// --- multimedia ---

std::uint32_t FakeMultimedia::mciSendString(const QString& command, QString* reply,
                                            std::uint32_t replyCapacity)
{
    m_log.add(u"mci: "_s + command);
    if (passTo) {
        results.append(passTo->mciSendString(command, reply, replyCapacity));
        return results.last();
    }
    results.append(defaultResult);
    const auto found = replies.constFind(command);
    if (reply) {
        *reply = found != replies.cend() ? *found : QString();
        if (replyCapacity > 0)
            reply->truncate(qsizetype(replyCapacity) - 1);
    }
    return defaultResult;
}

// --- tick counter ---

void FakeTickCounter::runFrom(std::uint32_t base)
{
    m_value = base;
    m_realClock = true;
    m_clock.start();
}

std::uint32_t FakeTickCounter::timeGetTime()
{
    const std::uint32_t value =
        m_realClock ? m_value + static_cast<std::uint32_t>(m_clock.elapsed()) : m_value;
    m_answered.append(value);
    return value;
}

std::uint32_t FakeRemoteAccess::rasEnumConnections(std::span<platform::RasConnection> table,
                                                   std::uint32_t& bufferSize,
                                                   std::uint32_t& count)
{
    m_log.add(u"RasEnumConnections(%1, %2)"_s.arg(table.empty() ? 0 : table[0].size).arg(bufferSize));
    count = 0;
    if (enumResult != kSuccess)
        return enumResult;
    for (std::uint32_t handle : activeHandles) {
        if (count >= table.size())
            break;
        table[count].handle = handle;
        ++count;
    }
    return kSuccess;
}

std::uint32_t FakeRemoteAccess::rasHangUp(std::uint32_t handle)
{
    m_log.add(u"RasHangUp(%1)"_s.arg(handle));
    return kSuccess;
}

void FakeAnimationPane::navigate(const QString& url)
{
    m_log.add(u"navigate: "_s + url);
    currentUrl = url;
}

void FakeTrayIcon::setIcon(const QString& pictureFile)
{
    m_log.add(pictureFile.isEmpty() ? u"tray: set icon (none)"_s : u"tray: set icon"_s);
}

void FakeTrayIcon::setTipText(const QString& tip)
{
    m_log.add(u"tray: tip "_s + tip);
    tipText = tip;
}

void FakeTrayIcon::showIcon()
{
    m_log.add(u"tray: show icon"_s);
    iconShown = true;
}

bool FakeTrayIcon::showMessage(const QString& title, const QString& text)
{
    if (!available || !iconShown)
        return false;
    m_log.add(u"tray: message %1: %2"_s.arg(title, text));
    return true;
}

void FakeDesktopNotifications::notify(const QString& title, const QStringList& lines,
                                      std::function<void()> onClicked)
{
    m_log.add(u"notify: %1 | %2 | %3"_s.arg(title, lines.join(u" / "_s),
                                           onClicked ? u"click"_s : u"no click"_s));
    m_onClicked = std::move(onClicked);
}

bool FakeDesktopNotifications::click()
{
    if (!m_onClicked)
        return false;
    const std::function<void()> handler = m_onClicked;
    handler();
    return true;
}

void FakeTrayIcon::raiseEvent(std::int16_t code)
{
    if (m_handler)
        m_handler(code);
}

QString FakeFileDialog::showOpen(QWidget*)
{
    m_log.add(u"file dialog: open"_s);
    return nextFileName;
}

std::int16_t FakeFileTitle::getFileTitle(std::string_view path, std::span<char> title)
{
    m_log.add(u"GetFileTitle(%1)"_s.arg(QString::fromUtf8(path.data(), qsizetype(path.size()))));
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return -1;
    if (name.size() + 1 > title.size())
        return std::int16_t(name.size() + 1);
    std::copy(name.begin(), name.end(), title.begin());
    title[name.size()] = '\0';
    return 0;
}

int FakeMessageBox::msgBox(const QString& prompt, int style, const QString& title)
{
    m_log.add(u"MsgBox(%1, %2, %3)"_s.arg(prompt).arg(style).arg(title));
    if (whileOpen)
        whileOpen();
    return answers.isEmpty() ? platform::msgbox::kAnswerOk : answers.dequeue();
}

void FakeMessageBox::msgBoxModeless(const QString& prompt, int style, const QString& title)
{
    m_log.add(u"MsgBoxModeless(%1, %2, %3)"_s.arg(prompt).arg(style).arg(title));
}

bool FakeProgramLauncher::shell(const QString& path, int windowStyle)
{
    m_log.add(u"Shell(%1, %2)"_s.arg(path).arg(windowStyle));
    return result;
}

bool FakeHomepageBrowser::navigate(const QUrl& address)
{
    m_log.add(u"browser: "_s + address.toString());
    return result;
}

void FakeSecretStore::read(const QString& name, QObject*, Answer answer)
{
    m_log.add(u"keyring: read "_s + name);
    if (!available)
        return answer({Outcome::Unavailable, {}, u"no keyring"_s});
    const auto found = secrets.constFind(name);
    if (found == secrets.cend())
        return answer({Outcome::NotFound, {}, {}});
    answer({Outcome::Done, *found, {}});
}

void FakeSecretStore::write(const QString& name, const QByteArray& secret, QObject*, Answer answer)
{
    m_log.add(u"keyring: write "_s + name);
    if (!available)
        return answer({Outcome::Unavailable, {}, u"no keyring"_s});
    secrets.insert(name, secret);
    answer({Outcome::Done, {}, {}});
}

void FakeSecretStore::remove(const QString& name, QObject*, Answer answer)
{
    m_log.add(u"keyring: remove "_s + name);
    if (!available)
        return answer({Outcome::Unavailable, {}, u"no keyring"_s});
    secrets.remove(name);
    answer({Outcome::Done, {}, {}});
}

void FakeProcessExit::endProcess()
{
    m_log.add(u"end process"_s);
    ended = true;
}

// --- profile files ---

std::uint32_t RecordingProfileFiles::getPrivateProfileInt(Text section, Text key,
                                                          std::int32_t defaultValue,
                                                          const QString& path)
{
    if (recordReads)
        m_log.add(u"profile: read int %1 %2 %3"_s.arg(QFileInfo(path).fileName(), text(section),
                                                      text(key)));
    return m_real.getPrivateProfileInt(section, key, defaultValue, path);
}

std::uint32_t RecordingProfileFiles::getPrivateProfileString(Text section, Text key,
                                                             Text defaultValue,
                                                             std::span<char> buffer,
                                                             const QString& path)
{
    if (recordReads)
        m_log.add(u"profile: read text %1 %2 %3"_s.arg(QFileInfo(path).fileName(), text(section),
                                                       text(key)));
    return m_real.getPrivateProfileString(section, key, defaultValue, buffer, path);
}

platform::WriteResult RecordingProfileFiles::writePrivateProfileString(Text section, Text key,
                                                                       Text value,
                                                                       const QString& path)
{
    m_log.add(u"profile: write %1 [%2] %3=%4"_s.arg(QFileInfo(path).fileName(), text(section),
                                                    text(key), text(value)));
    return m_real.writePrivateProfileString(section, key, value, path);
}

} // namespace pelmora::fakes
