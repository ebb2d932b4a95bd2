// The scheduler's counting, tick by tick, without windows: the preferences as the dialog leaves
// them (the interval switching the one-second tick included), and a check that only counts; then
// the same counting many ticks at once, and driven by the clock. The program's own wiring is
// exercised by mail_check_rules_test and scheduled_check_test.

#include "mail/CheckScheduler.h"

#include "settings/MainWindowIntervalView.h"
#include "settings/Preferences.h"
#include "settings/SettingsStore.h"

#include "tests/fakes/FakeProgramFolder.h"

#include <QTest>

#include <functional>
#include <random>

using namespace Qt::StringLiterals;
using namespace pelmora;

namespace {

// The main window as the interval shows it: nothing the scheduler needs.
struct NoWindow final : settings::MainWindowIntervalView {
    void setIntervalLabel(const QString&) override {}
    void setIntervalFlag(bool) override {}
    void setIntervalText(const QString&) override {}
};

struct CountedChecks final : mail::ScheduledCheck {
    int started = 0;
    std::function<void()> onRun;
    bool isRunning() const override { return false; }
    void run() override
    {
        ++started;
        if (onRun)
            onRun();
    }
};

// The preferences loaded from an empty data folder, as at a first start: interval 0.
struct Scheduling {
    explicit Scheduling(platform::TimerPace timerPace = {}) : pace(timerPace) { rules.load(); }

    // One second: the one-second tick when it counts, and the ten polls.
    void second()
    {
        if (scheduler.isCounting())
            scheduler.onSecondTick();
        for (int i = 0; i < 10; ++i)
            scheduler.onPoll();
    }

    fakes::FakeProgramFolder folder;
    settings::SettingsStore store{folder.profileFiles, folder.codec, folder.programFolder()};
    settings::Preferences preferences;
    CountedChecks checks;
    platform::TimerPace pace;
    mail::CheckScheduler scheduler{preferences, checks, pace};
    NoWindow window;
    settings::PreferenceRules rules{preferences, store, window, scheduler};
};

} // namespace

class CheckSchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each step either types an interval ("=text") or lets that many seconds pass; the seconds
    // at which a scheduled check started are counted from the start.
    void scheduledChecks_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("checkSeconds");
        QTest::addColumn<QString>("countersAfter"); // minutes/seconds when given

        // A minute is 61 ticks; each time exactly one check, though the poll sees it ten times.
        QTest::newRow("1") << QStringList{u"=1"_s, u"200"_s} << QList<int>{61, 122, 183}
                           << u"0/17"_s;
        QTest::newRow("0 is off") << QStringList{u"=0"_s, u"200"_s} << QList<int>{}
                                  << u"0/0"_s;
        QTest::newRow("empty is off") << QStringList{u"="_s, u"200"_s} << QList<int>{}
                                      << u"0/0"_s;
        QTest::newRow("5分 reads as 5") << QStringList{u"=5分"_s, u"700"_s} << QList<int>{305, 610}
                                        << QString();
        // The tick resets the count at 2, the poll waits for 1.5.
        QTest::newRow("1.5 never") << QStringList{u"=1.5"_s, u"500"_s} << QList<int>{} << u"0/12"_s;
        // A half rounds to the even neighbour: the count is reset at 2, not 3.
        QTest::newRow("2.5 resets at 2") << QStringList{u"=2.5"_s, u"190"_s} << QList<int>{}
                                         << u"1/7"_s;
        QTest::newRow("negative changes nothing")
            << QStringList{u"=-3"_s, u"200"_s} << QList<int>{} << u"0/0"_s;
        // While on, a negative interval keeps the counters going; the count then has passed 1.
        QTest::newRow("negative while on, then below the count")
            << QStringList{u"=1"_s, u"30"_s, u"=-3"_s, u"200"_s, u"=1"_s, u"200"_s}
            << QList<int>{} << u"7/3"_s;
        // Count 4 never meets 3 again; raised to 10, the count reaches it in the same rhythm.
        QTest::newRow("lowered below the count, raised again")
            << QStringList{u"=5"_s, u"250"_s, u"=3"_s, u"300"_s, u"=10"_s, u"400"_s}
            << QList<int>{610} << QString();
        QTest::newRow("off and on continues the counters")
            << QStringList{u"=2"_s, u"61"_s, u"=0"_s, u"100"_s, u"=2"_s, u"61"_s}
            << QList<int>{222} << u"2/0"_s;
        QTest::newRow("too large for 32 bits leaves the counters")
            << QStringList{u"=99999999999"_s, u"100"_s} << QList<int>{} << u"0/0"_s;
        QTest::newRow("too large, then 1")
            << QStringList{u"=99999999999"_s, u"100"_s, u"=1"_s, u"61"_s} << QList<int>{161}
            << u"1/0"_s;
    }

    void scheduledChecks()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, checkSeconds);
        QFETCH(QString, countersAfter);

        Scheduling scheduling;
        QList<int> started;
        int now = 0;
        for (const QString& step : steps) {
            if (step.startsWith(u'=')) {
                scheduling.rules.setInterval(step.mid(1));
                continue;
            }
            for (int n = step.toInt(); n > 0; --n) {
                const int before = scheduling.checks.started;
                scheduling.second();
                ++now;
                for (int c = before; c < scheduling.checks.started; ++c)
                    started << now;
            }
        }
        QCOMPARE(started, checkSeconds);
        if (!countersAfter.isEmpty())
            QCOMPARE(scheduling.scheduler.minutes() + u'/' + scheduling.scheduler.seconds(),
                     countersAfter);
    }

    // Counting many ticks at once (as the clock does after a sleep) gives what as many single
    // ticks give, whatever the counters and the interval, and the ticks until the count reaches
    // the interval are the ticks single ticks take to get there.
    void manyTicksAtOnceCountAsSingleTicks()
    {
        std::mt19937 random(7);
        const auto below = [&](int n) { return int(random() % unsigned(n)); };
        for (int trial = 0; trial < 2000; ++trial) {
            mail::IntervalCount single;
            for (int warmUp = below(400); warmUp > 0; --warmUp) // somewhere, maybe past the reset
                single.tick(1 + below(3));
            const std::optional<std::int32_t> reset =
                below(10) == 0 ? std::nullopt : std::optional(below(6) - 1);
            mail::IntervalCount many = single;
            for (int chunks = 1 + below(8); chunks > 0; --chunks) {
                const int ticks = 1 + below(below(2) ? 150 : 1500);
                const auto until = reset > 0 ? many.ticksUntilMinutesReach(*reset) : std::nullopt;
                std::optional<int> reached;
                const auto singleChanges = single.minuteChanges();
                for (int t = 1; t <= ticks; ++t) {
                    const auto changes = single.minuteChanges();
                    single.tick(reset);
                    if (!reached && reset && single.minutes() == *reset &&
                        single.minuteChanges() != changes)
                        reached = t;
                }
                const auto changes = many.minuteChanges();
                many.advance(ticks, reset);
                QCOMPARE(many.minutes(), single.minutes());
                QCOMPARE(many.seconds(), single.seconds());
                // Whether the count moved on at all (a check may start again once it has).
                QCOMPARE(many.minuteChanges() != changes, single.minuteChanges() != singleChanges);
                if (reached)
                    QCOMPARE(until, std::optional<std::int64_t>(*reached));
                else if (until)
                    QVERIFY(*until > ticks);
            }
        }
    }

    // Driven by the clock (600 times faster: a minute of 61 ticks in about 0.12 s), checks start
    // at the same counts, again after each check, and follow the interval as it changes.
    void theClockStartsTheChecksWhereTheTicksWould()
    {
        Scheduling scheduling(platform::TimerPace{600});
        mail::CheckScheduler& scheduler = scheduling.scheduler;
        // The counters as a check starts: at the interval and second 0, or, should the clock
        // have gone on by a tick or two meanwhile, just after the reset that follows.
        QStringList countsAtChecks;
        scheduling.checks.onRun = [&] {
            countsAtChecks << scheduler.minutes() + u'/' + scheduler.seconds();
        };
        const auto startedAt = [&](qsizetype check, int interval) {
            const QStringList counts = countsAtChecks.value(check).split(u'/');
            return counts.size() == 2 &&
                   (counts == QStringList{QString::number(interval), u"0"_s} ||
                    (counts[0] == u"0"_s && counts[1].toInt() <= 3));
        };

        scheduling.rules.setInterval(u"2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(countsAtChecks.size(), 2, 5000);
        QVERIFY2(startedAt(0, 2) && startedAt(1, 2), qPrintable(countsAtChecks.join(u' ')));

        // Lowered below the count, it is never met: nothing is left to wake up for.
        scheduling.rules.setInterval(u"30"_s);
        QTRY_VERIFY_WITH_TIMEOUT(scheduler.minutes().toInt() >= 2, 5000);
        scheduling.rules.setInterval(u"1"_s);
        QVERIFY(!scheduler.dueTimer().isActive());
        QTest::qWait(300);
        QCOMPARE(countsAtChecks.size(), 2);
        // Raised above it, the count reaches it.
        scheduling.rules.setInterval(u"12"_s);
        QVERIFY(scheduler.dueTimer().isActive());
        QTRY_COMPARE_WITH_TIMEOUT(countsAtChecks.size(), 3, 10000);
        QVERIFY2(startedAt(2, 12), qPrintable(countsAtChecks.join(u' ')));

        // Off, the counters stand and nothing wakes; on again, they go on from there.
        scheduling.rules.setInterval(u"0"_s);
        const QString counted = scheduler.minutes() + u'/' + scheduler.seconds();
        QVERIFY(!scheduler.dueTimer().isActive());
        QTest::qWait(200);
        QCOMPARE(scheduler.minutes() + u'/' + scheduler.seconds(), counted);
    }
};

QTEST_GUILESS_MAIN(CheckSchedulerTest)
#include "check_scheduler_test.moc"
