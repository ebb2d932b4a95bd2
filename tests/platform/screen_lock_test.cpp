// The screen's lock heard on a private session bus, where python3-dbusmock plays the desktop's
// screen saver under its freedesktop name and under GNOME's.

#include "platform/adapters/dbus/SessionScreenLock.h"

#include "tests/servers/DbusMock.h"

#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::SessionScreenLock;
using pelmora::tests::DbusMock;
using pelmora::tests::PrivateBus;

class ScreenLockTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lockAndUnlockAreHeard_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("path");
        QTest::newRow("freedesktop") << u"org.freedesktop.ScreenSaver"_s << u"/org/freedesktop/ScreenSaver"_s;
        QTest::newRow("GNOME") << u"org.gnome.ScreenSaver"_s << u"/org/gnome/ScreenSaver"_s;
    }
    void lockAndUnlockAreHeard()
    {
        QFETCH(QString, service);
        QFETCH(QString, path);
        PrivateBus bus;
        if (const QString problem = bus.start(); !problem.isEmpty())
            QFAIL(qPrintable(problem));
        DbusMock saver(bus.address, service);
        if (const QString problem = saver.startObject(path, service); !problem.isEmpty())
            QFAIL(qPrintable(problem));

        SessionScreenLock lock(bus.address);
        QList<bool> heard;
        lock.setListener([&](bool locked) { heard.append(locked); });
        const auto emitActive = [&](bool active) {
            saver.mock(path, u"EmitSignal"_s, {service, u"ActiveChanged"_s, u"b"_s, QVariantList{active}});
        };
        emitActive(true);
        QTRY_COMPARE(heard, QList<bool>{true});
        emitActive(false);
        QTRY_COMPARE(heard, (QList<bool>{true, false}));

        lock.setListener({});
        emitActive(true);
        QTest::qWait(200);
        QCOMPARE(heard.size(), 2);
    }
};

QTEST_MAIN(ScreenLockTest)
#include "screen_lock_test.moc"
