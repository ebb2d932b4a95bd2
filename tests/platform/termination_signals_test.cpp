// A termination signal becomes one call on the UI thread instead of killing the process.

#include "platform/adapters/system/TerminationSignals.h"

#include <QTest>

#include <csignal>

using pelmora::platform::TerminationSignals;

class TerminationSignalsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalsBecomeRequestsOnTheEventLoop()
    {
        int requests = 0;
        {
            TerminationSignals catcher([&] { ++requests; });
            QVERIFY(catcher.isActive());
            // Only one catcher at a time: a second one stands aside.
            TerminationSignals second([] {});
            QVERIFY(!second.isActive());

            ::raise(SIGTERM);
            QCOMPARE(requests, 0); // not inside the signal handler
            QTRY_COMPARE(requests, 1);
            ::raise(SIGHUP);
            QTRY_COMPARE(requests, 2);
        }
        // Afterwards the signals have their default effect again.
        struct sigaction current = {};
        ::sigaction(SIGTERM, nullptr, &current);
        QVERIFY(current.sa_handler == SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "termination_signals_test.moc"
