#pragma once

#include "platform/ports/ConnectivityEvents.h"

#include <QObject>

#include <cstdint>

namespace pelmora::platform {

// Sleep and the network as the system bus tells them: logind's PrepareForSleep(false) when the
// computer has woken, NetworkManager's StateChanged when the network has come back (the state
// rising to "connected" from below it). Without a system bus, or without either service, nothing
// is ever told.
class SystemBusConnectivity final : public QObject, public ConnectivityEvents {
    Q_OBJECT
public:
    // `busAddress` empty: the system bus. Tests pass the address of a private bus with stand-ins.
    explicit SystemBusConnectivity(QString busAddress = {});
    ~SystemBusConnectivity() override;

    void setListener(std::function<void()> backOnline) override;

private Q_SLOTS:
    void onPrepareForSleep(bool goingToSleep);
    void onNetworkStateChanged(uint state);

private:
    void tell();

    QString m_busAddress;
    QString m_connectionName;
    std::function<void()> m_backOnline;
    bool m_subscribed = false;
    bool m_online = true; // as NetworkManager last said; assumed until it says otherwise
};

} // namespace pelmora::platform
