#include "mail/DialUpHangUp.h"

#include <algorithm>
#include <vector>

namespace pelmora::mail {

using platform::RemoteAccess;

void DialUpHangUp::hangUp()
{
    std::vector<platform::RasConnection> table(kTableEntries);
    table[0].size = RemoteAccess::kRecordSize;
    std::uint32_t bufferSize = table[0].size * std::uint32_t(kTableEntries);
    std::uint32_t count = 0;
    if (m_remoteAccess.rasEnumConnections(table, bufferSize, count) != RemoteAccess::kSuccess)
        return;
    count = std::min<std::uint32_t>(count, std::uint32_t(kTableEntries));
    for (std::uint32_t i = 0; i < count; ++i)
        m_remoteAccess.rasHangUp(table[i].handle);
}

} // namespace pelmora::mail
