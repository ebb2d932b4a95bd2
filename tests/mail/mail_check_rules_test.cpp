// The scheduler tick by tick, and the check's rules that need a scripted server: the program as
// wired for real (main window, preferences dialog, form host), with the fake mail library playing
// the server. A check shows up as a connection in the call log. The scheduler's counting rules
// alone are in check_scheduler_test.

#include "app/Application.h"

#include "alert/forms/NoticeBoard.h"
#include "mail/CheckScheduler.h"
#include "mail/MailCheck.h"
#include "settings/forms/PreferencesDialog.h"

#include "tests/fakes/FakePlatform.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakeMailbox;
using fakes::FakePlatform;

namespace {

struct Program {
    Program()
    {
        fake.storeServerAndAccount(); // the fake library's server and account
        app.start();
    }

    app::MainWindow& window() { return app.mainWindow(); }
    settings::PreferencesDialog& preferences() { return app.forms().get<settings::PreferencesDialog>(); }
    qsizetype checks() const { return fake.log.withPrefix(u"mail: open"_s).size(); }

    // One second of the program: the one-second tick when it counts, and the ten polls.
    void second()
    {
        if (app.scheduler().isCounting())
            app.scheduler().onSecondTick();
        for (int i = 0; i < 10; ++i)
            app.scheduler().onPoll();
    }

    FakePlatform fake;
    app::Application app{fake.services()};
};

} // namespace

class MailCheckRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Closing the preferences dialog stores the interval and the program goes on with it as
    // stored ("2分" reads back as 2); the dialog itself is not needed for that.
    void closedPreferencesGoOnWithTheIntervalAsStored()
    {
        Program program;
        program.preferences().setIntervalText(u"2分"_s);
        program.preferences().saveAndClose();
        QVERIFY(!program.app.forms().peek<settings::PreferencesDialog>());
        QCOMPARE(program.window().findChild<QLineEdit*>(u"Text5"_s)->text(), u"2"_s);
        QList<int> started;
        for (int now = 1; now <= 130; ++now) {
            const auto before = program.checks();
            program.second();
            if (program.checks() > before)
                started << now;
        }
        QVERIFY(!program.app.forms().peek<settings::PreferencesDialog>());
        QCOMPARE(started, QList<int>{122});
        QCOMPARE(program.app.forms().show<settings::PreferencesDialog>().intervalText(), u"2"_s);
    }

    // The poll starts no check inside a running one (here a check from the menu whose server
    // is slow), and starts the scheduled check once that one has finished.
    void pollWaitsForARunningCheck()
    {
        Program program;
        program.preferences().setIntervalText(u"1"_s);
        for (int i = 0; i < 60; ++i)
            program.second();
        bool once = true;
        program.fake.mailbox.whileWaiting = [&] {
            if (std::exchange(once, false))
                program.second(); // the minute is reached while the server answers
        };
        program.window().checkNow();
        QCOMPARE(program.checks(), 1);
        QCOMPARE(program.app.scheduler().minutes(), u"1"_s);
        program.app.scheduler().onPoll();
        QCOMPARE(program.checks(), 2);
        program.app.scheduler().onPoll();
        QCOMPARE(program.checks(), 2);
    }

    // A check reads every header once, in order, and nothing else; its session is closed.
    void everyHeaderIsReadInOrder()
    {
        Program program;
        FakeMailbox& server = program.fake.mailbox;
        server.mailbox = {FakeMailbox::message("1", "one"), FakeMailbox::message("2", "two"),
                          FakeMailbox::message("3", "three")};
        program.fake.log.clear();
        program.window().checkNow();
        QCOMPARE(program.fake.log.withPrefix(u"mail: header"_s),
                 (QStringList{u"mail: header(1)"_s, u"mail: header(2)"_s, u"mail: header(3)"_s}));
        auto* board = program.app.forms().peek<alert::NoticeBoard>();
        QVERIFY(board);
        QCOMPARE(board->count(), u"3"_s);
        QCOMPARE(server.openSessions(), 0);
    }

    // Hanging up: every connection of a good enumeration in its order, none after a failed one.
    void hangUpOnlyAfterAGoodEnumeration()
    {
        Program program;
        program.preferences().setHangsUpAfterCheck(true);
        program.fake.remoteAccess.activeHandles = {7, 3};
        program.fake.log.clear();
        program.window().checkNow();
        QCOMPARE(program.fake.log.withPrefix(u"Ras"_s),
                 (QStringList{u"RasEnumConnections(412, 105472)"_s, u"RasHangUp(7)"_s,
                              u"RasHangUp(3)"_s}));

        program.fake.remoteAccess.enumResult = 603; // more connections than the table holds
        program.fake.log.clear();
        program.window().checkNow();
        QCOMPARE(program.fake.log.withPrefix(u"Ras"_s),
                 (QStringList{u"RasEnumConnections(412, 105472)"_s}));
    }
};

QTEST_MAIN(MailCheckRulesTest)
#include "mail_check_rules_test.moc"
