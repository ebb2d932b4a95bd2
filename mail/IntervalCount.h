#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pelmora::mail {

// The scheduler's two counters and the program's own way of counting them, one second's tick at
// a time or many at once. The second count runs 0 to 60, so a minute lasts 61 ticks; a tick first
// starts the minute count again when it stands at the interval rounded to a whole number (a half
// to the even neighbour), then counts the second. An interval beyond a 32-bit integer leaves the
// counters as they are.
class IntervalCount {
public:
    static constexpr std::int64_t kTicksPerMinute = 61;

    // Where the tick starts the minute count again for this interval as typed; none when the
    // tick leaves the counters as they are.
    static std::optional<std::int32_t> resetAt(const QString& interval);

    // One second's tick, and `ticks` of them at once (as many single ticks would count them).
    void tick(std::optional<std::int32_t> resetAt);
    void advance(std::int64_t ticks, std::optional<std::int32_t> resetAt);

    // The ticks until the minute count next becomes `resetAt` (above 0) when the tick resets it
    // there; none if it never does (the count has passed it).
    std::optional<std::int64_t> ticksUntilMinutesReach(std::int32_t resetAt) const;

    std::int64_t minutes() const { return m_minutes; } // minutes since the last reset
    int seconds() const { return m_seconds; }          // seconds within the current minute
    // Grows whenever the minute count changes (also when it comes back to the same number): a
    // value taken at one count is unequal once the count has moved on.
    std::uint64_t minuteChanges() const { return m_minuteChanges; }

private:
    void setMinutes(std::int64_t minutes);

    std::int64_t m_minutes = 0;
    int m_seconds = 0;
    std::uint64_t m_minuteChanges = 0;
};

} // namespace pelmora::mail
