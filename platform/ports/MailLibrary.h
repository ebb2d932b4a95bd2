#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>

namespace pelmora::platform {

// The POP3 mail library, called the way the mail check and start-up call it. Handles are 32-bit
// integers; every text handed in is ANSI bytes.
//
// Buffers: a `MailBuffer` is a caller-made block of characters whose size() is its capacity (the
// caller fills it with spaces, as the check does with 8192 spaces for the four text buffers and
// with spaces for a message). The library writes into it in place, always ends what
// it wrote with a NUL inside the capacity, and never changes the buffer's size.
using MailBuffer = std::string;

class MailLibrary {
public:
    static constexpr std::int32_t kTextBufferCapacity = 8192;
    static constexpr std::int32_t kNoConnection = -1;
    // What the three message calls answer once the connection is gone (the server closed it, a
    // reply timed out, it was closed meanwhile): no further call on the handle can succeed. Any
    // other negative answer concerns that one message only.
    static constexpr std::int32_t kConnectionLost = -2;
    // What the three message calls answer once the connection was ended because it outlived the
    // time any real mailbox takes to check (a server feeding a reply slowly for ever, or answering
    // billions of requests one by one). NMailGetMessage gives the text that says so.
    static constexpr std::int32_t kCheckTooLong = -4;
    // What NMailPop3Authenticate answers when the server refused an OAuth 2 access token (expired,
    // revoked, or for another account): the caller may fetch a fresh token and try once more on a
    // new connection. The failure text is in NMailGetMessage, as for any other failure.
    static constexpr std::int32_t kTokenRefused = -3;

    // How NMailPop3Authenticate logs in (its last argument).
    static constexpr std::int32_t kLoginPlain = 0; // USER and PASS
    // APOP. Every value other than kLoginPlain and kLoginBearerToken means APOP too, as any
    // non-zero value did before tokens existed.
    static constexpr std::int32_t kLoginApop = -1;
    // SASL with an OAuth 2 bearer token (OAUTHBEARER, else XOAUTH2): the password argument holds
    // the access token. Only over TLS (pop3s, or after STLS); the token is never sent in clear.
    static constexpr std::int32_t kLoginBearerToken = 1;

    virtual ~MailLibrary() = default;

    // Start-up and shut-down. Results are informational; callers do not examine them.
    virtual std::int32_t NMailInitializeWinSock() = 0;
    virtual std::int32_t NMailSetOption(std::int32_t option, std::int32_t value) = 0;
    virtual std::int32_t NMailEndWinSock() = 0;

    // A connection handle, or kNoConnection (-1) when the server cannot be reached.
    virtual std::int32_t NMailPop3Connect(const QByteArray& server) = 0;
    // method: kLoginPlain, kLoginApop or kLoginBearerToken (then `password` is the access token).
    // Answers the number of messages (> 0), 0 for an empty mailbox, kTokenRefused when the server
    // refused the token, or another negative value for a failure; NMailGetMessage gives the text.
    virtual std::int32_t NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                               const QByteArray& password,
                                               std::int32_t method) = 0;
    // The message calls: `number`, the size, or a negative value for a failure whose text
    // NMailGetMessage then gives; kConnectionLost when the connection is gone.
    virtual std::int32_t NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                                MailBuffer& subject, MailBuffer& from,
                                                MailBuffer& date, MailBuffer& header,
                                                std::int32_t flag) = 0;
    // The size of the message in bytes, or a negative value when it cannot be told.
    virtual std::int32_t NMailPop3GetMailSize(std::int32_t handle, std::int32_t number) = 0;
    // The texts as for the status, and as much of the message as is read into `body`: a check
    // reads headers only, so the mailbox stays as it was (servers mark what was retrieved as read).
    virtual std::int32_t NMailPop3GetMail(std::int32_t handle, std::int32_t number,
                                          MailBuffer& subject, MailBuffer& from, MailBuffer& date,
                                          MailBuffer& header, MailBuffer& body, std::int32_t flag,
                                          std::int32_t reserved) = 0;
    // The text of the last failure, NUL-terminated and cut to `capacity` bytes (NUL included).
    virtual std::int32_t NMailGetMessage(std::int32_t id, MailBuffer& buffer,
                                         std::int32_t& capacity) = 0;
    virtual std::int32_t NMailPop3Close(std::int32_t handle) = 0;
};

} // namespace pelmora::platform
