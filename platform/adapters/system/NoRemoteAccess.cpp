#include "platform/adapters/system/NoRemoteAccess.h"

namespace pelmora::platform {

std::uint32_t NoRemoteAccess::rasEnumConnections(std::span<RasConnection>, std::uint32_t&,
                                                 std::uint32_t& count)
{
    count = 0;
    return kSuccess;
}

std::uint32_t NoRemoteAccess::rasHangUp(std::uint32_t)
{
    return kInvalidHandle;
}

} // namespace pelmora::platform
