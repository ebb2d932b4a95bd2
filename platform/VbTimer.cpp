#include "platform/VbTimer.h"

namespace pelmora::platform {

VbTimer::VbTimer(int intervalMs, std::function<void()> onTick, QObject* parent)
    : QObject(parent), m_onTick(std::move(onTick)), m_interval(intervalMs)
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

void VbTimer::update()
{
    if (isRunning())
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

} // namespace pelmora::platform
