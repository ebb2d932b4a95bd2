#pragma once

#include "platform/ports/RemoteAccess.h"

#include <QString>
#include <QVariantMap>

#include <map>

class QDBusConnection;

namespace pelmora::platform {

// The dial-up connections of a Linux desktop: modem and PPP links that NetworkManager manages.
// The enumeration lists NetworkManager's active connections that are dial-up-like: mobile
// broadband (gsm, cdma), PPP over Ethernet (pppoe), Bluetooth dial-up networking, and any
// connection running on a modem or PPP device. Hanging one up deactivates it.
//
// Where no NetworkManager is on the bus (or no bus at all), there is nothing to hang up: the
// enumeration succeeds with no connection.
class NetworkManagerRemoteAccess final : public RemoteAccess {
public:
    // ERROR_INVALID_HANDLE: the handle came from no enumeration, or was hung up already.
    static constexpr std::uint32_t kInvalidHandle = 6;
    // ERROR_BUFFER_TOO_SMALL: more dial-up connections than the caller's table holds.
    static constexpr std::uint32_t kBufferTooSmall = 603;
    // ERROR_NO_CONNECTION: NetworkManager did not answer, or refused the request.
    static constexpr std::uint32_t kNoConnection = 668;

    // `busAddress` empty: the system bus, where NetworkManager lives. Tests pass the address of
    // a private bus with a stand-in NetworkManager.
    explicit NetworkManagerRemoteAccess(QString busAddress = {});
    ~NetworkManagerRemoteAccess() override;
    NetworkManagerRemoteAccess(const NetworkManagerRemoteAccess&) = delete;
    NetworkManagerRemoteAccess& operator=(const NetworkManagerRemoteAccess&) = delete;

    std::uint32_t rasEnumConnections(std::span<RasConnection> table, std::uint32_t& bufferSize,
                                     std::uint32_t& count) override;
    std::uint32_t rasHangUp(std::uint32_t handle) override;

private:
    QDBusConnection bus() const;
    bool isDialUp(const QDBusConnection& bus, const QVariantMap& active) const;

    QString m_busAddress;
    QString m_connectionName;
    // What the handles of the last enumeration stand for: active connection object paths.
    std::map<std::uint32_t, QString> m_handles;
    std::uint32_t m_nextHandle = 1;
};

} // namespace pelmora::platform
