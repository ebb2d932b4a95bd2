#include "platform/adapters/system/SteadyTickCounter.h"

namespace pelmora::platform {

SteadyTickCounter::SteadyTickCounter()
{
    m_clock.start();
}

std::uint32_t SteadyTickCounter::timeGetTime()
{
    // Counted from the monotonic clock's own origin (boot on Linux), so the value behaves like
    // a system tick count: where the clock was at start(), plus the time since. The cast keeps
    // the low 32 bits, which is the wrap.
    return static_cast<std::uint32_t>(m_clock.msecsSinceReference() + m_clock.elapsed());
}

} // namespace pelmora::platform
