#pragma once

#include "mail/MailViews.h"

#include "settings/Preferences.h"

namespace pelmora::mail {

class MailCheck;

// Starts a mail check every so many minutes: the interval typed into the preferences dialog,
// read afresh at every tick. There is no countdown: a one-second tick (Timer3) counts seconds and
// minutes up in two hidden texts of the main window, and a 100 ms poll (Timer1) starts a check
// when the minute count equals the interval.
//
// The counting is the program's own and is kept as it is: the second count runs 0 to 60, so a
// minute lasts 61 ticks; the tick resets the minute count at the interval rounded to a whole
// number (a half to the even neighbour), while the poll compares with the interval unrounded, so
// an interval such as 1.5 never starts a check; a count that has passed a lowered interval never
// meets it again.
class CheckScheduler {
public:
    CheckScheduler(SchedulerWindowView& mainWindow, const settings::Preferences& preferences,
                   const MailCheck& check);

    // The one-second tick. An interval beyond the range of a 32-bit integer leaves the counters
    // as they are.
    void Timer3_Timer();
    // The poll. It starts one check per interval: once it has started a check at a minute count,
    // it starts no other until the count changes. While a check runs it starts none.
    void Timer1_Timer();

private:
    void setMinutes(const QString& text);

    SchedulerWindowView& m_mainWindow;
    const settings::Preferences& m_preferences;
    const MailCheck& m_check;
    bool m_checkStartedAtThisCount = false;
};

} // namespace pelmora::mail
