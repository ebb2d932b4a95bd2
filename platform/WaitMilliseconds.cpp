#include "platform/WaitMilliseconds.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace pelmora::platform {

void WaitMilliseconds(TickCounter& ticks, std::int32_t ms)
{
    const std::uint32_t start = ticks.timeGetTime();
    // Wakes the sleeping event queue when the remaining time is up.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);

    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);

        const std::uint32_t elapsed = ticks.timeGetTime() - start; // wraps like the counter
        if (std::int64_t(elapsed) > std::int64_t(ms))
            return;

        const std::int64_t remaining = std::int64_t(ms) - std::int64_t(elapsed) + 1;
        wakeUp.start(int(std::min<std::int64_t>(remaining, std::numeric_limits<int>::max())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pelmora::platform
