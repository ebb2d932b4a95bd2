#pragma once

#include "platform/ports/RemoteAccess.h"

#include <cstddef>

namespace pelmora::mail {

// Hangs up every active dial-up connection of the computer, not only one this program opened,
// without asking and without waiting for the connections to close. Nothing is reported: an
// enumeration that fails (more connections than the table holds, for one) hangs up nothing, and
// a connection that cannot be hung up does not stop the others.
class DialUpHangUp {
public:
    static constexpr std::size_t kTableEntries = 256;

    explicit DialUpHangUp(platform::RemoteAccess& remoteAccess) : m_remoteAccess(remoteAccess) {}

    void hangUp();

private:
    platform::RemoteAccess& m_remoteAccess;
};

} // namespace pelmora::mail
