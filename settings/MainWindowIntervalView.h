#pragma once

#include <QString>

namespace pelmora::settings {

// What the preference rules show on the main window when the interval changes: the ON/OFF label,
// the lamp's blink flag and the minutes. Implemented by app/.
class MainWindowIntervalView {
public:
    virtual ~MainWindowIntervalView() = default;
    virtual void setIntervalLabel(const QString& text) = 0; // "ON" or "OFF"
    virtual void setIntervalFlag(bool on) = 0;              // the lamp blinks while on
    virtual void setIntervalText(const QString& text) = 0;  // the minutes as typed
};

// Opens the other two settings dialogs modeless (creating them if they are not loaded).
class DialogOpener {
public:
    virtual ~DialogOpener() = default;
    virtual void showAccountDialog() = 0; // AccountDialog
    virtual void showServerDialog() = 0;  // ServerDialog
};

} // namespace pelmora::settings
