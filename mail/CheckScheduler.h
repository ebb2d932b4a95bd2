#pragma once

#include "settings/Preferences.h"

#include <QString>

namespace pelmora::mail {

// The mail check as the scheduler sees it. The application implements it over the main window
// and the check.
class CheckRoutine {
public:
    virtual ~CheckRoutine() = default;
    // Whether a check, started from anywhere (the scheduler, the menu), has not finished yet.
    virtual bool isRunning() const = 0;
    // The main window's routine that runs one check; it returns when the check has finished.
    virtual void Picture7_Click() = 0;
};

// Starts a mail check every so many minutes: the interval as typed into the preferences, read
// afresh at every tick. There is no countdown: a one-second tick (Timer3) counts seconds and
// minutes up in two texts, and a 100 ms poll (Timer1) starts a check when the minute count
// equals the interval. The counters are the scheduler's own; they start at every program start
// and are never stored.
//
// The counting is the program's own and is kept as it is: the second count runs 0 to 60, so a
// minute lasts 61 ticks; the tick resets the minute count at the interval rounded to a whole
// number (a half to the even neighbour), while the poll compares with the interval unrounded, so
// an interval such as 1.5 never starts a check; a count that has passed a lowered interval never
// meets it again.
class CheckScheduler {
public:
    CheckScheduler(const settings::Preferences& preferences, CheckRoutine& check);

    // The one-second tick. An interval beyond the range of a 32-bit integer leaves the counters
    // as they are.
    void Timer3_Timer();
    // The poll. It starts one check per interval: once it has started a check at a minute count,
    // it starts no other until the count changes. While a check runs it starts none.
    void Timer1_Timer();

    // The counters, as decimal texts. Before the first tick they hold their names, which read
    // as 0.
    QString Text1() const { return m_text1; } // minutes since the last check
    QString Text4() const { return m_text4; } // seconds within the current minute

private:
    void setMinutes(const QString& text);

    const settings::Preferences& m_preferences;
    CheckRoutine& m_check;
    QString m_text1 = QStringLiteral("Text1");
    QString m_text4 = QStringLiteral("Text4");
    bool m_checkStartedAtThisCount = false;
};

} // namespace pelmora::mail
