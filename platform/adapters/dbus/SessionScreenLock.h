#pragma once

#include "platform/ports/ScreenLock.h"

#include <QObject>
#include <QString>

namespace pelmora::platform {

// The screen's lock as the desktop tells it on the session bus: the screen saver's ActiveChanged
// signal, under its freedesktop name (KDE, Xfce, Cinnamon, MATE, …) and GNOME's. Signals only:
// nothing is ever asked, so nothing is waited for. Without a session bus nothing is told.
class SessionScreenLock final : public QObject, public ScreenLock {
    Q_OBJECT
public:
    // `busAddress` empty: the session bus. Tests pass the address of a private bus.
    explicit SessionScreenLock(QString busAddress = {});
    ~SessionScreenLock() override;

    void setListener(std::function<void(bool locked)> changed) override;

private Q_SLOTS:
    void onActiveChanged(bool active);

private:
    QString m_busAddress;
    QString m_connectionName;
    std::function<void(bool)> m_changed;
    bool m_subscribed = false;
};

} // namespace pelmora::platform
