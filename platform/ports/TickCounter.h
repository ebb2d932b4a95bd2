#pragma once

#include <cstdint>

namespace pelmora::platform {

// The system millisecond tick counter (timeGetTime): 32 bits, wrapping about every 49.7 days.
class TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual std::uint32_t timeGetTime() = 0;
};

} // namespace pelmora::platform
