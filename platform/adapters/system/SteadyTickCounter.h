#pragma once

#include "platform/ports/TickCounter.h"

#include <QElapsedTimer>

namespace pelmora::platform {

// Milliseconds of a monotonic clock, cut to 32 bits so that they wrap like the Windows counter.
class SteadyTickCounter final : public TickCounter {
public:
    SteadyTickCounter();
    std::uint32_t timeGetTime() override;

private:
    QElapsedTimer m_clock;
};

} // namespace pelmora::platform
