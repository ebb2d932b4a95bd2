#pragma once

#include "platform/ports/RemoteAccess.h"

namespace pelmora::platform {

// Remote access on a desktop without a connection manager the program can ask: there is never a
// dial-up connection to hang up. The enumeration succeeds with none; a hang-up finds no handle.
class NoRemoteAccess final : public RemoteAccess {
public:
    // ERROR_INVALID_HANDLE, as for a handle no enumeration gave.
    static constexpr std::uint32_t kInvalidHandle = 6;

    std::uint32_t rasEnumConnections(std::span<RasConnection> table, std::uint32_t& bufferSize,
                                     std::uint32_t& count) override;
    std::uint32_t rasHangUp(std::uint32_t handle) override;
};

} // namespace pelmora::platform
