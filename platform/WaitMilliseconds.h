#pragma once

#include "platform/ports/TickCounter.h"

#include <cstdint>

namespace pelmora::platform {

// Waits until the tick counter says that more than `ms` milliseconds have passed, dispatching
// window events all the while: timers, clicks and repaints run inside the wait. Pending events are
// dispatched at least once, also for 0 or a negative `ms`. Between events the thread sleeps on the
// event queue, so a wait costs no processor time. Elapsed time is the wrapping difference of two
// 32-bit tick values, so a wait across the counter's wrap takes as long as any other.
void WaitMilliseconds(TickCounter& ticks, std::int32_t ms);

} // namespace pelmora::platform
