#include "tests/fakes/FakePorts.h"

#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include <algorithm>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;

namespace {
QString text(platform::ProfileFiles::Text value)
{
    return value ? QString::fromUtf8(value->data(), qsizetype(value->size())) : u"<NULL>"_s;
}

void writeNulTerminated(platform::MailBuffer& buffer, std::size_t capacity, std::string_view text)
{
    const std::size_t room = std::min(buffer.size(), capacity);
    if (room == 0)
        return;
    const std::size_t n = std::min(text.size(), room - 1);
    buffer.replace(0, n, text.substr(0, n));
    buffer[n] = '\0';
}
} // namespace

// --- mail library ---

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
    return 0;
}
std::int32_t FakeMailLibrary::NMailPop3Connect(const QByteArray& server)
{
    m_log.add(u"mail: NMailPop3Connect(%1)"_s.arg(QString::fromUtf8(server)));
    return connectResult;
}
std::int32_t FakeMailLibrary::NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                                    const QByteArray& password, std::int32_t apop)
{
    m_log.add(u"mail: NMailPop3Authenticate(%1, %2, %3, %4)"_s.arg(handle)
                  .arg(QString::fromUtf8(userId), QString::fromUtf8(password))
                  .arg(apop));
    return authenticateResult;
}
std::int32_t FakeMailLibrary::NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                                     platform::MailBuffer& subject,
                                                     platform::MailBuffer&, platform::MailBuffer&,
                                                     platform::MailBuffer&, std::int32_t flag)
{
    m_log.add(u"mail: NMailPop3GetMailStatus(%1, %2, %3)"_s.arg(handle).arg(number).arg(flag));
    writeNulTerminated(subject, subject.size(), "subject");
    return 0;
}
std::int32_t FakeMailLibrary::NMailPop3GetMailSize(std::int32_t handle, std::int32_t number)
{
    m_log.add(u"mail: NMailPop3GetMailSize(%1, %2)"_s.arg(handle).arg(number));
    return mailSize;
}
std::int32_t FakeMailLibrary::NMailPop3GetMail(std::int32_t handle, std::int32_t number,
                                               platform::MailBuffer&, platform::MailBuffer&,
                                               platform::MailBuffer&, platform::MailBuffer&,
                                               platform::MailBuffer& body, std::int32_t flag,
                                               std::int32_t reserved)
{
    m_log.add(u"mail: NMailPop3GetMail(%1, %2, body %3, %4, %5)"_s.arg(handle)
                  .arg(number)
                  .arg(body.size())
                  .arg(flag)
                  .arg(reserved));
    return 0;
}
std::int32_t FakeMailLibrary::NMailGetMessage(std::int32_t id, platform::MailBuffer& buffer,
                                              std::int32_t& capacity)
{
    m_log.add(u"mail: NMailGetMessage(%1, %2)"_s.arg(id).arg(capacity));
    writeNulTerminated(buffer, std::size_t(std::max(capacity, 0)), errorText.toStdString());
    return 0;
}
std::int32_t FakeMailLibrary::NMailPop3Close(std::int32_t handle)
{
    m_log.add(u"mail: NMailPop3Close(%1)"_s.arg(handle));
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

// --- windows ---

bool FakeWindowPositioner::setWindowPos(QWidget* window, platform::InsertAfter insertAfter, int x,
                                        int y, int cx, int cy, unsigned flags)
{
    m_log.add(u"SetWindowPos(%1, %2, %3, %4, %5, %6, 0x%7)"_s
                  .arg(window ? window->objectName() : u"<null>"_s)
                  .arg(int(insertAfter))
                  .arg(x)
                  .arg(y)
                  .arg(cx)
                  .arg(cy)
                  .arg(flags, 0, 16));
    return passTo ? passTo->setWindowPos(window, insertAfter, x, y, cx, cy, flags) : true;
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

void FakeTrayIcon::setIcon(const QIcon& icon)
{
    m_log.add(icon.isNull() ? u"tray: set icon (none)"_s : u"tray: set icon"_s);
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

bool RecordingProfileFiles::writePrivateProfileString(Text section, Text key, Text value,
                                                      const QString& path)
{
    m_log.add(u"profile: write %1 [%2] %3=%4"_s.arg(QFileInfo(path).fileName(), text(section),
                                                    text(key), text(value)));
    return m_real.writePrivateProfileString(section, key, value, path);
}

} // namespace pelmora::fakes
