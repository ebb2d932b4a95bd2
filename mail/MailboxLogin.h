#pragma once

#include "platform/ports/Mailbox.h"

#include <QString>

namespace pelmora::mail {

// The server and account a check logs in with.
struct MailboxLogin {
    QString server;
    platform::MailboxCredentials credentials;
};

} // namespace pelmora::mail
