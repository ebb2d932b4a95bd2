#pragma once

// A private D-Bus daemon of the test's own, and python3-dbusmock serving one of its templates on
// it (a stand-in NetworkManager, notification daemon…): the real D-Bus between the adapter under
// test and a peer whose calls are recorded. Both end with their objects.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace pelmora::tests {

// Debian's own interpreter, where python3-dbusmock lives, whatever else is first on PATH.
inline QString debianPython()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

class PrivateBus {
public:
    ~PrivateBus()
    {
        if (m_pid > 0)
            ::kill(pid_t(m_pid), SIGTERM);
    }

    // Starts the daemon: an empty text, or why it did not start.
    QString start()
    {
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--fork"),
                      QStringLiteral("--print-address=1"), QStringLiteral("--print-pid=1")});
        if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0)
            return QStringLiteral("dbus-daemon did not start (Debian package dbus-daemon): ")
                + daemon.errorString() + QString::fromLocal8Bit(daemon.readAllStandardError());
        const QStringList lines = QString::fromLocal8Bit(daemon.readAllStandardOutput())
                                      .split(u'\n', Qt::SkipEmptyParts);
        if (lines.size() < 2)
            return QStringLiteral("dbus-daemon printed no address and process id");
        address = lines[0].trimmed();
        m_pid = lines[1].trimmed().toLongLong();
        return {};
    }

    QString address;

private:
    qint64 m_pid = 0;
};

// python3-dbusmock's `templateName` on the bus at `address`, owning `service`, and the test's own
// connection to that bus (named `connectionName`).
class DbusMock {
public:
    DbusMock(QString address, QString service, QString connectionName = QStringLiteral("test"))
        : m_address(std::move(address)), m_service(std::move(service)),
          m_connectionName(std::move(connectionName))
    {
    }
    ~DbusMock()
    {
        m_mock.terminate();
        if (!m_mock.waitForFinished(5000))
            m_mock.kill();
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    // Starts the template with its JSON `parameters` (empty: its defaults): an empty text, or why
    // it did not start.
    QString start(const QString& templateName, const QString& parameters = {})
    {
        QStringList arguments{QStringLiteral("--template"), templateName};
        if (!parameters.isEmpty())
            arguments << QStringLiteral("--parameters") << parameters;
        return run(arguments, templateName);
    }
    // Starts a bare object at `path` with `interface` (no template), for a service whose signals
    // alone matter.
    QString startObject(const QString& path, const QString& interface)
    {
        return run({m_service, path, interface}, interface);
    }

private:
    QString run(const QStringList& what, const QString& templateName)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_mock.setProcessEnvironment(environment);
        const QStringList arguments = QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                                  QStringLiteral("--session"), QStringLiteral("-l"),
                                                  callLog()}
            + what;
        m_mock.start(debianPython(), arguments);
        QDBusConnection connection = QDBusConnection::connectToBus(m_address, m_connectionName);
        if (!connection.isConnected())
            return QStringLiteral("cannot reach the private bus");
        QDeadlineTimer deadline(15000);
        while (!connection.interface()->isServiceRegistered(m_service).value()) {
            if (deadline.hasExpired() || m_mock.state() == QProcess::NotRunning)
                return QStringLiteral("python3-dbusmock's %1 did not start (Debian package "
                                      "python3-dbusmock): ").arg(templateName)
                    + QString::fromLocal8Bit(m_mock.readAllStandardError());
            QTest::qWait(50);
        }
        return {};
    }

public:
    QDBusConnection bus() const { return QDBusConnection(m_connectionName); }
    // The file where dbusmock writes every call it took, one a line.
    QString callLog() const { return m_dir.filePath(QStringLiteral("calls.log")); }

    QVariantList call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus().call(message);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << "dbusmock:" << method << reply.errorMessage();
        return reply.arguments();
    }
    // A call of dbusmock's own interface on the object at `path`.
    QVariantList mock(const QString& path, const QString& method, const QVariantList& arguments)
    {
        return call(path, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
    }

private:
    QString m_address;
    QString m_service;
    QString m_connectionName;
    QTemporaryDir m_dir;
    QProcess m_mock;
};

// The freedesktop notification daemon as python3-dbusmock plays it.
inline const QString kNotificationService = QStringLiteral("org.freedesktop.Notifications");
inline const QString kNotificationPath = QStringLiteral("/org/freedesktop/Notifications");

// A Notify call as the daemon received it.
struct Shown {
    QString app;
    uint replaces = 0;
    QString summary;
    QString body;
    QStringList actions;
};

inline QList<Shown> shown(DbusMock& daemon)
{
    const QDBusArgument calls =
        daemon.mock(kNotificationPath, QStringLiteral("GetMethodCalls"), {QStringLiteral("Notify")}).value(0).value<QDBusArgument>();
    QList<Shown> list;
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 time = 0;
        QVariantList arguments;
        calls.beginStructure();
        calls >> time;
        calls.beginArray();
        while (!calls.atEnd()) {
            QDBusVariant argument;
            calls >> argument;
            arguments.append(argument.variant());
        }
        calls.endArray();
        calls.endStructure();
        list.append({arguments.value(0).toString(), arguments.value(1).toUInt(),
                     arguments.value(3).toString(), arguments.value(4).toString(),
                     qdbus_cast<QStringList>(arguments.value(5))});
    }
    calls.endArray();
    return list;
}

inline void click(DbusMock& daemon, uint id)
{
    daemon.mock(kNotificationPath, QStringLiteral("EmitSignal"),
                {kNotificationService, QStringLiteral("ActionInvoked"), QStringLiteral("us"), QVariantList{id, QStringLiteral("default")}});
}

// A private bus with the notification daemon on it, offering `capabilities` (empty: the
// template's own, which include body-markup).
struct NotificationDesktop {
    PrivateBus bus;
    std::unique_ptr<DbusMock> daemon;
    QString start(const QString& capabilities = {})
    {
        if (QString problem = bus.start(); !problem.isEmpty())
            return problem;
        daemon = std::make_unique<DbusMock>(bus.address, kNotificationService);
        return daemon->start(QStringLiteral("notification_daemon"),
                             capabilities.isEmpty()
                                 ? QString()
                                 : QStringLiteral("{\"capabilities\": \"%1\"}").arg(capabilities));
    }
};

} // namespace pelmora::tests

// Fails under CI, and skips elsewhere, when a peer could not be started.
#define PELMORA_REQUIRE_PEER(why)                                                                  \
    do {                                                                                           \
        const QString problem = (why);                                                             \
        if (!problem.isEmpty()) {                                                                  \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable(problem));                                                        \
            QSKIP(qPrintable(problem));                                                            \
        }                                                                                          \
    } while (false)
