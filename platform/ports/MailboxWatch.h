#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace pelmora::platform {

// A connection kept open to the mail server, over which the server tells of new mail the moment
// it arrives (IMAP's IDLE). It ends when it is destroyed; once it has said Lost or Unsupported
// it says nothing more, and a new watch is needed to try again.
class MailboxWatch {
public:
    enum class Health : std::uint8_t {
        Watching,    // logged in: the server tells of new mail as it comes
        Lost,        // the connection could not be made, or it failed or ended (see the text)
        Unsupported, // logged in, but the server cannot tell of new mail as it comes
    };
    struct Listener {
        // A message has come into the mailbox, or one has become unread: a check would tell.
        std::function<void()> mailArrived;
        std::function<void(Health, const QString& why)> healthChanged;
    };

    virtual ~MailboxWatch() = default;
};

} // namespace pelmora::platform
