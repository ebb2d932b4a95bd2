// Window timers: an interval of 0 or a disabled timer does not fire; either change brings it back.

#include "app/VbTimer.h"

#include <QTest>

using pelmora::app::VbTimer;

class VbTimerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firesOnlyWhileEnabledWithAnInterval()
    {
        int ticks = 0;
        VbTimer timer(0, [&] { ++ticks; });
        QTest::qWait(60);
        QCOMPARE(ticks, 0); // interval 0: stopped, though enabled
        QVERIFY(timer.isEnabled() && !timer.isRunning());

        timer.setInterval(10);
        QTRY_VERIFY(ticks >= 2);

        timer.setEnabled(false);
        const int atStop = ticks;
        QTest::qWait(60);
        QCOMPARE(ticks, atStop);
        QCOMPARE(timer.interval(), 10);

        timer.setEnabled(true);
        QTRY_VERIFY(ticks > atStop);
    }

    void aTimerWithoutHandlerKeepsItsStateUntilWired()
    {
        VbTimer timer(10, nullptr);
        QVERIFY(timer.isRunning());
        int ticks = 0;
        timer.setHandler([&] { ++ticks; });
        QTRY_VERIFY(ticks >= 1);
    }
};

QTEST_GUILESS_MAIN(VbTimerTest)
#include "vb_timer_test.moc"
