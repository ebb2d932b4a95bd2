#pragma once

#include "platform/ports/MailLibrary.h"
#include "pop3/Pop3Limits.h"

#include <QString>

#include <map>
#include <memory>

namespace pelmora::platform {
class AnsiCodec;
}

namespace pelmora::pop3 {

class Connection;
class StartTlsMemory;
using platform::AnsiCodec;
using platform::MailBuffer;

// The mail library on our own POP3 client. Construct one on the UI thread and call it from there;
// every call that talks to the server keeps dispatching the thread's events while it waits.
//
// What the calls answer:
//   NMailPop3Connect        a handle > 0, or -1 (the reason is then in NMailGetMessage too)
//   NMailPop3Authenticate   the number of messages (STAT), 0 when empty, kTokenRefused (-3) when
//                           the server refused a bearer token (kLoginBearerToken), -1 on any
//                           other failure; the last argument picks the login as the port says
//                           (kLoginPlain 0, kLoginBearerToken 1, any other value APOP)
//   NMailPop3GetMailStatus  `number`, having filled subject, from, date (decoded) and the raw
//                           header from TOP number 0; -1 on failure
//   NMailPop3GetMailSize    the size from LIST number; -1 when unknown or not believable
//   NMailPop3GetMail        the bytes of the message read: its header only (no RETR, so the
//                           server marks nothing as read), also in `body`, cut to its capacity;
//                           the four texts as for the status; -1 on failure
//   (the three above answer kConnectionLost instead of -1 once the connection is gone: the
//   server closed it, a reply timed out, or the handle was closed meanwhile; such a call
//   returns at once; and kCheckTooLong once it outlived Timeouts::whole)
//   NMailPop3Close          0, or -1 for an unknown handle
//   NMailGetMessage         the length of the text written
// Texts are written as the codec's ANSI bytes (UTF-8 when no codec is given).
class Pop3MailLibrary final : public platform::MailLibrary {
public:
    explicit Pop3MailLibrary(Timeouts timeouts = {}, const AnsiCodec* codec = nullptr);
    ~Pop3MailLibrary() override;
    Pop3MailLibrary(const Pop3MailLibrary&) = delete;
    Pop3MailLibrary& operator=(const Pop3MailLibrary&) = delete;

    std::int32_t NMailInitializeWinSock() override;
    std::int32_t NMailSetOption(std::int32_t option, std::int32_t value) override;
    std::int32_t NMailEndWinSock() override;
    std::int32_t NMailPop3Connect(const QByteArray& server) override;
    std::int32_t NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                       const QByteArray& password, std::int32_t method) override;
    std::int32_t NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                        MailBuffer& subject, MailBuffer& from, MailBuffer& date,
                                        MailBuffer& header, std::int32_t flag) override;
    std::int32_t NMailPop3GetMailSize(std::int32_t handle, std::int32_t number) override;
    std::int32_t NMailPop3GetMail(std::int32_t handle, std::int32_t number, MailBuffer& subject,
                                  MailBuffer& from, MailBuffer& date, MailBuffer& header,
                                  MailBuffer& body, std::int32_t flag,
                                  std::int32_t reserved) override;
    std::int32_t NMailGetMessage(std::int32_t id, MailBuffer& buffer,
                                 std::int32_t& capacity) override;
    std::int32_t NMailPop3Close(std::int32_t handle) override;

private:
    using ConnectionPtr = std::shared_ptr<Connection>;
    std::int32_t failWith(const QString& text);
    // The connection for `handle`, ready for a call: open, not busy, logged in when `loggedIn`.
    ConnectionPtr usable(std::int32_t handle, bool loggedIn);
    bool checkNumber(const Connection& connection, std::int32_t number);
    // What a message call answers when usable() refused `handle`, or when its request failed.
    std::int32_t unusableHandle(std::int32_t handle) const;
    std::int32_t messageFailed(const Connection& connection, const QString& text);
    void fillTexts(const QByteArray& rawHeader, MailBuffer& subject, MailBuffer& from,
                   MailBuffer& date, MailBuffer& header) const;
    QByteArray toAnsi(const QString& text) const;

    Timeouts m_timeouts;
    const AnsiCodec* m_codec;
    std::map<std::int32_t, ConnectionPtr> m_connections;
    // Which servers offered STLS in this run: none of them gets a password in plain text later.
    std::shared_ptr<pop3::StartTlsMemory> m_startTls;
    std::int32_t m_nextHandle = 1;
    QByteArray m_lastFailure;
};

} // namespace pelmora::pop3
