// Window timers: an interval of 0 or a disabled timer does not fire; either change brings it back.

#include "platform/VbTimer.h"

#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::VbTimer;

class VbTimerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firesOnlyWhileEnabledWithAnInterval()
    {
        int ticks = 0;
        VbTimer timer(0, [&] { ++ticks; });
        QTest::qWait(60);
        QCOMPARE(ticks, 0); // interval 0: stopped, though enabled

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

    // A resting timer stays quiet whatever is changed meanwhile, and on waking answers for the
    // ticks that fell due, counted only while it would have been running.
    void restsQuietlyAndCountsWhatItMissed()
    {
        int ticks = 0;
        VbTimer timer(10, [&] { ++ticks; });
        timer.rest();
        timer.setInterval(20);
        timer.setEnabled(false);
        timer.setEnabled(true);
        timer.restart();
        QTest::qWait(120);
        QCOMPARE(ticks, 0);
        const auto missed = timer.wake();
        QVERIFY2(missed >= 120 / 20, qPrintable(QString::number(missed)));
        QTRY_VERIFY(ticks > 0);
        QCOMPARE(timer.wake(), 0); // not resting: nothing to answer for

        timer.setEnabled(false);
        timer.rest();
        QTest::qWait(60);
        QCOMPARE(timer.wake(), 0); // a stopped timer misses nothing
        QVERIFY(!timer.isRunning() && !timer.isResting());
    }

    // Others watch a timer through ticked(), which comes after the handler has done its work.
    void announcesEachTickAfterItsHandler()
    {
        QStringList order;
        VbTimer timer(10, [&] { order << u"handler"_s; });
        QObject::connect(&timer, &VbTimer::ticked, [&] { order << u"ticked"_s; });
        QTRY_VERIFY(order.size() >= 4);
        QCOMPARE(order.mid(0, 4), (QStringList{u"handler"_s, u"ticked"_s, u"handler"_s, u"ticked"_s}));
    }
};

QTEST_GUILESS_MAIN(VbTimerTest)
#include "vb_timer_test.moc"
