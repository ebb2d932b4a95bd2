#include "platform/adapters/SteadyTickCounter.h"

namespace pelmora::platform {

SteadyTickCounter::SteadyTickCounter()
{
    m_clock.start();
}

std::uint32_t SteadyTickCounter::timeGetTime()
{
    // The monotonic clock's own origin (boot on Linux), so the value behaves like a system tick
    // count; the cast keeps the low 32 bits, which is the wrap.
    return static_cast<std::uint32_t>(m_clock.msecsSinceReference());
}

} // namespace pelmora::platform
