#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pelmora::platform {

// One active dial-up connection as the enumeration reports it.
struct RasConnection {
    std::uint32_t size = 0;   // record size; the caller sets it in entry 0 before enumerating
    std::uint32_t handle = 0; // what the hang-up takes
    std::string entryName;
};

// The remote-access interface (RasEnumConnectionsA, RasHangUpA).
class RemoteAccess {
public:
    static constexpr std::uint32_t kSuccess = 0;
    static constexpr std::uint32_t kRecordSize = 412;

    virtual ~RemoteAccess() = default;
    // Fills the table and `count`; answers 0 on success, an error number otherwise.
    virtual std::uint32_t rasEnumConnections(std::span<RasConnection> table,
                                             std::uint32_t& bufferSize, std::uint32_t& count) = 0;
    virtual std::uint32_t rasHangUp(std::uint32_t handle) = 0;
};

} // namespace pelmora::platform
