// The mail check end to end: the real main window and dialogs (offscreen), the real POP3 library
// and a real Dovecot. Dovecot's log and raw session log witness what reached the server; the
// message box, tray and remote-access fakes stand in for the desktop.

#include "app/Application.h"

#include "alert/forms/NoticeBoard.h"
#include "settings/forms/AccountDialog.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/adapters/widgets/QtDialogs.h"
#include "pop3/FailureText.h"
#include "pop3/Pop3Mailbox.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DovecotWitness.h"
#include "tests/servers/Relay.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakePlatform;
using tests::DovecotInfo;
using tests::DovecotWitness;
using tests::Relay;

namespace {

DovecotInfo g_info;

// The program started against the fixture's Dovecot with `user` and `password` saved as its
// account.
struct Program : tests::CheckingProgram {
    Program(const QString& user, const QString& password, int apopFlag = 0,
            platform::ProgramLauncher* launcher = nullptr)
        : CheckingProgram("POP3=127.0.0.1:" + g_info[u"PORT"_s].toUtf8() + "\r\nAPOP=" +
                              QByteArray::number(apopFlag) + "\r\n",
                          tests::savedAccount(user, password),
                          pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)},
                          FakePlatform::Replacements().withIfGiven(launcher))
    {
    }
    settings::PreferencesDialog& preferences() { return app.forms().get<settings::PreferencesDialog>(); }
};

QString password() { return g_info[u"PASSWORD"_s]; }
QString mailUser() { return g_info[u"MAILCHECK_USER"_s]; }

} // namespace

class MailCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        g_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(g_info);
        // The plain port offers STLS, which the library takes: trust the fixture's CA.
        qputenv("SSL_CERT_FILE", g_info[u"CA_CERT"_s].toUtf8());
    }

    void threeMessagesAreReadInOrderAndAnnounced()
    {
        Program program(mailUser(), password());
        DovecotWitness dovecot(g_info, mailUser());
        dovecot.mark();
        program.checkFromTheMenu();

        // Each header is read (TOP n 0); no message is retrieved, so none is marked as read.
        QCOMPARE(dovecot.commands().filter(u"TOP"_s),
                 (QStringList{u"TOP 1 0"_s, u"TOP 2 0"_s, u"TOP 3 0"_s}));
        QVERIFY(dovecot.commands().filter(u"RETR"_s).isEmpty());
        QVERIFY(program.board());
        QCOMPARE(program.board()->message(), u"新着メールが有ります"_s);
        QCOMPARE(program.board()->count(), u"3"_s);
        QVERIFY(program.board()->isVisible());
        QCOMPARE(program.alertsStarted, 1);
        QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());

        // Nothing is remembered between checks: the same messages are new mail again.
        dovecot.mark();
        program.board()->unload();
        program.checkFromTheMenu();
        QCOMPARE(dovecot.commands().filter(u"TOP"_s).size(), 3);
        QTRY_VERIFY(program.board());
        QCOMPARE(program.board()->count(), u"3"_s);
        QCOMPARE(program.alertsStarted, 2);

        // Erasing after a second: the board is gone before the alert starts.
        program.preferences().setBoardErasesItself(true);
        program.checkFromTheMenu();
        QCOMPARE(program.alertsStarted, 3);
        QVERIFY(!program.boardLoadedAtAlert);
        QVERIFY(!program.board());
    }

    void emptyMailboxShowsNothingAndStillHangsUp()
    {
        Program program(g_info[u"EMPTY_USER"_s], password());
        program.preferences().setHangsUpAfterCheck(true);
        program.checkFromTheMenu();
        QVERIFY(!program.board());
        QCOMPARE(program.alertsStarted, 0);
        QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());
        QCOMPARE(program.fake.log.withPrefix(u"RasEnumConnections"_s).size(), 1);

        program.preferences().setHangsUpAfterCheck(false);
        program.checkFromTheMenu();
        QCOMPARE(program.fake.log.withPrefix(u"RasEnumConnections"_s).size(), 1);
    }

    // The server's own words reach the user; a check asked for while the box is open is skipped.
    void wrongPasswordShowsTheServersTextAndNoCheckNests()
    {
        Program program(mailUser(), u"wrong"_s);
        DovecotWitness dovecot(g_info, mailUser());
        dovecot.mark();
        program.preferences().setHangsUpAfterCheck(true);
        int nestedAsked = 0;
        program.fake.messageBox.whileOpen = [&] {
            ++nestedAsked;
            program.checkFromTheMenu();
        };
        program.checkFromTheMenu();

        QCOMPARE(nestedAsked, 1);
        const QString text =
            pop3::failure::loginRejected("-ERR [AUTH] Authentication failed.");
        QCOMPARE(program.fake.log.withPrefix(u"MsgBox"_s),
                 (QStringList{u"MsgBox(%1, 0, エラー)"_s.arg(text)}));
        // The hang-up comes after the box has been closed, once.
        QVERIFY(program.fake.log.indexOf(u"RasEnumConnections(412, 105472)"_s) >
                program.fake.log.indexOf(u"MsgBox(%1, 0, エラー)"_s.arg(text)));
        QCOMPARE(program.fake.log.withPrefix(u"RasEnumConnections"_s).size(), 1);
        QVERIFY(dovecot.logged({u"user=<%1>"_s.arg(mailUser()), u"auth failed"_s}));
        QCOMPARE(dovecot.countLogged({u"user=<%1>"_s.arg(mailUser()), u"auth failed"_s}), 1);
        QVERIFY(!program.board());
        QCOMPARE(program.alertsStarted, 0);
    }

    void missingPasswordAsksForTheAccountWithoutLoggingIn()
    {
        Program program(mailUser(), QString());
        DovecotWitness dovecot(g_info, mailUser());
        // Start-up showed the dialog for the missing password; the user closed it.
        program.app.forms().get<settings::AccountDialog>().cancel();
        QTRY_VERIFY(!program.app.forms().peek<settings::AccountDialog>());

        dovecot.mark();
        program.checkFromTheMenu();
        auto* dialog = program.app.forms().peek<settings::AccountDialog>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->IdText(), mailUser());
        QVERIFY(dialog->PassText().isEmpty());
        QVERIFY(dovecot.logged({u"no auth attempts"_s}));
        QVERIFY(!dovecot.logged({u"Login: user=<%1>"_s.arg(mailUser())}, 300));

        // What the user is typing meanwhile stays; the check logs in with the saved account.
        dialog->findChild<QLineEdit*>(u"IdText"_s)->setText(u"typing"_s);
        FakePlatform::writeFile(program.fake.accountProfile(),
                                tests::savedAccount(mailUser(), password()));
        dovecot.mark();
        program.checkFromTheMenu();
        QVERIFY(dovecot.logged({u"Login: user=<%1>"_s.arg(mailUser())}));
        QCOMPARE(dialog->IdText(), u"typing"_s);
        QCOMPARE(program.app.values().UserId, mailUser());
        QCOMPARE(program.board()->count(), u"3"_s);
    }

    void newMailStartsTheMailProgramInstead()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(u"started"_s);
        const QString script = dir.filePath(u"mailer.sh"_s);
        FakePlatform::writeFile(script, "#!/bin/sh\necho started > '" + marker.toUtf8() + "'\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        platform::DetachedProgramLauncher launcher;
        Program program(mailUser(), password(), 0, &launcher);
        program.app.mainWindow().setStartsMailProgram(true);
        program.preferences().setHangsUpAfterCheck(true);

        program.app.mainWindow().setMailProgramPath(u"  "_s + script + u" "_s);
        program.checkFromTheMenu();
        QTRY_VERIFY(QFile::exists(marker));
        QVERIFY(!program.board());
        QCOMPARE(program.alertsStarted, 0);

        // No mail program chosen: nothing at all.
        QFile::remove(marker);
        program.app.mainWindow().setMailProgramPath(u"未設定"_s);
        program.checkFromTheMenu();
        QTest::qWait(300);
        QVERIFY(!QFile::exists(marker));
        QVERIFY(!program.board());
        QCOMPARE(program.alertsStarted, 0);

        // A mail program that cannot start is reported without holding up the check, in a box
        // that does not wait, or at the tray icon once the program lives there.
        program.fake.log.clear();
        const QString missing = dir.filePath(u"no-such-mailer"_s);
        program.app.mainWindow().setMailProgramPath(missing);
        program.checkFromTheMenu();
        const QString told = u"設定したメーラーを起動できませんでした。\n%1"_s.arg(missing);
        QCOMPARE(program.fake.log.withPrefix(u"MsgBoxModeless"_s),
                 (QStringList{u"MsgBoxModeless(%1, 48, Pelmora)"_s.arg(told)}));
        QCOMPARE(program.fake.log.withPrefix(u"RasEnumConnections"_s).size(), 1);
        program.app.mainWindow().moveToTray();
        program.checkFromTheMenu();
        QCOMPARE(program.fake.log.withPrefix(u"tray: message"_s),
                 (QStringList{u"tray: message Pelmora: "_s + told}));
    }

    // A server that goes away in the middle of a long check leaves the program running, and the
    // next check reads the whole mailbox again.
    void serverLostMidCheckThenTheNextCheckWorks()
    {
        const QString user = g_info[u"MANY_USER"_s];
        Relay relay(g_info[u"PORT"_s].toUShort());
        Program program(user, password());
        program.app.values().Pop3Server = u"127.0.0.1:"_s + QString::number(relay.port());
        DovecotWitness dovecot(g_info, user);

        relay.cutAfter = 50 * 1024; // about a fifth of the mailbox's headers
        dovecot.mark();
        program.checkFromTheMenu();
        QVERIFY(relay.cut);
        QVERIFY(!dovecot.logged({u"pop3(%1)"_s.arg(user), u"top=1000/"_s}, 500));

        relay.cutAfter = -1;
        dovecot.mark();
        program.checkFromTheMenu();
        QVERIFY(dovecot.logged({u"pop3(%1)"_s.arg(user), u"top=1000/"_s, u"retr=0/"_s}));
        QVERIFY(program.board());
        QCOMPARE(program.board()->count(), u"1000"_s);
    }

    // Someone on the path removes STLS from the server's capabilities. Once the server has offered
    // STLS, a later check is refused before the password goes out, with the reason in the error
    // box; with pop3+starttls:// even the first one is.
    void passwordNeverInPlainTextWhenStartTlsIsStripped()
    {
        Relay relay(g_info[u"PORT"_s].toUShort());
        bool strip = false;
        relay.rewrite = [&strip](int, QByteArray bytes) {
            return strip ? bytes.replace("\r\nSTLS\r\n", "\r\n") : bytes;
        };
        const QString server = u"127.0.0.1:"_s + QString::number(relay.port());
        Program program(mailUser(), password());
        program.app.values().Pop3Server = server;
        program.checkFromTheMenu();
        QCOMPARE(program.board()->count(), u"3"_s);
        QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());

        strip = true;
        relay.fromClients.clear();
        program.board()->unload();
        program.checkFromTheMenu();
        const QString text = pop3::failure::startTlsNoLongerOffered();
        QCOMPARE(program.fake.log.withPrefix(u"MsgBox"_s),
                 (QStringList{u"MsgBox(%1, 0, エラー)"_s.arg(text)}));
        QVERIFY(!program.board());
        QVERIFY2(!relay.fromClients.contains("PASS"), relay.fromClients.constData());

        Program fresh(mailUser(), password());
        fresh.app.values().Pop3Server = u"pop3+starttls://"_s + server;
        fresh.checkFromTheMenu();
        QCOMPARE(fresh.fake.log.withPrefix(u"MsgBox"_s),
                 (QStringList{u"MsgBox(%1, 0, エラー)"_s.arg(
                     pop3::failure::startTlsNotOffered())}));
        QVERIFY2(!relay.fromClients.contains("PASS"), relay.fromClients.constData());

        // Where the server offers it, pop3+starttls:// checks as usual, over TLS.
        DovecotWitness dovecot(g_info, mailUser());
        dovecot.mark();
        fresh.app.values().Pop3Server = u"pop3+starttls://127.0.0.1:"_s + g_info[u"PORT"_s];
        fresh.checkFromTheMenu();
        QCOMPARE(fresh.board()->count(), u"3"_s);
        QVERIFY(dovecot.logged({u"Login: user=<%1>, method=PLAIN"_s.arg(mailUser()), u", TLS"_s}));
    }

    void apopForEveryNonZeroFlag_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("method");
        QTest::newRow("1") << 1 << u"APOP"_s;
        QTest::newRow("2") << 2 << u"APOP"_s;
        QTest::newRow("-1") << -1 << u"APOP"_s;
        QTest::newRow("0") << 0 << u"PLAIN"_s;
    }

    void apopForEveryNonZeroFlag()
    {
        QFETCH(int, flag);
        QFETCH(QString, method);
        Program program(mailUser(), password(), flag);
        DovecotWitness dovecot(g_info, mailUser());
        dovecot.mark();
        program.checkFromTheMenu();
        QVERIFY(dovecot.logged({u"Login: user=<%1>, method=%2"_s.arg(mailUser(), method)}));
        QCOMPARE(program.board()->count(), u"3"_s);
    }
};

QTEST_MAIN(MailCheckTest)
#include "mail_check_test.moc"
