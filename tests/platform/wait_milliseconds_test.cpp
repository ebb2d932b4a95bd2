// The millisecond wait: how long it waits by the tick counter, that events run inside it, and
// that it sleeps rather than spins.

#include "platform/WaitMilliseconds.h"
#include "platform/adapters/system/SteadyTickCounter.h"

#include "tests/fakes/FakePorts.h"

#include <QTest>
#include <QTimer>

using pelmora::platform::WaitMilliseconds;
using pelmora::fakes::FakeTickCounter;

class WaitMillisecondsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void zeroAndNegativeDispatchPendingEventsOnce();
    void returnsOnlyAfterMoreThanTheGivenTime_data();
    void returnsOnlyAfterMoreThanTheGivenTime();
    void timersRunInsideTheWait();
    void sleepsBetweenEventsInsteadOfSpinning();
    void endsWithTheProgramsOwnTickCounter();
};

namespace {
std::int64_t elapsedByCounter(const FakeTickCounter& ticks)
{
    const auto& values = ticks.answered();
    return std::int64_t(std::uint32_t(values.last() - values.first()));
}
} // namespace

void WaitMillisecondsTest::zeroAndNegativeDispatchPendingEventsOnce()
{
    for (int ms : {0, -5}) {
        FakeTickCounter ticks;
        ticks.setValue(1000); // the counter stands still: only the first pass may run
        int ran = 0;
        QTimer::singleShot(0, this, [&] { ++ran; });
        // With ms 0 the wait goes on until the counter moves; move it from inside the event.
        QTimer::singleShot(0, this, [&] { ticks.setValue(1001); });
        WaitMilliseconds(ticks, ms);
        QCOMPARE(ran, 1);
        QVERIFY(elapsedByCounter(ticks) > ms);
    }
}

void WaitMillisecondsTest::returnsOnlyAfterMoreThanTheGivenTime_data()
{
    QTest::addColumn<std::uint32_t>("start");
    QTest::addColumn<int>("ms");
    QTest::newRow("ordinary") << std::uint32_t(5'000'000) << 150;
    QTest::newRow("across the 32-bit wrap") << std::uint32_t(0xFFFFFFFFu - 60) << 150;
    QTest::newRow("starting at the wrap") << std::uint32_t(0xFFFFFFFFu) << 40;
}

void WaitMillisecondsTest::returnsOnlyAfterMoreThanTheGivenTime()
{
    QFETCH(std::uint32_t, start);
    QFETCH(int, ms);
    FakeTickCounter ticks;
    ticks.runFrom(start);
    WaitMilliseconds(ticks, ms);
    const std::int64_t waited = elapsedByCounter(ticks);
    QVERIFY2(waited > ms, qPrintable(QString::number(waited)));
    // A counter that wrapped must not look like a wait of 49 days or a negative one.
    QVERIFY2(waited < ms + 5000, qPrintable(QString::number(waited)));
}

void WaitMillisecondsTest::timersRunInsideTheWait()
{
    FakeTickCounter ticks;
    ticks.runFrom(0);
    int ticksSeen = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] { ++ticksSeen; });
    timer.start(20);
    WaitMilliseconds(ticks, 200);
    QVERIFY2(ticksSeen >= 3, qPrintable(QString::number(ticksSeen)));
}

void WaitMillisecondsTest::sleepsBetweenEventsInsteadOfSpinning()
{
    // With nothing else happening, a spinning wait reads the counter thousands of times; a wait
    // that sleeps on the event queue needs a handful of reads.
    FakeTickCounter ticks;
    ticks.runFrom(42);
    WaitMilliseconds(ticks, 300);
    QVERIFY2(ticks.answered().size() <= 10, qPrintable(QString::number(ticks.answered().size())));
}

void WaitMillisecondsTest::endsWithTheProgramsOwnTickCounter()
{
    // The counter the program waits by moves with time, or no wait would ever end.
    pelmora::platform::SteadyTickCounter ticks;
    const std::uint32_t before = ticks.timeGetTime();
    QTest::qWait(50);
    QVERIFY(ticks.timeGetTime() - before >= 50);
    WaitMilliseconds(ticks, 30);
    QVERIFY(ticks.timeGetTime() - before > 80);
}

QTEST_GUILESS_MAIN(WaitMillisecondsTest)
#include "wait_milliseconds_test.moc"
