#include "platform/adapters/dbus/SystemBusConnectivity.h"

#include <QDBusConnection>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {
// NM_STATE_CONNECTED_SITE: from here on the network may reach a mail server (global and site
// connectivity both count; a local-only link does not).
constexpr uint kNetworkConnectedSite = 60;
} // namespace

SystemBusConnectivity::SystemBusConnectivity(QString busAddress)
    : m_busAddress(std::move(busAddress)),
      m_connectionName(u"pelmora-connectivity-%1"_s.arg(quintptr(this), 0, 16))
{
}

SystemBusConnectivity::~SystemBusConnectivity()
{
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

void SystemBusConnectivity::setListener(std::function<void()> backOnline)
{
    m_backOnline = std::move(backOnline);
    if (m_subscribed || !m_backOnline)
        return;
    m_subscribed = true;
    QDBusConnection bus = m_busAddress.isEmpty()
        ? QDBusConnection::systemBus()
        : QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    if (!bus.isConnected())
        return;
    // Signals only: nothing is asked, so nothing is ever waited for.
    bus.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, this,
                SLOT(onPrepareForSleep(bool)));
    bus.connect(u"org.freedesktop.NetworkManager"_s, u"/org/freedesktop/NetworkManager"_s,
                u"org.freedesktop.NetworkManager"_s, u"StateChanged"_s, this,
                SLOT(onNetworkStateChanged(uint)));
}

void SystemBusConnectivity::onPrepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        tell();
}

void SystemBusConnectivity::onNetworkStateChanged(uint state)
{
    const bool online = state >= kNetworkConnectedSite;
    const bool cameBack = online && !m_online;
    m_online = online;
    if (cameBack)
        tell();
}

void SystemBusConnectivity::tell()
{
    if (m_backOnline)
        m_backOnline();
}

} // namespace pelmora::platform
