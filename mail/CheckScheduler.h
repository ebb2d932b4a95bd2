#pragma once

#include "mail/IntervalCount.h"

#include "settings/Preferences.h"

#include "platform/VbTimer.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace pelmora::mail {

// The mail check as the scheduler sees it (MailCheck).
class ScheduledCheck {
public:
    virtual ~ScheduledCheck() = default;
    // Whether a check, started from anywhere (the scheduler, the menu), has not finished yet.
    virtual bool isRunning() const = 0;
    // Runs one check; returns when it has finished.
    virtual void run() = 0;
};

// Starts a mail check every so many minutes: the interval as typed into the preferences. There is
// no countdown: a one-second tick counts seconds and minutes up, and a poll starts a check when
// the minute count equals the interval. The counters are the scheduler's own; they start at every
// program start and are never stored. The preference rules switch the counting on and off.
//
// The counting is the program's own and is kept as it is (IntervalCount): the second count runs
// 0 to 60, so a minute lasts 61 ticks; the tick resets the minute count at the interval rounded
// to a whole number (a half to the even neighbour), while the poll compares with the interval
// unrounded, so an interval such as 1.5 never starts a check; a count that has passed a lowered
// interval never meets it again.
//
// Nothing ticks for it, so an idle program sleeps: the counters follow the clock, the ticks that
// have fallen due since the counting was switched on are counted when the counters are needed
// (asked for, the interval changed, the counting switched), and one timer wakes the program at
// the tick where the next check falls due, where the poll looks at once. A check that falls due
// while another one runs is looked for again every 100 ms until it starts or the next tick moves
// the count on, as the poll did. Ticks the program could not take in time (its event loop held
// up) are made up, but never beyond a check that is due and not yet looked at: the ticks falling
// due meanwhile are dropped, as a late timer drops them.
class CheckScheduler final : public settings::IntervalSwitch {
public:
    static constexpr int kSecondTickMs = 1000;
    static constexpr int kPollMs = 100;

    CheckScheduler(const settings::Preferences& preferences, ScheduledCheck& check,
                   platform::TimerPace pace = {});

    // settings::IntervalSwitch: the counting runs while interval checking is on.
    void setIntervalChecking(bool on) override;
    void intervalChanged() override;
    // The program ends: no check is started again and nothing wakes it.
    void stop();

    // Whether the one-second tick counts (interval checking on).
    bool isCounting() const { return m_counting && !m_stopped; }

    // The tick and the poll by hand, besides the clock's: tests count seconds with them. The poll
    // starts one check per interval: once it has started a check at a minute count, it starts no
    // other until the count changes. While a check runs it starts none.
    void onSecondTick();
    void onPoll();

    // The counters as of now, as decimal texts; 0 before the first tick.
    QString minutes() const; // minutes since the last check
    QString seconds() const; // seconds within the current minute

    // The scheduler's only timer: running while a check will fall due, due at that moment.
    const QTimer& dueTimer() const { return m_dueTimer; }

private:
    // The interval the counting follows: the preferences' as of the last change.
    std::optional<std::int32_t> resetAt() const;
    // Whether the count stands where the poll starts a check: at the interval, unrounded, not
    // yet started there.
    bool isDue(const IntervalCount& count) const;
    // Ticks until the count next stands at the interval; none if it never does.
    std::optional<std::int64_t> ticksUntilDue(const IntervalCount& count) const;
    // How many of the clock's ticks to count now (stopping at a check not yet looked at), and
    // how many of them fell due.
    struct Pending {
        std::int64_t counted = 0;
        std::int64_t fallenDue = 0;
    };
    Pending pendingTicks() const;
    IntervalCount countNow() const;
    void catchUp();
    // Arms the timer for the next moment the poll has something to look at.
    void arm();
    void onDueTimer();
    std::int64_t tickPeriodMs() const;

    const settings::Preferences& m_preferences;
    ScheduledCheck& m_check;
    platform::TimerPace m_pace;
    QString m_interval;
    IntervalCount m_count;
    bool m_counting = false;
    bool m_stopped = false;
    QElapsedTimer m_clock;          // since the counting was last switched on
    std::int64_t m_clockTicks = 0;  // the clock's ticks counted (or dropped) so far
    // The minute count (IntervalCount::minuteChanges) at which a check was started, and at which
    // the poll last looked at a due check.
    std::optional<std::uint64_t> m_startedAt;
    std::optional<std::uint64_t> m_lookedAt;
    QTimer m_dueTimer;
};

} // namespace pelmora::mail
