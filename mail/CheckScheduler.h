#pragma once

#include "settings/Preferences.h"

#include "platform/VbTimer.h"

#include <QString>

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

// Starts a mail check every so many minutes: the interval as typed into the preferences, read
// afresh at every tick. There is no countdown: a one-second tick counts seconds and minutes up in
// two texts, and a 100 ms poll starts a check when the minute count equals the interval. The
// counters are the scheduler's own; they start at every program start and are never stored. The
// preference rules switch the one-second tick on and off; the poll always runs.
//
// The counting is the program's own and is kept as it is: the second count runs 0 to 60, so a
// minute lasts 61 ticks; the tick resets the minute count at the interval rounded to a whole
// number (a half to the even neighbour), while the poll compares with the interval unrounded, so
// an interval such as 1.5 never starts a check; a count that has passed a lowered interval never
// meets it again.
class CheckScheduler final : public settings::IntervalSwitch {
public:
    static constexpr int kPollMs = 100;
    static constexpr int kSecondTickMs = 1000;

    CheckScheduler(const settings::Preferences& preferences, ScheduledCheck& check,
                   platform::TimerPace pace = {});

    // settings::IntervalSwitch: the one-second tick runs while interval checking is on.
    void setIntervalChecking(bool on) override;
    // The program ends: neither timer ticks again.
    void stop();

    // The one-second tick. An interval beyond the range of a 32-bit integer leaves the counters
    // as they are.
    void onSecondTick();
    // The poll. It starts one check per interval: once it has started a check at a minute count,
    // it starts no other until the count changes. While a check runs it starts none.
    void onPoll();

    // The counters, as decimal texts; 0 before the first tick.
    QString minutes() const { return m_minutes; } // minutes since the last check
    QString seconds() const { return m_seconds; } // seconds within the current minute

    platform::VbTimer& secondTick() { return m_secondTick; }
    platform::VbTimer& poll() { return m_poll; }

private:
    void setMinutes(const QString& text);

    const settings::Preferences& m_preferences;
    ScheduledCheck& m_check;
    QString m_minutes = QStringLiteral("0");
    QString m_seconds = QStringLiteral("0");
    bool m_checkStartedAtThisCount = false;
    platform::VbTimer m_poll;
    platform::VbTimer m_secondTick; // stopped (interval 0) until interval checking is switched on
};

} // namespace pelmora::mail
