#include "platform/adapters/NullAdapters.h"

namespace pelmora::platform {

std::uint32_t NullRemoteAccess::rasEnumConnections(std::span<RasConnection>, std::uint32_t&,
                                                   std::uint32_t& count)
{
    count = 0;
    return kUnavailable;
}
std::uint32_t NullRemoteAccess::rasHangUp(std::uint32_t) { return kUnavailable; }

} // namespace pelmora::platform
