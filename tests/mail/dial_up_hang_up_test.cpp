// Hanging up dial-up connections through NetworkManager: the real adapter against a stand-in
// NetworkManager (python3-dbusmock's template) on a private D-Bus that the test starts and stops.

#include "app/Application.h"

#include "mail/DialUpHangUp.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/adapters/dbus/NetworkManagerRemoteAccess.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/servers/DbusMock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>


using namespace Qt::StringLiterals;
using namespace pelmora;
using platform::NetworkManagerRemoteAccess;
using platform::RemoteAccess;

namespace {

const QString kService = u"org.freedesktop.NetworkManager"_s;
const QString kManager = u"/org/freedesktop/NetworkManager"_s;
const QString kMock = u"org.freedesktop.DBus.Mock"_s;
using ConnectionSettings = QMap<QString, QVariantMap>;

// The stand-in NetworkManager on the private bus, and the test's own connection to that bus.
class MockNetworkManager : public tests::DbusMock {
public:
    explicit MockNetworkManager(const QString& address) : DbusMock(address, kService) {}

    QString start() { return DbusMock::start(u"networkmanager"_s); }
    QVariantList mock(const QString& method, const QVariantList& arguments)
    {
        return DbusMock::mock(u"/org/freedesktop"_s, method, arguments);
    }

    // A device of a NetworkManager device type (1 Ethernet, 5 Bluetooth, 8 modem).
    QString addDevice(const QString& name, uint deviceType)
    {
        const QString path = mock(u"AddEthernetDevice"_s, {name, name, 100}).value(0).toString();
        mock(u"SetProperty"_s, {path, u"org.freedesktop.NetworkManager.Device"_s,
                                u"DeviceType"_s,
                                QVariant::fromValue(QDBusVariant(QVariant::fromValue(deviceType)))});
        return path;
    }

    // A connection of `type` (with its settings) active on `device`; answers its active path.
    QString activate(const QString& device, const QString& id, const QString& type,
                     const ConnectionSettings& more = {})
    {
        ConnectionSettings settings = more;
        settings[u"connection"_s] = QVariantMap{{u"id"_s, id}, {u"type"_s, type}};
        const auto connection =
            call(u"/org/freedesktop/NetworkManager/Settings"_s,
                 u"org.freedesktop.NetworkManager.Settings"_s, u"AddConnection"_s,
                 {QVariant::fromValue(settings)})
                .value(0)
                .value<QDBusObjectPath>();
        return mock(u"AddActiveConnection"_s,
                    {QStringList{device}, connection.path(), u"/"_s, id, 2u})
            .value(0)
            .toString();
    }

    QStringList activeConnections()
    {
        const auto reply = call(kManager, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                                {kService, u"ActiveConnections"_s});
        QStringList paths;
        const auto value = qvariant_cast<QDBusVariant>(reply.value(0)).variant();
        for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(value))
            paths << path.path();
        return paths;
    }

    // The connections NetworkManager was asked to deactivate, in order (refused ones too).
    QStringList deactivated() const
    {
        QFile log(callLog());
        QStringList paths;
        if (!log.open(QIODevice::ReadOnly))
            return paths;
        for (const QString& line : QString::fromUtf8(log.readAll()).split(u'\n')) {
            const auto at = line.indexOf(u" DeactivateConnection \""_s);
            if (at >= 0)
                paths << line.mid(at + 23).chopped(1);
        }
        return paths;
    }
};

// A desktop with a wired network, a mobile modem link, a Bluetooth personal network and a
// Bluetooth dial-up link, activated in that order.
struct Desktop {
    explicit Desktop(MockNetworkManager& nm)
    {
        const QString eth0 = nm.addDevice(u"eth0"_s, 1);
        const QString modem = nm.addDevice(u"ttyUSB0"_s, 8);
        const QString phone = nm.addDevice(u"phone"_s, 5);
        wired = nm.activate(eth0, u"Wired"_s, u"802-3-ethernet"_s);
        mobile = nm.activate(modem, u"Mobile"_s, u"gsm"_s);
        personal = nm.activate(phone, u"PAN"_s, u"bluetooth"_s,
                               {{u"bluetooth"_s, QVariantMap{{u"type"_s, u"panu"_s}}}});
        dialUp = nm.activate(phone, u"DUN"_s, u"bluetooth"_s,
                             {{u"bluetooth"_s, QVariantMap{{u"type"_s, u"dun"_s}}}});
    }
    QString wired, mobile, personal, dialUp;
};

} // namespace

class DialUpHangUpTest : public QObject {
    Q_OBJECT

    tests::PrivateBus m_bus;
    std::unique_ptr<MockNetworkManager> m_nm;

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<ConnectionSettings>();
        PELMORA_REQUIRE_PEER(m_bus.start());
    }

    void init()
    {
        m_nm = std::make_unique<MockNetworkManager>(m_bus.address);
        PELMORA_REQUIRE_PEER(m_nm->start());
    }

    void cleanup() { m_nm.reset(); }

    void dialUpConnectionsEndInOrderOthersStay()
    {
        const Desktop desktop(*m_nm);
        NetworkManagerRemoteAccess remoteAccess(m_bus.address);

        // Two dial-up connections do not fit a table of one: nothing to hang up from that.
        std::vector<platform::RasConnection> small(1);
        std::uint32_t size = RemoteAccess::kRecordSize, count = 0;
        QCOMPARE(remoteAccess.rasEnumConnections(small, size, count),
                 NetworkManagerRemoteAccess::kBufferTooSmall);
        QCOMPARE(count, 2u);
        QCOMPARE(remoteAccess.rasHangUp(small[0].handle), NetworkManagerRemoteAccess::kInvalidHandle);

        mail::DialUpHangUp(remoteAccess).hangUp();
        QCOMPARE(m_nm->deactivated(), (QStringList{desktop.mobile, desktop.dialUp}));
        QCOMPARE(m_nm->activeConnections(), (QStringList{desktop.wired, desktop.personal}));
    }

    void aRefusedHangUpDoesNotStopTheNext()
    {
        const Desktop desktop(*m_nm);
        m_nm->call(kManager, kMock, u"AddMethod"_s,
                   {kService, u"DeactivateConnection"_s, u"o"_s, QString(),
                    u"if args[0] == '%1':\n"
                    "    raise dbus.exceptions.DBusException('not allowed', "
                    "name='org.freedesktop.NetworkManager.PermissionDenied')\n"
                    "self.deactivate_connection(self, args[0])"_s.arg(desktop.mobile)});
        NetworkManagerRemoteAccess remoteAccess(m_bus.address);
        mail::DialUpHangUp(remoteAccess).hangUp();
        QCOMPARE(m_nm->deactivated(), (QStringList{desktop.mobile, desktop.dialUp}));
        QCOMPARE(m_nm->activeConnections(),
                 (QStringList{desktop.wired, desktop.mobile, desktop.personal}));
    }

    void withoutNetworkManagerNothingHappens()
    {
        m_nm.reset(); // the bus stays, NetworkManager leaves it
        const auto probe = QDBusConnection::connectToBus(m_bus.address, u"probe"_s);
        QTRY_VERIFY(!probe.interface()->isServiceRegistered(kService).value());
        QDBusConnection::disconnectFromBus(u"probe"_s);
        for (const QString& address : {m_bus.address, u"unix:path=/nonexistent/bus"_s}) {
            NetworkManagerRemoteAccess remoteAccess(address);
            std::vector<platform::RasConnection> table(256);
            std::uint32_t size = 256 * RemoteAccess::kRecordSize, count = 99;
            QCOMPARE(remoteAccess.rasEnumConnections(table, size, count), RemoteAccess::kSuccess);
            QCOMPARE(count, 0u);
            mail::DialUpHangUp(remoteAccess).hangUp();
        }
    }

    // A check whose server cannot be reached still ends with the hang-up, if the preferences
    // ask for it, and only then.
    void checkHangsUpOnlyWhenAsked()
    {
        const Desktop desktop(*m_nm);
        NetworkManagerRemoteAccess remoteAccess(m_bus.address);
        fakes::FakePlatform fake(fakes::FakePlatform::DataFolder::Present,
                                 fakes::FakePlatform::Replacements().with(remoteAccess));
        fake.storeServerAndAccount();
        fake.mailbox.host = u"elsewhere.example"_s; // the stored server does not answer
        app::Application app(fake.services());
        app.start();
        auto& preferences = app.forms().get<settings::PreferencesDialog>();

        preferences.setHangsUpAfterCheck(false);
        app.mainWindow().checkNow();
        QCOMPARE(m_nm->deactivated(), QStringList());

        preferences.setHangsUpAfterCheck(true);
        app.mainWindow().checkNow();
        QCOMPARE(fake.log.withPrefix(u"mail: logIn"_s), QStringList());
        QCOMPARE(m_nm->deactivated(), (QStringList{desktop.mobile, desktop.dialUp}));
    }
};

QTEST_MAIN(DialUpHangUpTest)
#include "dial_up_hang_up_test.moc"
