#include "pop3/Pop3MailLibrary.h"

#include "platform/MailText.h"
#include "platform/ports/AnsiCodec.h"
#include "pop3/FailureText.h"
#include "pop3/MessageHeader.h"
#include "pop3/Pop3Connection.h"
#include "pop3/ServerAddress.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pelmora::pop3 {

using platform::writeMailText;

namespace {

constexpr std::int32_t kFailed = -1;

std::int32_t clampToInt32(std::int64_t value)
{
    return std::int32_t(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

Pop3MailLibrary::Pop3MailLibrary(Timeouts timeouts, const AnsiCodec* codec)
    : m_timeouts(timeouts), m_codec(codec), m_startTls(std::make_shared<StartTlsMemory>())
{
}

Pop3MailLibrary::~Pop3MailLibrary() { NMailEndWinSock(); }

// Nothing to start: Qt's network stack needs no initialisation. Kept for the callers' sequence.
std::int32_t Pop3MailLibrary::NMailInitializeWinSock() { return 0; }

// The program sets option 1 to 8192, the size of its text buffers; buffers here carry their own
// capacity, so options are accepted and have no effect.
std::int32_t Pop3MailLibrary::NMailSetOption(std::int32_t, std::int32_t) { return 0; }

std::int32_t Pop3MailLibrary::NMailEndWinSock()
{
    auto connections = std::exchange(m_connections, {});
    for (auto& [handle, connection] : connections)
        connection->close();
    return 0;
}

std::int32_t Pop3MailLibrary::failWith(const QString& text)
{
    m_lastFailure = toAnsi(text);
    return kFailed;
}

QByteArray Pop3MailLibrary::toAnsi(const QString& text) const
{
    return m_codec ? m_codec->toAnsi(text) : text.toUtf8();
}

std::int32_t Pop3MailLibrary::NMailPop3Connect(const QByteArray& server)
{
    const QString typed = m_codec ? m_codec->fromAnsi(server) : QString::fromUtf8(server);
    const auto address = ServerAddress::parse(typed);
    if (!address) {
        failWith(failure::badServerName(typed));
        return kNoConnection;
    }
    auto connection = std::make_shared<Connection>(*address, m_timeouts, m_startTls);
    if (const auto problem = connection->open()) {
        failWith(*problem);
        return kNoConnection;
    }
    // Handles count up from 1 and are never reused while the program runs, so a stale handle
    // cannot reach someone else's connection.
    const std::int32_t handle = m_nextHandle;
    m_nextHandle = m_nextHandle == std::numeric_limits<std::int32_t>::max() ? 1 : m_nextHandle + 1;
    m_connections[handle] = std::move(connection);
    return handle;
}

Pop3MailLibrary::ConnectionPtr Pop3MailLibrary::usable(std::int32_t handle, bool loggedIn)
{
    const auto it = m_connections.find(handle);
    if (it == m_connections.end()) {
        failWith(failure::invalidHandle(handle));
        return nullptr;
    }
    if (it->second->isBusy()) {
        failWith(failure::handleBusy(handle));
        return nullptr;
    }
    if (loggedIn && !it->second->hasLoggedIn()) {
        failWith(failure::notLoggedIn());
        return nullptr;
    }
    return it->second;
}

std::int32_t Pop3MailLibrary::unusableHandle(std::int32_t handle) const
{
    // A handle closed meanwhile has no connection left; a busy one or one that never logged in
    // is the caller's mistake.
    return m_connections.contains(handle) ? kFailed : kConnectionLost;
}

std::int32_t Pop3MailLibrary::messageFailed(const Connection& connection, const QString& text)
{
    failWith(text);
    if (connection.outlived())
        return kCheckTooLong;
    // A session that left the transaction state after logging in has failed or closed for good.
    return connection.isLoggedIn() ? kFailed : kConnectionLost;
}

bool Pop3MailLibrary::checkNumber(const Connection& connection, std::int32_t number)
{
    if (number >= 1 && number <= connection.messageCount())
        return true;
    failWith(failure::noSuchMessage(number, connection.messageCount()));
    return false;
}

std::int32_t Pop3MailLibrary::NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                                    const QByteArray& password,
                                                    std::int32_t method)
{
    // Held for the whole call: a nested NMailPop3Close may drop the handle meanwhile.
    const ConnectionPtr connection = usable(handle, false);
    if (!connection)
        return kFailed;
    const LoginMethod how = method == kLoginPlain   ? LoginMethod::UserPass
        : method == kLoginBearerToken               ? LoginMethod::BearerToken
                                                    : LoginMethod::Apop;
    const auto answer = connection->login({userId, password, how});
    if (!answer.ok) {
        failWith(answer.failure);
        return connection->tokenRefused() ? kTokenRefused : kFailed;
    }
    return answer.value;
}

void Pop3MailLibrary::fillTexts(const QByteArray& rawHeader, MailBuffer& subject, MailBuffer& from,
                                MailBuffer& date, MailBuffer& header) const
{
    const HeaderTexts texts = readHeaderTexts(rawHeader);
    writeMailText(subject, subject.size(), toAnsi(texts.subject));
    writeMailText(from, from.size(), toAnsi(texts.from));
    writeMailText(date, date.size(), toAnsi(texts.date));
    writeMailText(header, header.size(), rawHeader);
}

std::int32_t Pop3MailLibrary::NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                                     MailBuffer& subject, MailBuffer& from,
                                                     MailBuffer& date, MailBuffer& header,
                                                     std::int32_t)
{
    const ConnectionPtr connection = usable(handle, true);
    if (!connection)
        return unusableHandle(handle);
    if (!checkNumber(*connection, number))
        return kFailed;
    const auto answer = connection->header(number);
    if (!answer.ok)
        return messageFailed(*connection, answer.failure);
    fillTexts(answer.value, subject, from, date, header);
    return number;
}

std::int32_t Pop3MailLibrary::NMailPop3GetMailSize(std::int32_t handle, std::int32_t number)
{
    const ConnectionPtr connection = usable(handle, true);
    if (!connection)
        return unusableHandle(handle);
    if (!checkNumber(*connection, number))
        return kFailed;
    const auto answer = connection->size(number);
    if (!answer.ok)
        return messageFailed(*connection, answer.failure);
    return clampToInt32(answer.value);
}

std::int32_t Pop3MailLibrary::NMailPop3GetMail(std::int32_t handle, std::int32_t number,
                                               MailBuffer& subject, MailBuffer& from,
                                               MailBuffer& date, MailBuffer& header,
                                               MailBuffer& body, std::int32_t, std::int32_t)
{
    const ConnectionPtr connection = usable(handle, true);
    if (!connection)
        return unusableHandle(handle);
    if (!checkNumber(*connection, number))
        return kFailed;
    // The header is what is read of a message (TOP n 0; after the status call of the same message
    // it is already there): its body is never retrieved, so the server marks nothing as read.
    const auto answer = connection->header(number);
    if (!answer.ok)
        return messageFailed(*connection, answer.failure);
    fillTexts(answer.value, subject, from, date, header);
    writeMailText(body, body.size(), answer.value);
    return clampToInt32(answer.value.size());
}

std::int32_t Pop3MailLibrary::NMailGetMessage(std::int32_t, MailBuffer& buffer,
                                              std::int32_t& capacity)
{
    return writeMailText(buffer, capacity > 0 ? std::size_t(capacity) : 0, m_lastFailure);
}

std::int32_t Pop3MailLibrary::NMailPop3Close(std::int32_t handle)
{
    const auto it = m_connections.find(handle);
    if (it == m_connections.end())
        return failWith(failure::invalidHandle(handle));
    const ConnectionPtr connection = std::move(it->second);
    m_connections.erase(it);
    connection->close();
    return 0;
}

} // namespace pelmora::pop3
