#pragma once

#include "settings/MainWindowIntervalView.h"
#include "settings/SaveFailure.h"
#include "settings/SettingsStore.h"

#include <QString>

#include <optional>

namespace pelmora::settings {

// The three values the preferences dialog "設定" edits, as the program uses them at any moment,
// whether the dialog is on screen or not. One instance, owned by the application: the dialog
// shows and edits it, the mail check and its scheduler read it.
struct Preferences {
    bool hangUpAfterCheck = false;  // hang up every dial-up connection after each check
    QString interval;               // the check interval in minutes, exactly as typed
    bool boardErasesItself = false; // the notice board closes itself after one second
};

// Interval checking as the preference rules switch it: the mail check's scheduler.
class IntervalSwitch {
public:
    virtual ~IntervalSwitch() = default;
    // On, the scheduler counts towards the next check; off, its counters stand where they are.
    virtual void setIntervalChecking(bool on) = 0;
    // The interval in the preferences has just changed (to any text, a negative one too): the
    // time counted so far was counted under the one before.
    virtual void intervalChanged() = 0;
};

// Several switches thrown together: the scheduler's counting and the watch of the mailbox.
class IntervalSwitches final : public IntervalSwitch {
public:
    IntervalSwitches(IntervalSwitch& first, IntervalSwitch& second) : m_first(first), m_second(second) {}
    void setIntervalChecking(bool on) override
    {
        m_first.setIntervalChecking(on);
        m_second.setIntervalChecking(on);
    }
    void intervalChanged() override
    {
        m_first.intervalChanged();
        m_second.intervalChanged();
    }

private:
    IntervalSwitch& m_first;
    IntervalSwitch& m_second;
};

// What loading, changing and storing the preferences does, whoever does it (start-up, the
// dialog): the interval switches the scheduler and shows on the main window, and is stored at
// once when it reads 0.
class PreferenceRules {
public:
    PreferenceRules(Preferences& preferences, const SettingsStore& store,
                    MainWindowIntervalView& mainWindow, IntervalSwitch& scheduler);

    // Reads NUMBER, NUMBER2 and NUMBER4 in this order, as a dialog created afresh shows them: a
    // flag stored as anything but 1 is off, and the interval is the stored number's decimal
    // text, which then takes effect as if typed.
    void load();
    // At start-up: as load(), but the hang-up flag is read before the others and applied after
    // them, where a stored value other than 0 or 1 leaves it as loaded.
    void loadAtStart();
    // At start-up, later: the stored interval once more; it takes effect again only if its text
    // differs from the one in use.
    void reloadStoredInterval();

    // A new interval text (typed, or set by the program). Empty reads as "0". Above 0 interval
    // checking is on, at 0 it is off and "0" is stored at once (even if the dialog is never
    // closed); a negative interval is kept but changes nothing on the main window.
    void setInterval(const QString& text);

    // Stores the three values (the dialog's close box). On success they are read back, as the
    // program uses them from then on: "5分" is stored as typed and comes back as "5".
    std::optional<SaveFailure> saveAndReload();

private:
    Preferences& m_preferences;
    const SettingsStore& m_store;
    MainWindowIntervalView& m_mainWindow;
    IntervalSwitch& m_scheduler;
};

} // namespace pelmora::settings
