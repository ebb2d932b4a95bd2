#pragma once

// Adapters that do nothing and answer with each call's failure value. The program is wired with
// them wherever the platform offers no such service (and until a real adapter exists), so every
// caller still runs its documented failure path: no remote-access service.

#include "platform/ports/RemoteAccess.h"

namespace pelmora::platform {

class NullRemoteAccess final : public RemoteAccess {
public:
    // ERROR_NOT_SUPPORTED: no remote-access service on this system.
    static constexpr std::uint32_t kUnavailable = 50;
    std::uint32_t rasEnumConnections(std::span<RasConnection> table, std::uint32_t& bufferSize,
                                     std::uint32_t& count) override;
    std::uint32_t rasHangUp(std::uint32_t handle) override;
};

} // namespace pelmora::platform
