// Interval checking through the program's own wiring: the application as the executable builds
// it (offscreen), the real POP3 library and Dovecot. The user types an interval into the
// preferences dialog; the program's timers run sixty times faster than the wall clock, so the
// first scheduled check (61 ticks of the one-second timer) comes after about a second.

#include "app/Application.h"

#include "alert/forms/NoticeBoard.h"
#include "settings/forms/PreferencesDialog.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DovecotWitness.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakePlatform;

class ScheduledCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typedIntervalChecksTheMailbox()
    {
        const auto info = tests::DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(info);
        qputenv("SSL_CERT_FILE", info[u"CA_CERT"_s].toUtf8());
        const QString user = info[u"SCHEDULED_USER"_s];

        tests::CheckingProgram program(
            "POP3=127.0.0.1:" + info[u"PORT"_s].toUtf8() + "\r\n",
            tests::savedAccount(user, info[u"PASSWORD"_s]),
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)},
            FakePlatform::Replacements().with(platform::TimerPace{60}));
        app::Application& app = program.app;
        tests::DovecotWitness dovecot(info, user);
        dovecot.mark();

        // "設定", then the interval box: 1 minute.
        app.mainWindow().findChild<QAction*>(u"mset2"_s)->trigger();
        auto* interval = app.forms().peek<settings::PreferencesDialog>()->findChild<QLineEdit*>(u"Text2"_s);
        QVERIFY(interval && interval->isVisible());
        interval->selectAll();
        QTest::keyClicks(interval, u"1"_s);
        QCOMPARE(app.mainWindow().findChild<QLabel*>(u"Label4"_s)->text(), u"ON"_s);

        QTRY_VERIFY_WITH_TIMEOUT(app.forms().peek<alert::NoticeBoard>(), 30000);
        auto* board = app.forms().peek<alert::NoticeBoard>();
        QCOMPARE(board->message(), u"新着メールが有ります"_s);
        QCOMPARE(board->count(), u"3"_s);
        QVERIFY(dovecot.logged({u"Login: user=<%1>"_s.arg(user)}));
        QCOMPARE(dovecot.commands().filter(u"TOP"_s).mid(0, 3),
                 (QStringList{u"TOP 1 0"_s, u"TOP 2 0"_s, u"TOP 3 0"_s}));
    }
};

QTEST_MAIN(ScheduledCheckTest)
#include "scheduled_check_test.moc"
