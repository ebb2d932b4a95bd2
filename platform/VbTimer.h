#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace pelmora::platform {

// How fast window timers run compared with the clock on the wall: a timer whose interval is N ms
// ticks every N / speedUp ms (at least every millisecond). The program runs at 1; tests speed a
// window's timers up to watch minutes of scheduling pass in seconds, the counting unchanged.
struct TimerPace {
    double speedUp = 1.0;
    int periodFor(int intervalMs) const;
};

// A window timer with the program's semantics: it runs, ticking every `interval` milliseconds,
// while it is enabled and its interval is above 0; an interval of 0 stops it without disabling it.
// Every tick calls the handler, then announces itself through ticked(). The tick can also be
// called directly, so tests drive handlers tick by tick.
class VbTimer : public QObject {
    Q_OBJECT
public:
    VbTimer(int intervalMs, std::function<void()> onTick, QObject* parent = nullptr,
            TimerPace pace = {});

    int interval() const { return m_interval; }
    void setInterval(int intervalMs);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // True while the timer runs: enabled with an interval above 0.
    bool isRunning() const { return m_enabled && m_interval > 0; }

    void setHandler(std::function<void()> onTick);
    // While running: the next tick comes a whole interval from now.
    void restart();
    void tick();

    // A resting timer does not tick, so the process can sleep, yet it keeps counting its
    // interval: wake() ends the rest and answers how many ticks fell due during it (none if it
    // was not running), for a handler that can make up for them at once. Whether the timer is
    // enabled and its interval are not touched by resting.
    void rest();
    std::int64_t wake();
    bool isResting() const { return m_resting; }

Q_SIGNALS:
    // After each tick's handler has returned.
    void ticked();

private:
    void update();

    QTimer m_timer;
    std::function<void()> m_onTick;
    int m_interval;
    TimerPace m_pace;
    bool m_enabled = true;
    bool m_resting = false;
    QElapsedTimer m_restClock;
};

} // namespace pelmora::platform
