// Hanging up dial-up connections through NetworkManager: the real adapter against a stand-in
// NetworkManager (python3-dbusmock's template) on a private D-Bus that the test starts and stops.

#include "app/Application.h"

#include "mail/DialUpHangUp.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/adapters/dbus/NetworkManagerRemoteAccess.h"

#include "tests/fakes/FakePlatform.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace pelmora;
using platform::NetworkManagerRemoteAccess;
using platform::RemoteAccess;

namespace {

const QString kService = u"org.freedesktop.NetworkManager"_s;
const QString kManager = u"/org/freedesktop/NetworkManager"_s;
const QString kMock = u"org.freedesktop.DBus.Mock"_s;
using ConnectionSettings = QMap<QString, QVariantMap>;

#define REQUIRE_SERVICE(ok, why)                                                                   \
    do {                                                                                           \
        if (!(ok)) {                                                                               \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable(why));                                                            \
            QSKIP(qPrintable(why));                                                                \
        }                                                                                          \
    } while (false)

QString python()
{
    // Debian's own interpreter, where python3-dbusmock lives, whatever else is first on PATH.
    return QFile::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
}

// A D-Bus daemon of the test's own; it ends with the object.
class PrivateBus {
public:
    ~PrivateBus()
    {
        if (m_pid > 0)
            ::kill(pid_t(m_pid), SIGTERM);
    }

    QString start()
    {
        QProcess daemon;
        daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--fork"_s, u"--print-address=1"_s,
                                        u"--print-pid=1"_s});
        if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0)
            return u"dbus-daemon did not start (Debian package dbus-daemon): "_s +
                   daemon.errorString() + QString::fromLocal8Bit(daemon.readAllStandardError());
        const QStringList lines =
            QString::fromLocal8Bit(daemon.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        if (lines.size() < 2)
            return u"dbus-daemon printed no address and process id"_s;
        address = lines[0].trimmed();
        m_pid = lines[1].trimmed().toLongLong();
        return {};
    }

    QString address;

private:
    qint64 m_pid = 0;
};

// The stand-in NetworkManager on the private bus, and the test's own connection to that bus.
class MockNetworkManager {
public:
    explicit MockNetworkManager(const QString& address) : m_address(address) {}
    ~MockNetworkManager()
    {
        m_mock.terminate();
        if (!m_mock.waitForFinished(5000))
            m_mock.kill();
        QDBusConnection::disconnectFromBus(u"test"_s);
    }

    QString start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_address);
        m_mock.setProcessEnvironment(environment);
        m_mock.start(python(), {u"-m"_s, u"dbusmock"_s, u"--template"_s, u"networkmanager"_s,
                                u"--session"_s, u"-l"_s, m_dir.filePath(u"calls.log"_s)});
        QDBusConnection bus = QDBusConnection::connectToBus(m_address, u"test"_s);
        if (!bus.isConnected())
            return u"cannot reach the private bus"_s;
        QDeadlineTimer deadline(15000);
        while (!bus.interface()->isServiceRegistered(kService).value()) {
            if (deadline.hasExpired() || m_mock.state() == QProcess::NotRunning)
                return u"the stand-in NetworkManager did not start (Debian package "
                       "python3-dbusmock): "_s +
                       QString::fromLocal8Bit(m_mock.readAllStandardError());
            QTest::qWait(50);
        }
        return {};
    }

    QDBusConnection bus() const { return QDBusConnection(u"test"_s); }

    QVariantList call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus().call(message);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << "stand-in NetworkManager:" << method << reply.errorMessage();
        return reply.arguments();
    }
    QVariantList mock(const QString& method, const QVariantList& arguments)
    {
        return call(u"/org/freedesktop"_s, kMock, method, arguments);
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
        QFile log(m_dir.filePath(u"calls.log"_s));
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

private:
    QString m_address;
    QTemporaryDir m_dir;
    QProcess m_mock;
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

    PrivateBus m_bus;
    std::unique_ptr<MockNetworkManager> m_nm;

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<ConnectionSettings>();
        const QString why = m_bus.start();
        REQUIRE_SERVICE(why.isEmpty(), why);
    }

    void init()
    {
        m_nm = std::make_unique<MockNetworkManager>(m_bus.address);
        const QString why = m_nm->start();
        REQUIRE_SERVICE(why.isEmpty(), why);
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
