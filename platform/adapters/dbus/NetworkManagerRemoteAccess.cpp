#include "platform/adapters/dbus/NetworkManagerRemoteAccess.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <optional>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"org.freedesktop.NetworkManager"_s;
const QString kManagerPath = u"/org/freedesktop/NetworkManager"_s;
const QString kManagerInterface = u"org.freedesktop.NetworkManager"_s;
const QString kActiveInterface = u"org.freedesktop.NetworkManager.Connection.Active"_s;
const QString kDeviceInterface = u"org.freedesktop.NetworkManager.Device"_s;
const QString kSettingsInterface = u"org.freedesktop.NetworkManager.Settings.Connection"_s;
const QString kProperties = u"org.freedesktop.DBus.Properties"_s;

// NetworkManager answers in milliseconds; a hung one must not hold the program for long.
constexpr int kCallTimeoutMs = 5000;

// NMDeviceType values of the devices that carry dial-up links.
constexpr uint kDeviceTypeModem = 8;
constexpr uint kDeviceTypePpp = 23;

using ConnectionSettings = QMap<QString, QVariantMap>;

// Calls a NetworkManager method and answers its reply's arguments, or nothing on any failure.
// Window events keep being dispatched while it waits.
std::optional<QVariantList> call(const QDBusConnection& bus, const QString& path,
                                 const QString& interface, const QString& method,
                                 const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus.call(message, QDBus::BlockWithGui, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply.arguments();
}

std::optional<QVariant> property(const QDBusConnection& bus, const QString& path,
                                 const QString& interface, const QString& name)
{
    const auto reply = call(bus, path, kProperties, u"Get"_s, {interface, name});
    if (!reply || reply->isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply->first()).variant();
}

QList<QDBusObjectPath> objectPaths(const QVariant& value)
{
    return qdbus_cast<QList<QDBusObjectPath>>(value);
}

} // namespace

NetworkManagerRemoteAccess::NetworkManagerRemoteAccess(QString busAddress)
    : m_busAddress(std::move(busAddress)),
      m_connectionName(u"pelmora-remote-access-%1"_s.arg(quintptr(this), 0, 16))
{
}

NetworkManagerRemoteAccess::~NetworkManagerRemoteAccess()
{
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

QDBusConnection NetworkManagerRemoteAccess::bus() const
{
    if (m_busAddress.isEmpty())
        return QDBusConnection::systemBus();
    QDBusConnection existing(m_connectionName);
    if (existing.isConnected())
        return existing;
    // A connection that failed before stays registered under its name: drop it and try again.
    QDBusConnection::disconnectFromBus(m_connectionName);
    return QDBusConnection::connectToBus(m_busAddress, m_connectionName);
}

bool NetworkManagerRemoteAccess::isDialUp(const QDBusConnection& bus,
                                          const QVariantMap& active) const
{
    const QString type = active.value(u"Type"_s).toString();
    if (type == u"gsm"_s || type == u"cdma"_s || type == u"pppoe"_s)
        return true;
    if (type == u"bluetooth"_s) {
        // Bluetooth is dial-up only as dial-up networking ("dun"), not as a personal network.
        const QString path =
            qvariant_cast<QDBusObjectPath>(active.value(u"Connection"_s)).path();
        const auto reply = call(bus, path, kSettingsInterface, u"GetSettings"_s);
        if (!reply || reply->isEmpty())
            return false;
        const auto settings = qdbus_cast<ConnectionSettings>(reply->first());
        if (settings.value(u"bluetooth"_s).value(u"type"_s).toString() == u"dun"_s)
            return true;
    }
    for (const QDBusObjectPath& device : objectPaths(active.value(u"Devices"_s))) {
        const auto deviceType = property(bus, device.path(), kDeviceInterface, u"DeviceType"_s);
        if (deviceType && (deviceType->toUInt() == kDeviceTypeModem ||
                           deviceType->toUInt() == kDeviceTypePpp))
            return true;
    }
    return false;
}

std::uint32_t NetworkManagerRemoteAccess::rasEnumConnections(std::span<RasConnection> table,
                                                             std::uint32_t& bufferSize,
                                                             std::uint32_t& count)
{
    count = 0;
    m_handles.clear();
    const QDBusConnection connection = bus();
    // No bus, or no NetworkManager on it: this desktop has no dial-up connection to end. Asking
    // whether the name is taken first keeps the bus from starting NetworkManager for us.
    if (!connection.isConnected() || !connection.interface() ||
        !connection.interface()->isServiceRegistered(kService).value())
        return kSuccess;

    const auto activePaths = property(connection, kManagerPath, kManagerInterface,
                                      u"ActiveConnections"_s);
    if (!activePaths)
        return kNoConnection;

    std::uint32_t found = 0;
    for (const QDBusObjectPath& path : objectPaths(*activePaths)) {
        const auto reply = call(connection, path.path(), kProperties, u"GetAll"_s,
                                {kActiveInterface});
        if (!reply || reply->isEmpty())
            continue; // gone meanwhile
        const auto active = qdbus_cast<QVariantMap>(reply->first());
        if (!isDialUp(connection, active))
            continue;
        if (found < table.size()) {
            const std::uint32_t handle = m_nextHandle++;
            if (m_nextHandle == 0)
                m_nextHandle = 1;
            m_handles[handle] = path.path();
            table[found].size = kRecordSize;
            table[found].handle = handle;
            table[found].entryName = active.value(u"Id"_s).toString().toStdString();
        }
        ++found;
    }
    if (found > table.size()) {
        // As the Windows call does: the size the table would need, and nothing to hang up.
        m_handles.clear();
        bufferSize = found * kRecordSize;
        count = found;
        return kBufferTooSmall;
    }
    count = found;
    return kSuccess;
}

std::uint32_t NetworkManagerRemoteAccess::rasHangUp(std::uint32_t handle)
{
    const auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return kInvalidHandle;
    const QString path = it->second;
    m_handles.erase(it);
    const QDBusConnection connection = bus();
    if (!connection.isConnected())
        return kNoConnection;
    const auto reply = call(connection, kManagerPath, kManagerInterface,
                            u"DeactivateConnection"_s,
                            {QVariant::fromValue(QDBusObjectPath(path))});
    return reply ? kSuccess : kNoConnection;
}

} // namespace pelmora::platform
