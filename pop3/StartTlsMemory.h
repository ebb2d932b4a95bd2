#pragma once

#include "pop3/ServerAddress.h"

#include <QString>

#include <cstdint>
#include <set>
#include <utility>

namespace pelmora::pop3 {

// The servers that offered STLS on their plain port while the program runs, by host (letter
// case ignored) and port. A later session to one of them that is not offered STLS must not send
// the password in plain text: someone on the path may have removed STLS from the reply.
class StartTlsMemory {
public:
    void remember(const ServerAddress& address) { m_servers.insert(key(address)); }
    bool offeredBefore(const ServerAddress& address) const
    {
        return m_servers.contains(key(address));
    }

private:
    static std::pair<QString, std::uint16_t> key(const ServerAddress& address)
    {
        return {address.host.toCaseFolded(), address.port};
    }

    std::set<std::pair<QString, std::uint16_t>> m_servers;
};

} // namespace pelmora::pop3
