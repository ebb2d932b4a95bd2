#pragma once

// Adapters that do nothing and answer with each call's failure value. The program is wired with
// them wherever the platform offers no such service (and until a real adapter exists), so every
// caller still runs its documented failure path: no sound device.

#include "platform/ports/Multimedia.h"

namespace pelmora::platform {

class NullMultimedia final : public Multimedia {
public:
    // MCIERR_DEVICE_NOT_INSTALLED: there is no device to act on.
    static constexpr std::uint32_t kNoDevice = 306;
    std::uint32_t mciSendString(const QString& command, QString* reply,
                                std::uint32_t replyCapacity) override;
};

} // namespace pelmora::platform
