// When the program watches the mailbox and what it does with what the watch tells: the rules of
// NewMailWatcher against the fake mailbox's watch (the exact order of calls, pauses and checks is
// what a real server cannot be made to show).

#include "mail/NewMailWatcher.h"

#include "tests/fakes/FakePorts.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using Health = platform::MailboxWatch::Health;

namespace {

constexpr std::chrono::milliseconds kFirstPause{100};

struct CountedCheck final : mail::ScheduledCheck {
    bool isRunning() const override { return running; }
    void run() override { ++runs; }
    bool running = false;
    int runs = 0;
};

struct Watcher {
    explicit Watcher(QString serverName = u"imap://mail.example"_s) : server(std::move(serverName))
    {
        mailbox.watchable = server.startsWith(u"imap"_s);
        watcher.setIntervalChecking(true);
    }
    fakes::CallLog log;
    fakes::FakeMailbox mailbox{log};
    CountedCheck check;
    fakes::FakeConnectivityEvents connectivity;
    settings::Preferences preferences;
    QString server;
    int secrets = 0;
    int loginsRead = 0;
    QList<bool> health;
    mail::NewMailWatcher watcher{
        {mailbox, check, connectivity, [this] { return server; },
         [this](bool withSecret) -> std::optional<mail::MailboxLogin> {
             ++loginsRead;
             if (server.isEmpty())
                 return std::nullopt;
             return mail::MailboxLogin{server, {u"taro"_s, withSecret ? u"token%1"_s.arg(++secrets) : QString(),
                                                platform::LoginMethod::BearerToken}};
         },
         [this](bool healthy) { health.append(healthy); }},
        preferences, kFirstPause};
};

} // namespace

class NewMailWatcherTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Watching while interval checking is on; news runs a check, later (never inside the watch's
    // own call), and waits for a check that is running to end.
    void newsRunsACheck()
    {
        Watcher w;
        QCOMPARE(w.mailbox.watched, QStringList{u"imap://mail.example token1"_s});
        w.mailbox.tellWatch(Health::Watching);
        QVERIFY(w.watcher.isWatching());
        w.mailbox.watchListener.mailArrived();
        QCOMPARE(w.check.runs, 0);
        QTRY_COMPARE(w.check.runs, 1);

        w.check.running = true;
        w.mailbox.watchListener.mailArrived();
        QTest::qWait(300);
        QCOMPARE(w.check.runs, 1);
        w.check.running = false;
        QTRY_COMPARE(w.check.runs, 2);
        // A check's end with the same account changes nothing (the token is not asked again).
        w.watcher.reconsider();
        QCOMPARE(w.mailbox.watched.size(), 1);
    }

    // No watch with interval checking off, with the hang-up on, without an account, or after
    // the program's end; each drops the watch there was.
    void noWatchWhereItMustNotBe()
    {
        Watcher w;
        QCOMPARE(w.mailbox.openWatches, 1);
        w.watcher.setIntervalChecking(false);
        QCOMPARE(w.mailbox.openWatches, 0);
        w.watcher.setIntervalChecking(true);
        QCOMPARE(w.mailbox.openWatches, 1);
        w.preferences.hangUpAfterCheck = true;
        w.watcher.reconsider();
        QCOMPARE(w.mailbox.openWatches, 0);
        w.preferences.hangUpAfterCheck = false;
        w.server.clear();
        w.watcher.reconsider();
        QCOMPARE(w.mailbox.openWatches, 0);
        w.server = u"imap://mail.example"_s;
        w.watcher.reconsider();
        QCOMPARE(w.mailbox.openWatches, 1);
        w.watcher.stop();
        QCOMPARE(w.mailbox.openWatches, 0);
        w.watcher.reconsider();
        w.connectivity.comeBackOnline();
        QCOMPARE(w.mailbox.openWatches, 0);
    }

    // A server that cannot be watched (POP3, or IMAP without IDLE) is not tried again for the
    // same account; another account is.
    void unwatchableServers()
    {
        Watcher pop3(u"pop.example"_s);
        pop3.watcher.reconsider();
        QCOMPARE(pop3.mailbox.watched.size(), 0);
        QCOMPARE(pop3.loginsRead, 0); // nor is the account read for it

        Watcher noIdle;
        noIdle.mailbox.tellWatch(Health::Unsupported);
        QTRY_COMPARE(noIdle.mailbox.openWatches, 0);
        noIdle.watcher.reconsider();
        noIdle.connectivity.comeBackOnline();
        QCOMPARE(noIdle.mailbox.watched.size(), 1);
        QCOMPARE(noIdle.check.runs, 0);
        noIdle.server = u"imap://other.example"_s;
        noIdle.watcher.reconsider();
        QCOMPARE(noIdle.mailbox.watched.size(), 2);
    }

    // A lost connection: the lamp is told, a new watch follows after a pause that doubles, and a
    // check once it watches again. Waking makes it again at once.
    void lostConnections()
    {
        Watcher w;
        w.mailbox.tellWatch(Health::Watching);
        w.mailbox.tellWatch(Health::Lost);
        QCOMPARE(w.health, (QList<bool>{true, false}));
        QTRY_COMPARE(w.mailbox.openWatches, 0); // the lost watch goes after its call
        QElapsedTimer pause;
        pause.start();
        QTRY_COMPARE(w.mailbox.watched.size(), 2);
        const qint64 first = pause.elapsed();
        w.mailbox.tellWatch(Health::Lost);
        pause.restart();
        QTRY_COMPARE(w.mailbox.watched.size(), 3);
        // (A timer may fire a little early, never 10 % early.)
        QVERIFY2(pause.elapsed() >= 2 * kFirstPause.count() * 9 / 10,
                 qPrintable(u"%1 ms, then %2 ms"_s.arg(first).arg(pause.elapsed())));
        QCOMPARE(w.check.runs, 0);
        w.mailbox.tellWatch(Health::Watching);
        QCOMPARE(w.health.last(), true);
        QTRY_COMPARE(w.check.runs, 1);

        w.connectivity.comeBackOnline();
        QCOMPARE(w.mailbox.watched.size(), 4);
        QCOMPARE(w.mailbox.openWatches, 1);
        w.mailbox.tellWatch(Health::Watching);
        QTRY_COMPARE(w.check.runs, 2);
    }
};

QTEST_MAIN(NewMailWatcherTest)
#include "new_mail_watcher_test.moc"
