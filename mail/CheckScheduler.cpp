#include "mail/CheckScheduler.h"

#include "settings/TextValue.h"

#include <algorithm>

namespace pelmora::mail {

using settings::TextValue;

namespace {
// A check due further away than this wakes the program once on the way, to look again.
constexpr std::int64_t kLongestWaitMs = 24 * 60 * 60 * 1000;
} // namespace

CheckScheduler::CheckScheduler(const settings::Preferences& preferences, ScheduledCheck& check,
                               platform::TimerPace pace)
    : m_preferences(preferences), m_check(check), m_pace(pace), m_interval(preferences.interval)
{
    m_dueTimer.setSingleShot(true);
    // One wake-up at the moment the check falls due, not one rounded to a coarse boundary.
    m_dueTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_dueTimer, &QTimer::timeout, [this] { onDueTimer(); });
}

void CheckScheduler::setIntervalChecking(bool on)
{
    if (m_stopped || on == m_counting)
        return;
    catchUp();
    m_counting = on;
    if (on) {
        m_clock.start();
        m_clockTicks = 0;
    }
    arm();
}

void CheckScheduler::intervalChanged()
{
    // The time passed so far was counted under the interval in use until now.
    catchUp();
    m_interval = m_preferences.interval;
    m_lookedAt.reset();
    arm();
}

void CheckScheduler::stop()
{
    catchUp();
    m_stopped = true;
    m_dueTimer.stop();
}

void CheckScheduler::onSecondTick()
{
    catchUp();
    m_count.tick(resetAt());
    arm();
}

void CheckScheduler::onPoll()
{
    catchUp();
    if (isDue(m_count)) {
        m_lookedAt = m_count.minuteChanges();
        if (!m_check.isRunning()) {
            m_startedAt = m_count.minuteChanges();
            arm(); // the counting goes on while the check runs
            m_check.run();
            catchUp();
        }
    }
    arm();
}

void CheckScheduler::onDueTimer()
{
    onPoll();
}

QString CheckScheduler::minutes() const
{
    return QString::number(countNow().minutes());
}

QString CheckScheduler::seconds() const
{
    return QString::number(countNow().seconds());
}

std::optional<std::int32_t> CheckScheduler::resetAt() const
{
    return IntervalCount::resetAt(m_interval);
}

bool CheckScheduler::isDue(const IntervalCount& count) const
{
    const double interval = TextValue(m_interval);
    return interval > 0 && double(count.minutes()) == interval &&
           m_startedAt != count.minuteChanges();
}

std::optional<std::int64_t> CheckScheduler::ticksUntilDue(const IntervalCount& count) const
{
    // Only a whole number of minutes is ever met, and a whole number is where the tick resets.
    const double interval = TextValue(m_interval);
    const auto reset = resetAt();
    if (!(interval > 0) || !reset || double(*reset) != interval)
        return std::nullopt;
    return count.ticksUntilMinutesReach(*reset);
}

std::int64_t CheckScheduler::tickPeriodMs() const
{
    return m_pace.periodFor(kSecondTickMs);
}

CheckScheduler::Pending CheckScheduler::pendingTicks() const
{
    if (!isCounting())
        return {};
    const std::int64_t fallenDue = m_clock.elapsed() / tickPeriodMs() - m_clockTicks;
    if (fallenDue <= 0)
        return {};
    if (isDue(m_count) && m_lookedAt != m_count.minuteChanges())
        return {0, fallenDue}; // the poll looks at this count first
    const auto untilDue = ticksUntilDue(m_count);
    return {untilDue ? std::min(fallenDue, *untilDue) : fallenDue, fallenDue};
}

IntervalCount CheckScheduler::countNow() const
{
    IntervalCount count = m_count;
    count.advance(pendingTicks().counted, resetAt());
    return count;
}

void CheckScheduler::catchUp()
{
    const Pending pending = pendingTicks();
    m_count.advance(pending.counted, resetAt());
    m_clockTicks += pending.counted;
    // Held at a due check the poll has not looked at: the ticks beyond it are dropped.
    if (pending.counted < pending.fallenDue)
        m_clockTicks += pending.fallenDue - pending.counted;
}

void CheckScheduler::arm()
{
    if (m_stopped) {
        m_dueTimer.stop();
        return;
    }
    if (isDue(m_count)) {
        // Not looked at yet: at once. Looked at while another check ran: again a poll later.
        const bool looked = m_lookedAt == m_count.minuteChanges();
        m_dueTimer.start(looked ? m_pace.periodFor(kPollMs) : 0);
        return;
    }
    const auto ticks = isCounting() ? ticksUntilDue(m_count) : std::nullopt;
    if (!ticks) {
        m_dueTimer.stop();
        return;
    }
    const std::int64_t dueAt = (m_clockTicks + *ticks) * tickPeriodMs();
    m_dueTimer.start(int(std::clamp<std::int64_t>(dueAt - m_clock.elapsed(), 0, kLongestWaitMs)));
}

} // namespace pelmora::mail
