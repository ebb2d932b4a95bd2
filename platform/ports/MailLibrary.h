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
// with size + 1 spaces for a message body). The library writes into it in place, always ends what
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

    virtual ~MailLibrary() = default;

    // Start-up and shut-down. Results are informational; callers do not examine them.
    virtual std::int32_t NMailInitializeWinSock() = 0;
    virtual std::int32_t NMailSetOption(std::int32_t option, std::int32_t value) = 0;
    virtual std::int32_t NMailEndWinSock() = 0;

    // A connection handle, or kNoConnection (-1) when the server cannot be reached.
    virtual std::int32_t NMailPop3Connect(const QByteArray& server) = 0;
    // apop: -1 to log in with APOP, 0 for USER/PASS. Answers the number of messages (> 0), 0 for
    // an empty mailbox, or a negative value for a failure whose text NMailGetMessage then gives.
    virtual std::int32_t NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                               const QByteArray& password, std::int32_t apop) = 0;
    // The message calls: `number`, the size, or a negative value for a failure whose text
    // NMailGetMessage then gives; kConnectionLost when the connection is gone.
    virtual std::int32_t NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                                MailBuffer& subject, MailBuffer& from,
                                                MailBuffer& date, MailBuffer& header,
                                                std::int32_t flag) = 0;
    // The size of the message in bytes, or a negative value when it cannot be told.
    virtual std::int32_t NMailPop3GetMailSize(std::int32_t handle, std::int32_t number) = 0;
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
