#include "mail/IntervalCount.h"

#include "settings/TextValue.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelmora::mail {

namespace {
constexpr int kLastSecond = 60;
} // namespace

std::optional<std::int32_t> IntervalCount::resetAt(const QString& interval)
{
    const double rounded = std::nearbyint(settings::TextValue(interval)); // a half to even
    if (!(rounded >= double(std::numeric_limits<std::int32_t>::min()) &&
          rounded <= double(std::numeric_limits<std::int32_t>::max())))
        return std::nullopt;
    return std::int32_t(rounded);
}

void IntervalCount::setMinutes(std::int64_t minutes)
{
    if (minutes == m_minutes)
        return;
    m_minutes = minutes;
    ++m_minuteChanges;
}

void IntervalCount::tick(std::optional<std::int32_t> resetAt)
{
    if (!resetAt)
        return;
    if (m_minutes == *resetAt)
        setMinutes(0);
    if (m_seconds >= kLastSecond) {
        m_seconds = 0;
        setMinutes(m_minutes + 1);
    } else {
        ++m_seconds;
    }
}

void IntervalCount::advance(std::int64_t ticks, std::optional<std::int32_t> resetAt)
{
    if (!resetAt)
        return;
    const std::int64_t reset = *resetAt;
    while (ticks > 0) {
        if (m_minutes == reset) {
            // Standing at the reset at second 0, the count comes back to the same place every
            // `reset` minutes of 61 ticks: whole laps change nothing but the count's changes.
            const std::int64_t lap = kTicksPerMinute * reset;
            if (m_seconds == 0 && reset > 0 && ticks >= lap) {
                ticks %= lap;
                ++m_minuteChanges;
                continue;
            }
            tick(resetAt);
            --ticks;
            continue;
        }
        // Until the minute count moves on, only the seconds count.
        const std::int64_t toNextMinute = kTicksPerMinute - m_seconds;
        if (ticks < toNextMinute) {
            m_seconds += int(ticks);
            return;
        }
        ticks -= toNextMinute;
        m_seconds = 0;
        setMinutes(m_minutes + 1);
        // Then whole minutes, at most up to the reset unless the count has passed it.
        std::int64_t whole = ticks / kTicksPerMinute;
        if (m_minutes <= reset)
            whole = std::min(whole, reset - m_minutes);
        if (whole > 0) {
            setMinutes(m_minutes + whole);
            ticks -= whole * kTicksPerMinute;
        }
    }
}

std::optional<std::int64_t> IntervalCount::ticksUntilMinutesReach(std::int32_t resetAt) const
{
    if (resetAt <= 0 || m_minutes > resetAt)
        return std::nullopt;
    if (m_minutes == resetAt) {
        // The next tick starts the count again (from 0, or 1 if it also ends a minute).
        IntervalCount next = *this;
        next.tick(resetAt);
        if (next.m_minutes == resetAt)
            return 1;
        const auto rest = next.ticksUntilMinutesReach(resetAt);
        return rest ? std::optional(1 + *rest) : std::nullopt;
    }
    return (kTicksPerMinute - m_seconds) + (resetAt - m_minutes - 1) * kTicksPerMinute;
}

} // namespace pelmora::mail
