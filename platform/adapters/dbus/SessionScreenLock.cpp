#include "platform/adapters/dbus/SessionScreenLock.h"

#include <QDBusConnection>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

SessionScreenLock::SessionScreenLock(QString busAddress)
    : m_busAddress(std::move(busAddress)),
      m_connectionName(u"pelmora-screen-lock-%1"_s.arg(quintptr(this), 0, 16))
{
}

SessionScreenLock::~SessionScreenLock()
{
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

void SessionScreenLock::setListener(std::function<void(bool locked)> changed)
{
    m_changed = std::move(changed);
    if (m_subscribed || !m_changed)
        return;
    m_subscribed = true;
    QDBusConnection bus = m_busAddress.isEmpty()
        ? QDBusConnection::sessionBus()
        : QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    if (!bus.isConnected())
        return;
    // From whoever sends it: the screen saver's well-known name is owned by the desktop's shell.
    bus.connect(QString(), u"/org/freedesktop/ScreenSaver"_s, u"org.freedesktop.ScreenSaver"_s,
                u"ActiveChanged"_s, this, SLOT(onActiveChanged(bool)));
    bus.connect(QString(), u"/org/gnome/ScreenSaver"_s, u"org.gnome.ScreenSaver"_s,
                u"ActiveChanged"_s, this, SLOT(onActiveChanged(bool)));
}

void SessionScreenLock::onActiveChanged(bool active)
{
    if (m_changed)
        m_changed(active);
}

} // namespace pelmora::platform
