// The real program (offscreen) watches an IMAP mailbox on a real Dovecot while interval checking
// is on: mail delivered to the Maildir is announced as soon as Dovecot tells of it, not at the
// next interval; the messages' flags stay as they were. A connection dropped under the watch is
// made again and followed by a check; so is one that went quiet over the computer's sleep (logind
// and NetworkManager played by python3-dbusmock on a private system bus). Each case logs the time
// from the delivery to the notice board.

#include "alert/forms/NoticeBoard.h"
#include "mail/NewMailWatcher.h"
#include "platform/adapters/dbus/SystemBusConnectivity.h"

#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DbusMock.h"
#include "tests/servers/DovecotInfo.h"
#include "tests/servers/Maildir.h"
#include "tests/servers/Relay.h"
#include "tests/servers/ScriptedImapServer.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::DovecotInfo;

namespace {

DovecotInfo g_info;
int g_delivered = 0;

// The program, checking every 5 minutes (no interval check comes during a test), with the
// account of the fixture's watched mailbox on `port`.
struct WatchingProgram : tests::CheckingProgram {
    explicit WatchingProgram(quint16 port, fakes::FakePlatform::Replacements real = {})
        : CheckingProgram("POP3=imap://127.0.0.1:" + QByteArray::number(port) + "\r\nAPOP=0\r\n",
                          tests::savedAccount(g_info[u"IDLE_USER"_s], g_info[u"PASSWORD"_s]),
                          pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)}, real,
                          "[EXEINI]\r\nNUMBER2=5\r\n")
    {
    }
    bool waitUntilWatching()
    {
        return QTest::qWaitFor([this] { return app.mailWatcher().isWatching(); }, 10000);
    }
    QString boardCount() { return board() ? board()->count() : QString(); }
};

QString maildir() { return g_info[u"IDLE_MAILDIR"_s]; }

// Delivers one more message, and answers the number of messages the mailbox then holds unread
// (none of them is ever read).
QString deliverOne()
{
    ++g_delivered;
    tests::deliver(maildir(), u"19000000%1.M%1P7.pelmora"_s.arg(g_delivered),
                   "taro@pelmora.test", "Watched " + QByteArray::number(g_delivered));
    return QString::number(g_delivered);
}

// Waits (up to `seconds`) for the board to show `count`; logs how long it took from `since`.
bool boardShows(WatchingProgram& program, const QString& count, const char* since, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    const bool shown = QTest::qWaitFor([&] { return program.boardCount() == count; }, seconds * 1000);
    qInfo("from %s to the board: %lld ms", since, static_cast<long long>(timer.elapsed()));
    return shown;
}

} // namespace

class ImapIdleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        g_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(g_info);
        if (g_info[u"IMAP_PORT"_s].isEmpty())
            QSKIP("the Dovecot fixture serves no IMAP (Debian package dovecot-imapd)");
        qputenv("SSL_CERT_FILE", g_info[u"CA_CERT"_s].toUtf8());
    }

    void newMailIsAnnouncedAsItArrives()
    {
        WatchingProgram program(quint16(g_info[u"IMAP_PORT"_s].toUInt()));
        QVERIFY(program.waitUntilWatching());
        QVERIFY(!program.board());

        const QString count = deliverOne();
        const QStringList flags = tests::messagesAndSeenFlags(maildir());
        QVERIFY(boardShows(program, count, "the delivery, idling", 5));
        QCOMPARE(program.alertsStarted, 1);
        QVERIFY2(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty(),
                 qPrintable(program.fake.log.withPrefix(u"MsgBox"_s).join(u'\n')));
        // The watch and the check read; neither marks anything.
        QCOMPARE(tests::messagesAndSeenFlags(maildir()), flags);
        QVERIFY(program.app.mailWatcher().isWatching());
    }

    // The server drops the watching connection (as when it restarts): the program connects again
    // after its pause and checks, and mail that came meanwhile is announced.
    void aDroppedConnectionIsMadeAgain()
    {
        tests::Relay relay(quint16(g_info[u"IMAP_PORT"_s].toUInt()));
        WatchingProgram program(relay.port());
        QVERIFY(program.waitUntilWatching());
        relay.cutOpenSessions();
        QTRY_VERIFY(!program.app.mailWatcher().isWatching());
        const QString count = deliverOne();
        QVERIFY(boardShows(program, count, "the delivery, the connection dropped", 15));
        QVERIFY(program.waitUntilWatching());
        // And the new connection watches.
        program.board()->unload();
        const QString next = deliverOne();
        QVERIFY(boardShows(program, next, "the delivery, idling again", 5));
    }

    // A server without IDLE is not watched; the interval's checks find its mail. (The program's
    // timers run 60 times faster: the first check of a one-minute interval comes within seconds.)
    void withoutIdleTheIntervalChecks()
    {
        tests::ScriptedImapServer server("* OK [CAPABILITY IMAP4rev1] ready\r\n");
        tests::CheckingProgram program(
            "POP3=" + server.name().toUtf8() + "\r\nAPOP=0\r\n",
            tests::savedAccount(u"taro"_s, u"pw"_s),
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)},
            fakes::FakePlatform::Replacements().with(platform::TimerPace{60}),
            "[EXEINI]\r\nNUMBER2=1\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(program.board() && program.board()->count() == u"2"_s, 15000);
        QVERIFY(!program.app.mailWatcher().isWatching());
        QVERIFY(!server.commands().join('\n').contains("IDLE"));
    }

    // Over the computer's sleep, or while the network was gone, the watching connection went
    // quiet without either side knowing. Waking, or the network's return, makes it again at once.
    void wakingOrTheNetworkReturningMakesItAgain_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("templateName");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<QString>("signature");
        QTest::addColumn<QVariantList>("before");
        QTest::addColumn<QVariantList>("after");
        QTest::newRow("waking") << u"org.freedesktop.login1"_s << u"logind"_s
                                << u"/org/freedesktop/login1"_s << u"org.freedesktop.login1.Manager"_s
                                << u"PrepareForSleep"_s << u"b"_s << QVariantList{true}
                                << QVariantList{false};
        // NetworkManager's states: 20 disconnected, 70 connected with full connectivity.
        QTest::newRow("network") << u"org.freedesktop.NetworkManager"_s << u"networkmanager"_s
                                 << u"/org/freedesktop/NetworkManager"_s
                                 << u"org.freedesktop.NetworkManager"_s << u"StateChanged"_s
                                 << u"u"_s << QVariantList{20u} << QVariantList{70u};
    }
    void wakingOrTheNetworkReturningMakesItAgain()
    {
        QFETCH(QString, service);
        QFETCH(QString, templateName);
        QFETCH(QString, path);
        QFETCH(QString, interface);
        QFETCH(QString, signal);
        QFETCH(QString, signature);
        QFETCH(QVariantList, before);
        QFETCH(QVariantList, after);

        tests::PrivateBus bus;
        if (const QString problem = bus.start(); !problem.isEmpty())
            QFAIL(qPrintable(problem));
        tests::DbusMock system(bus.address, service);
        if (const QString problem = system.start(templateName); !problem.isEmpty())
            QFAIL(qPrintable(problem));
        const auto emitSignal = [&](const QVariantList& arguments) {
            system.mock(path, u"EmitSignal"_s, {interface, signal, signature, arguments});
        };

        platform::SystemBusConnectivity connectivity(bus.address);
        tests::Relay relay(quint16(g_info[u"IMAP_PORT"_s].toUInt()));
        WatchingProgram program(relay.port(), fakes::FakePlatform::Replacements().with(connectivity));
        QVERIFY(program.waitUntilWatching());

        emitSignal(before);
        relay.silenceOpenSessions();
        const QString count = deliverOne();
        QTest::qWait(1500); // longer than Dovecot takes to tell of it: nothing gets through
        QVERIFY(!program.board());
        emitSignal(after);
        QVERIFY(boardShows(program, count, qPrintable(u"the signal of "_s + templateName), 5));
        QVERIFY(program.waitUntilWatching());
    }
};

QTEST_MAIN(ImapIdleTest)
#include "IdleTest.moc"
