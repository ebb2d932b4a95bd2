#include "platform/VbTimer.h"

#include <algorithm>
#include <cmath>

namespace pelmora::platform {

int TimerPace::periodFor(int intervalMs) const
{
    if (!(speedUp > 0) || speedUp == 1.0)
        return intervalMs;
    return std::max(1, int(std::lround(double(intervalMs) / speedUp)));
}

VbTimer::VbTimer(int intervalMs, std::function<void()> onTick, QObject* parent, TimerPace pace)
    : QObject(parent), m_onTick(std::move(onTick)), m_interval(intervalMs), m_pace(pace)
{
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &VbTimer::tick);
    update();
}

void VbTimer::setInterval(int intervalMs)
{
    if (intervalMs == m_interval)
        return;
    m_interval = intervalMs;
    update();
}

void VbTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    update();
}

void VbTimer::setHandler(std::function<void()> onTick)
{
    m_onTick = std::move(onTick);
}

void VbTimer::restart()
{
    update();
}

void VbTimer::tick()
{
    if (m_onTick)
        m_onTick();
    Q_EMIT ticked();
}

void VbTimer::rest()
{
    if (m_resting)
        return;
    m_resting = true;
    m_restClock.start();
    update();
}

std::int64_t VbTimer::wake()
{
    if (!m_resting)
        return 0;
    m_resting = false;
    const std::int64_t missed =
        isRunning() ? m_restClock.elapsed() / m_pace.periodFor(m_interval) : 0;
    update();
    return missed;
}

void VbTimer::update()
{
    if (isRunning() && !m_resting)
        m_timer.start(m_pace.periodFor(m_interval));
    else
        m_timer.stop();
}

} // namespace pelmora::platform
