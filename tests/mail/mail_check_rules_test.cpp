// The scheduler tick by tick, and the check's rules that need a scripted server: the program as
// wired for real (main window, preferences dialog, form host), with the fake mail library playing
// the server. A check shows up as a connection in the call log.

#include "app/Application.h"

#include "alert/forms/MsgForm.h"
#include "mail/MailCheck.h"
#include "settings/forms/SetForm.h"

#include "tests/fakes/FakePlatform.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakeMailLibrary;
using fakes::FakePlatform;

namespace {

struct Program {
    Program()
    {
        fake.storeServerAndAccount(); // the fake library's server and account
        app.start();
    }

    app::MainForm& window() { return app.mainForm(); }
    settings::SetForm& preferences() { return app.forms().get<settings::SetForm>(); }
    qsizetype checks() const { return fake.log.withPrefix(u"mail: NMailPop3Connect"_s).size(); }

    // One second of the program: the one-second tick when it runs, and the ten polls.
    void second()
    {
        if (window().Timer3().isRunning())
            window().Timer3().tick();
        for (int i = 0; i < 10; ++i)
            window().Timer1().tick();
    }

    FakePlatform fake;
    app::Application app{fake.services()};
};

} // namespace

class MailCheckRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each step either types an interval ("=text") or lets that many seconds pass; the seconds
    // at which a scheduled check started are counted from the start.
    void scheduledChecks_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("checkSeconds");
        QTest::addColumn<QString>("countersAfter"); // Text1/Text4 when given

        // A minute is 61 ticks; each time exactly one check, though the poll sees it ten times.
        QTest::newRow("1") << QStringList{u"=1"_s, u"200"_s} << QList<int>{61, 122, 183}
                           << u"0/17"_s;
        QTest::newRow("0 is off") << QStringList{u"=0"_s, u"200"_s} << QList<int>{}
                                  << u"Text1/Text4"_s;
        QTest::newRow("empty is off") << QStringList{u"="_s, u"200"_s} << QList<int>{}
                                      << u"Text1/Text4"_s;
        QTest::newRow("5分 reads as 5") << QStringList{u"=5分"_s, u"700"_s} << QList<int>{305, 610}
                                        << QString();
        // The tick resets the count at 2, the poll waits for 1.5.
        QTest::newRow("1.5 never") << QStringList{u"=1.5"_s, u"500"_s} << QList<int>{} << u"0/12"_s;
        // A half rounds to the even neighbour: the count is reset at 2, not 3.
        QTest::newRow("2.5 resets at 2") << QStringList{u"=2.5"_s, u"190"_s} << QList<int>{}
                                         << u"1/7"_s;
        QTest::newRow("negative changes nothing")
            << QStringList{u"=-3"_s, u"200"_s} << QList<int>{} << u"Text1/Text4"_s;
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
            << QStringList{u"=99999999999"_s, u"100"_s} << QList<int>{} << u"Text1/Text4"_s;
        QTest::newRow("too large, then 1")
            << QStringList{u"=99999999999"_s, u"100"_s, u"=1"_s, u"61"_s} << QList<int>{161}
            << u"1/0"_s;
    }

    void scheduledChecks()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, checkSeconds);
        QFETCH(QString, countersAfter);

        Program program;
        QList<int> started;
        int now = 0;
        for (const QString& step : steps) {
            if (step.startsWith(u'=')) {
                program.preferences().setText2(step.mid(1));
                continue;
            }
            for (int n = step.toInt(); n > 0; --n) {
                const auto before = program.checks();
                program.second();
                ++now;
                for (auto c = before; c < program.checks(); ++c)
                    started << now;
            }
        }
        QCOMPARE(started, checkSeconds);
        if (!countersAfter.isEmpty())
            QCOMPARE(program.window().Text1() + u'/' + program.window().Text4(), countersAfter);
    }

    // Closing the preferences dialog stores the interval and the program goes on with it as
    // stored ("2分" reads back as 2); the dialog itself is not needed for that.
    void closedPreferencesGoOnWithTheIntervalAsStored()
    {
        Program program;
        program.preferences().setText2(u"2分"_s);
        program.preferences().Form_Unload();
        QVERIFY(!program.app.forms().peek<settings::SetForm>());
        QCOMPARE(program.window().findChild<QLineEdit*>(u"Text5"_s)->text(), u"2"_s);
        QList<int> started;
        for (int now = 1; now <= 130; ++now) {
            const auto before = program.checks();
            program.second();
            if (program.checks() > before)
                started << now;
        }
        QVERIFY(!program.app.forms().peek<settings::SetForm>());
        QCOMPARE(started, QList<int>{122});
        QCOMPARE(program.app.forms().show<settings::SetForm>().Text2(), u"2"_s);
    }

    // The poll starts no check inside a running one (here a check from the menu whose server
    // is slow), and starts the scheduled check once that one has finished.
    void pollWaitsForARunningCheck()
    {
        Program program;
        program.preferences().setText2(u"1"_s);
        for (int i = 0; i < 60; ++i)
            program.second();
        bool once = true;
        program.fake.mailLibrary.whileWaiting = [&] {
            if (std::exchange(once, false))
                program.second(); // the minute is reached while the server answers
        };
        program.window().Command8_Click();
        QCOMPARE(program.checks(), 1);
        QCOMPARE(program.window().Text1(), u"1"_s);
        program.window().Timer1().tick();
        QCOMPARE(program.checks(), 2);
        program.window().Timer1().tick();
        QCOMPARE(program.checks(), 2);
    }

    // Message buffers follow the sizes the library reports, bounded whatever the server claims.
    void messageBuffersAreBounded()
    {
        Program program;
        FakeMailLibrary& server = program.fake.mailLibrary;
        server.mailbox = {FakeMailLibrary::message("over 256 MiB", "1"),
                          FakeMailLibrary::message("100 MiB", "2"),
                          FakeMailLibrary::message("small", "3")};
        server.mailbox[0].listedSize = 300LL * 1024 * 1024; // the library will not tell this size
        server.mailbox[1].listedSize = 100LL * 1024 * 1024;
        program.fake.log.clear();
        program.window().Command8_Click();

        const QStringList retrievals = program.fake.log.withPrefix(u"mail: NMailPop3GetMail("_s);
        QCOMPARE(retrievals,
                 (QStringList{u"mail: NMailPop3GetMail(1, 1, body 0, 0, 0)"_s,
                              u"mail: NMailPop3GetMail(1, 2, body %1, 0, 0)"_s.arg(
                                  mail::MailCheck::kMaxBodyBuffer),
                              u"mail: NMailPop3GetMail(1, 3, body %1, 0, 0)"_s.arg(
                                  server.mailbox[2].content.size() + 1)}));
        auto* board = program.app.forms().peek<alert::MsgForm>();
        QVERIFY(board);
        QCOMPARE(board->Text2(), u"3"_s);
        QCOMPARE(server.openConnections(), 0);
    }

    // Hanging up: every connection of a good enumeration in its order, none after a failed one.
    void hangUpOnlyAfterAGoodEnumeration()
    {
        Program program;
        program.preferences().setCheck1(true);
        program.fake.remoteAccess.activeHandles = {7, 3};
        program.fake.log.clear();
        program.window().Command8_Click();
        QCOMPARE(program.fake.log.withPrefix(u"Ras"_s),
                 (QStringList{u"RasEnumConnections(412, 105472)"_s, u"RasHangUp(7)"_s,
                              u"RasHangUp(3)"_s}));

        program.fake.remoteAccess.enumResult = 603; // more connections than the table holds
        program.fake.log.clear();
        program.window().Command8_Click();
        QCOMPARE(program.fake.log.withPrefix(u"Ras"_s),
                 (QStringList{u"RasEnumConnections(412, 105472)"_s}));
    }

    void errorTextEndsAtItsFirstNul()
    {
        QCOMPARE(mail::StripAtNul(u"-ERR no\0garbage\0"_s), u"-ERR no"_s);
        QCOMPARE(mail::StripAtNul(u"whole"_s), u"whole"_s);
    }
};

QTEST_MAIN(MailCheckRulesTest)
#include "mail_check_rules_test.moc"
