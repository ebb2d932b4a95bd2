// The IMAP mailbox against servers that misbehave in ways a real Dovecot never would: an
// in-process scripted server per case. Every case ends in a defined failure with a clear text,
// within the (shortened) timeouts, without growing memory.

#include "imap/FailureText.h"
#include "imap/ImapLimits.h"
#include "pop3/FailureText.h"

#include "tests/imap/ImapCheck.h"
#include "tests/servers/ScriptedImapServer.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace pelmora;
using platform::MailboxFailure;
using tests::ImapCheck;
using tests::ScriptedImapServer;

namespace {

constexpr auto kReplyTimeout = std::chrono::milliseconds(400);
const imap::Timeouts kShortTimeouts{std::chrono::milliseconds(2000), kReplyTimeout};
const QByteArray kGreeting = "* OK [CAPABILITY IMAP4rev1] ready\r\n";

// A check against `server` up to its login: the count, or -1 with the failure in `check`.
int logIn(ImapCheck& check, const ScriptedImapServer& server)
{
    return check.login(server.name(), u"user"_s, u"pw"_s);
}

const QByteArray kIdleGreeting = "* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n";

// A watch of the mailbox on `server`, and what it told.
struct Watch {
    using Health = platform::MailboxWatch::Health;
    Watch(const ScriptedImapServer& server, std::chrono::milliseconds renewEvery = std::chrono::minutes(25))
        : mailbox(kShortTimeouts, renewEvery)
    {
        watch = mailbox.watch(server.name(), {u"user"_s, u"pw"_s},
                              {[this] { ++mailNotices; },
                               [this](Health h, const QString& text) {
                                   health.append(h);
                                   why = text;
                               }});
    }
    bool waitFor(Health h, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return health.contains(h); }, ms);
    }
    imap::ImapMailbox mailbox;
    std::unique_ptr<platform::MailboxWatch> watch;
    QList<Health> health;
    QString why;
    int mailNotices = 0;
};

} // namespace

class ImapHostileServerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Untagged responses without end: the bytes one command may take are bounded.
    void endlessUntaggedResponses()
    {
        const QByteArray chunk = QByteArray("* OK still going\r\n").repeated(4096);
        ScriptedImapServer server(kGreeting, [&](QTcpSocket& socket, const QByteArray&,
                                                 const QByteArray& command) {
            if (!command.startsWith("LOGIN"))
                return false;
            // Written again each time the last is gone, for as long as the client reads.
            const auto more = [&socket, chunk] {
                if (socket.bytesToWrite() < chunk.size())
                    socket.write(chunk);
            };
            connect(&socket, &QTcpSocket::bytesWritten, &socket, more);
            more();
            return true;
        });
        ImapCheck check(kShortTimeouts);
        QCOMPARE(logIn(check, server), -1);
        QCOMPARE(check.failure, MailboxFailure::LoginFailed);
        QCOMPARE(check.text, imap::failure::repliesWithoutEnd(imap::Limits::kMaxBytesPerCommand));
    }

    // A literal announcing 2 GB fails when announced, long before any timeout; one that never
    // ends fails with the reply timeout.
    void literals()
    {
        const auto fetching = [](QByteArray response) {
            return [response](QTcpSocket& socket, const QByteArray&, const QByteArray& command) {
                if (!command.startsWith("UID FETCH"))
                    return false;
                socket.write(response);
                return true;
            };
        };
        ScriptedImapServer huge(kGreeting, fetching("* 1 FETCH (UID 1 BODY[HEADER] {2147483648}\r\nSubj"));
        ImapCheck check(kShortTimeouts);
        QCOMPARE(logIn(check, huge), 2);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(check.header(1), MailboxFailure::ConnectionLost);
        QCOMPARE(check.text, imap::failure::literalTooLarge(2147483648, imap::Limits::kMaxLiteral));
        QVERIFY(clock.elapsed() < kReplyTimeout.count());

        ScriptedImapServer endless(kGreeting, fetching("* 1 FETCH (UID 1 BODY[HEADER] {1000}\r\nSubject: "));
        ImapCheck stalled(kShortTimeouts);
        QCOMPARE(logIn(stalled, endless), 2);
        QCOMPARE(stalled.header(1), MailboxFailure::ConnectionLost);
        QCOMPARE(stalled.text, pop3::failure::replyTimedOut(kReplyTimeout));
    }

    // Whatever a server says out of turn ends the session with its own text: a BYE in the
    // middle, a tag never sent, NUL. Bare LF line ends are taken as line ends.
    void outOfTurn_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("BYE") << QByteArray("UID SEARCH") << QByteArray("* BYE shutting down\r\n")
                             << imap::failure::serverSaidBye("shutting down");
        QTest::newRow("tag") << QByteArray("LOGIN") << QByteArray("Z7 OK Logged in\r\n")
                             << imap::failure::unknownTag("Z7 OK Logged in");
        QTest::newRow("NUL") << QByteArray("EXAMINE") << QByteArray("* 3 EXISTS\0\r\n", 13)
                             << imap::failure::nulInResponse();
    }
    void outOfTurn()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, answer);
        QFETCH(QString, text);
        ScriptedImapServer server(kGreeting, [&](QTcpSocket& socket, const QByteArray&,
                                                 const QByteArray& line) {
            if (!line.startsWith(command))
                return false;
            socket.write(answer);
            return true;
        });
        ImapCheck check(kShortTimeouts);
        QCOMPARE(logIn(check, server), -1);
        QCOMPARE(check.failure, MailboxFailure::LoginFailed);
        QCOMPARE(check.text, text);
    }

    void bareLineFeeds()
    {
        ScriptedImapServer server("* OK [CAPABILITY IMAP4rev1] ready\n",
                                  [](QTcpSocket& socket, const QByteArray& tag, const QByteArray& line) {
            if (line.startsWith("UID SEARCH"))
                socket.write("* SEARCH 5\n" + tag + " OK\n");
            else if (line.startsWith("UID FETCH"))
                socket.write("* 1 FETCH (UID 5 BODY[HEADER] {13}\nSubject: lf\n\n)\n" + tag + " OK\n");
            else
                return false;
            return true;
        });
        ImapCheck check(kShortTimeouts);
        QCOMPARE(logIn(check, server), 1);
        QCOMPARE(check.header(1), MailboxFailure::None);
        QCOMPARE(check.last.subject, u"lf"_s);
        check.close();
    }

    // The watch: renewed while the server is quiet; ended with a clear text by an IDLE never
    // accepted, a BYE or a dropped connection; a server without IDLE is told as such, and logged
    // out of. (News without end while idling meets the bound of endlessUntaggedResponses: the
    // bytes since the last tagged response, which was the IDLE's start.)
    void watchingAMailbox()
    {
        ScriptedImapServer quiet(kIdleGreeting);
        Watch renewed(quiet, std::chrono::milliseconds(300));
        QVERIFY(renewed.waitFor(Watch::Health::Watching));
        QTRY_VERIFY2(quiet.commands().count("DONE") >= 2, quiet.commands().join(" / ").constData());
        QCOMPARE(renewed.health, QList{Watch::Health::Watching});

        ScriptedImapServer neverAccepts(kIdleGreeting, [](QTcpSocket&, const QByteArray&,
                                                          const QByteArray& command) {
            return command == "IDLE";
        });
        Watch unanswered(neverAccepts);
        QVERIFY(unanswered.waitFor(Watch::Health::Lost));
        QCOMPARE(unanswered.why, pop3::failure::replyTimedOut(kReplyTimeout));

        ScriptedImapServer bye(kIdleGreeting, [](QTcpSocket& socket, const QByteArray&,
                                                 const QByteArray& command) {
            if (command != "IDLE")
                return false;
            socket.write("+ idling\r\n* 3 EXISTS\r\n* BYE going down\r\n");
            return true;
        });
        Watch saidBye(bye);
        QVERIFY(saidBye.waitFor(Watch::Health::Lost));
        QCOMPARE(saidBye.why, imap::failure::serverSaidBye("going down"));

        ScriptedImapServer drops(kIdleGreeting, [](QTcpSocket& socket, const QByteArray&,
                                                   const QByteArray& command) {
            if (command != "IDLE")
                return false;
            socket.write("+ idling\r\n");
            socket.disconnectFromHost();
            return true;
        });
        Watch dropped(drops);
        QVERIFY(dropped.waitFor(Watch::Health::Lost));
        QCOMPARE(dropped.why, pop3::failure::connectionLost());

        ScriptedImapServer withoutIdle(kGreeting);
        Watch unsupported(withoutIdle);
        QVERIFY(unsupported.waitFor(Watch::Health::Unsupported));
        QTRY_VERIFY(withoutIdle.commands().last().endsWith("LOGOUT"));
        QVERIFY(!withoutIdle.commands().join('\n').contains("IDLE"));
    }

    // A server that drops the connection at each step: the call waiting says so at once.
    void dropsAtEachStep_data()
    {
        QTest::addColumn<QByteArray>("command");
        for (const char* command : {"greeting", "CAPABILITY", "LOGIN", "EXAMINE", "UID FETCH"})
            QTest::newRow(command) << QByteArray(command);
    }
    void dropsAtEachStep()
    {
        QFETCH(QByteArray, command);
        const bool atGreeting = command == "greeting";
        ScriptedImapServer server(atGreeting ? "* OK rea" : "* OK ready\r\n",
                                  [&](QTcpSocket& socket, const QByteArray&, const QByteArray& line) {
            if (!line.startsWith(command))
                return false;
            socket.disconnectFromHost();
            return true;
        });
        if (atGreeting) // the greeting cut short, then the connection gone
            QTimer::singleShot(50, &server, [&server] {
                for (QTcpSocket* socket : server.findChildren<QTcpSocket*>())
                    socket->disconnectFromHost();
            });
        ImapCheck check(kShortTimeouts);
        QElapsedTimer clock;
        clock.start();
        if (command == "UID FETCH") {
            QCOMPARE(logIn(check, server), 2);
            QCOMPARE(check.header(1), MailboxFailure::ConnectionLost);
        } else {
            QCOMPARE(logIn(check, server), -1);
            QCOMPARE(check.failure, MailboxFailure::LoginFailed);
        }
        QCOMPARE(check.text, pop3::failure::connectionLost());
        QVERIFY(clock.elapsed() < kReplyTimeout.count());
    }
};

QTEST_MAIN(ImapHostileServerTest)
#include "HostileServerTest.moc"
