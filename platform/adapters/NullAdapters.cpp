#include "platform/adapters/NullAdapters.h"

namespace pelmora::platform {

std::uint32_t NullMultimedia::mciSendString(const QString&, QString* reply, std::uint32_t)
{
    if (reply)
        reply->clear();
    return kNoDevice;
}

} // namespace pelmora::platform
