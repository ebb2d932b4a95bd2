#pragma once

#include "alert/AlertWindowView.h"

#include <QString>
#include <QTimer>

namespace pelmora::alert {

// The lamp at the left end of the bottom strip. While interval checking is on it blinks: each
// tick of the lamp timer shows green, and two seconds later red, which then stays for a whole
// timer period before the next tick turns it green again. The two seconds are a timer of their
// own, not a wait: the program sleeps through them. While interval checking is off it is green.
// The pictures are loaded from the program folder on every tick; a file that cannot be read leaves
// the picture as it was.
class StatusLamp {
public:
    StatusLamp(QString programFolder, LampWindowView& window);

    // A tick that falls due during a green blink does nothing, and so does a tick while the
    // window is hidden or minimised: nobody would see the lamp.
    void onLampTick();
    // The connection that watches the mailbox is down (being made again): while it is, the lamp
    // stays red instead of blinking green.
    void setConnectionLost(bool lost) { m_connectionLost = lost; }

private:
    void show(const char16_t* literal);
    void endGreen();

    QString m_programFolder;
    LampWindowView& m_window;
    QTimer m_greenTimer;
    bool m_connectionLost = false;
};

} // namespace pelmora::alert
