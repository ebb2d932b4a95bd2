#include "tests/fakes/FakePorts.h"

#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"
#include "platform/MailText.h"
#include "pop3/Pop3Limits.h"
#include "pop3/ServerAddress.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;

namespace {
QString text(platform::ProfileFiles::Text value)
{
    return value ? QString::fromUtf8(value->data(), qsizetype(value->size())) : u"<NULL>"_s;
}
} // namespace

// --- mail library ---

FakeMailLibrary::Message FakeMailLibrary::message(const QByteArray& subject, const QByteArray& body)
{
    return {"From: Sender <sender@pop.example>\r\nTo: taro@pop.example\r\nSubject: " + subject +
                "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\n\r\n" + body,
            std::nullopt};
}

std::int32_t FakeMailLibrary::fail(const QString& text)
{
    m_lastFailure = text.toUtf8();
    return -1;
}

void FakeMailLibrary::waiting() const
{
    if (whileWaiting)
        whileWaiting();
}

bool FakeMailLibrary::usable(std::int32_t handle, bool loggedIn)
{
    const auto it = m_loggedIn.find(handle);
    if (it == m_loggedIn.end())
        fail(pop3::failure::invalidHandle(handle));
    else if (loggedIn && !it->second)
        fail(pop3::failure::notLoggedIn());
    else
        return true;
    return false;
}

bool FakeMailLibrary::connectionGone(std::int32_t handle, std::int32_t number)
{
    if (!m_loggedIn.contains(handle)) {
        fail(pop3::failure::invalidHandle(handle));
        return true;
    }
    if (!m_loggedIn[handle] || number < 1 || number > mailbox.size())
        return false; // refused before the server is asked, as the real library does
    if (connectionLostAt > 0 && number >= connectionLostAt)
        m_connectionLost = true;
    if (m_connectionLost)
        fail(pop3::failure::connectionLost());
    return m_connectionLost;
}

bool FakeMailLibrary::checkNumber(std::int32_t number)
{
    if (number >= 1 && number <= mailbox.size())
        return true;
    fail(pop3::failure::noSuchMessage(number, int(mailbox.size())));
    return false;
}

void FakeMailLibrary::fillTexts(const Message& message, platform::MailBuffer& subject,
                                platform::MailBuffer& from, platform::MailBuffer& date,
                                platform::MailBuffer& header) const
{
    const qsizetype end = message.content.indexOf("\r\n\r\n");
    const QByteArray rawHeader = end < 0 ? message.content : message.content.left(end + 2);
    const pop3::HeaderTexts texts = pop3::readHeaderTexts(rawHeader);
    platform::writeMailText(subject, subject.size(), texts.subject.toUtf8());
    platform::writeMailText(from, from.size(), texts.from.toUtf8());
    platform::writeMailText(date, date.size(), texts.date.toUtf8());
    platform::writeMailText(header, header.size(), rawHeader);
}

std::int32_t FakeMailLibrary::NMailInitializeWinSock()
{
    m_log.add(u"mail: NMailInitializeWinSock"_s);
    return 0;
}
std::int32_t FakeMailLibrary::NMailSetOption(std::int32_t option, std::int32_t value)
{
    m_log.add(u"mail: NMailSetOption(%1, %2)"_s.arg(option).arg(value));
    return 0;
}
std::int32_t FakeMailLibrary::NMailEndWinSock()
{
    m_log.add(u"mail: NMailEndWinSock"_s);
    m_loggedIn.clear();
    return 0;
}
std::int32_t FakeMailLibrary::NMailPop3Connect(const QByteArray& server)
{
    const QString typed = QString::fromUtf8(server);
    m_log.add(u"mail: NMailPop3Connect(%1)"_s.arg(typed));
    const auto address = pop3::ServerAddress::parse(typed);
    if (!address)
        return fail(pop3::failure::badServerName(typed));
    waiting();
    if (address->host != host)
        return fail(pop3::failure::cannotConnect(address->host, u"Connection refused"_s));
    const std::int32_t handle = m_nextHandle++;
    m_loggedIn[handle] = false;
    m_connectionLost = false;
    return handle;
}
std::int32_t FakeMailLibrary::NMailPop3Authenticate(std::int32_t handle, const QByteArray& user,
                                                    const QByteArray& pass, std::int32_t apop)
{
    m_log.add(u"mail: NMailPop3Authenticate(%1, %2, %3, %4)"_s.arg(handle)
                  .arg(QString::fromUtf8(user), QString::fromUtf8(pass))
                  .arg(apop));
    if (!usable(handle, false))
        return -1;
    const auto unsafe = [](const QByteArray& text) {
        return text.contains('\r') || text.contains('\n') || text.contains('\0');
    };
    if (unsafe(user) || unsafe(pass))
        return fail(pop3::failure::lineBreakInCredentials());
    if (apop != 0 && !offersApop)
        return fail(pop3::failure::apopWithoutTimestamp());
    waiting();
    if (user != userId || pass != password)
        return fail(pop3::failure::loginRejected(loginRejection));
    m_loggedIn[handle] = true;
    return std::int32_t(mailbox.size());
}
std::int32_t FakeMailLibrary::NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                                     platform::MailBuffer& subject,
                                                     platform::MailBuffer& from,
                                                     platform::MailBuffer& date,
                                                     platform::MailBuffer& header, std::int32_t flag)
{
    m_log.add(u"mail: NMailPop3GetMailStatus(%1, %2, %3)"_s.arg(handle).arg(number).arg(flag));
    if (connectionGone(handle, number))
        return kConnectionLost;
    if (!usable(handle, true) || !checkNumber(number))
        return -1;
    waiting();
    fillTexts(mailbox[number - 1], subject, from, date, header);
    return number;
}
std::int32_t FakeMailLibrary::NMailPop3GetMailSize(std::int32_t handle, std::int32_t number)
{
    m_log.add(u"mail: NMailPop3GetMailSize(%1, %2)"_s.arg(handle).arg(number));
    if (connectionGone(handle, number))
        return kConnectionLost;
    if (!usable(handle, true) || !checkNumber(number))
        return -1;
    waiting();
    const Message& message = mailbox[number - 1];
    const std::int64_t size = message.listedSize.value_or(message.content.size());
    if (size < 0 || size > pop3::Limits::kMaxTrustedMessageSize)
        return fail(pop3::failure::untrustedSize(
            number, QByteArray("+OK " + QByteArray::number(number) + ' ' + QByteArray::number(size))));
    return std::int32_t(size);
}
std::int32_t FakeMailLibrary::NMailPop3GetMail(std::int32_t handle, std::int32_t number,
                                               platform::MailBuffer& subject,
                                               platform::MailBuffer& from,
                                               platform::MailBuffer& date,
                                               platform::MailBuffer& header,
                                               platform::MailBuffer& body, std::int32_t flag,
                                               std::int32_t reserved)
{
    m_log.add(u"mail: NMailPop3GetMail(%1, %2, body %3, %4, %5)"_s.arg(handle)
                  .arg(number)
                  .arg(body.size())
                  .arg(flag)
                  .arg(reserved));
    if (connectionGone(handle, number))
        return kConnectionLost;
    if (!usable(handle, true) || !checkNumber(number))
        return -1;
    waiting();
    const Message& message = mailbox[number - 1];
    fillTexts(message, subject, from, date, header);
    if (!body.empty()) {
        const std::size_t n = std::min(body.size() - 1, std::size_t(message.content.size()));
        if (n > 0)
            body.replace(0, n, message.content.constData(), n);
        body[n] = '\0';
    }
    return std::int32_t(message.content.size());
}
std::int32_t FakeMailLibrary::NMailGetMessage(std::int32_t id, platform::MailBuffer& buffer,
                                              std::int32_t& capacity)
{
    m_log.add(u"mail: NMailGetMessage(%1, %2)"_s.arg(id).arg(capacity));
    return platform::writeMailText(buffer, capacity > 0 ? std::size_t(capacity) : 0, m_lastFailure);
}
std::int32_t FakeMailLibrary::NMailPop3Close(std::int32_t handle)
{
    m_log.add(u"mail: NMailPop3Close(%1)"_s.arg(handle));
    if (m_loggedIn.erase(handle) == 0)
        return fail(pop3::failure::invalidHandle(handle));
    return 0;
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
