// "Only new mail" and "who sent it" through the program's own wiring: the real program (offscreen)
// checks a Maildir of its own on a real Dovecot, where the test delivers and deletes messages
// between checks, and shows its notifications through the real freedesktop adapter on
// python3-dbusmock's notification daemon. A scripted server without UIDL shows the fallback.

#include "settings/NoticeOptions.h"

#include "platform/adapters/dbus/FreedesktopNotifications.h"

#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DbusMock.h"
#include "tests/servers/DovecotInfo.h"
#include "tests/servers/Maildir.h"
#include "tests/servers/ScriptedPop3Server.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::DovecotInfo;
using tests::deliver;

namespace {

DovecotInfo g_info;

const pop3::Timeouts kTimeouts{std::chrono::seconds(5), std::chrono::seconds(10)};

// The program checking `user` with both options on, its notifications shown through `real`.
struct OptionsOnProgram : tests::CheckingProgram {
    OptionsOnProgram(const QString& user, fakes::FakePlatform::Replacements real = {})
        : CheckingProgram("POP3=127.0.0.1:" + g_info[u"PORT"_s].toUtf8() + "\r\nAPOP=0\r\n",
                          tests::savedAccount(user, g_info[u"PASSWORD"_s]), kTimeouts, real)
    {
        settings::NoticeOptionsFile(fake.dataFolder()).write({true, true});
    }
    // One check from the menu: the count the board showed, or "" when nothing was announced.
    QString check()
    {
        const int before = alertsStarted;
        checkFromTheMenu();
        if (alertsStarted == before)
            return {};
        const QString count = board() ? board()->count() : u"?"_s;
        if (board())
            board()->unload();
        return count;
    }
};

void removeMessage(const QString& maildir, const QString& uniquePart)
{
    for (const QString& folder : {u"new"_s, u"cur"_s})
        for (const QString& name : QDir(maildir + u'/' + folder).entryList({uniquePart + u'*'}))
            QVERIFY(QFile::remove(maildir + u'/' + folder + u'/' + name));
}

} // namespace

class OnlyNewMailTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        g_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(g_info);
        qputenv("SSL_CERT_FILE", g_info[u"CA_CERT"_s].toUtf8());
    }

    // Mail is announced once, by the number of new messages, with a notification naming the
    // newest senders and subjects as the Japanese text they are; what was announced survives a
    // restart and is forgotten when the account changes.
    void eachMessageIsAnnouncedOnce()
    {
        tests::NotificationDesktop desktop;
        PELMORA_REQUIRE_PEER(desktop.start());
        platform::FreedesktopNotifications notifications(desktop.bus.address);
        const QString user = g_info[u"ONLYNEW_USER"_s];
        const QString maildir = g_info[u"ONLYNEW_MAILDIR"_s];
        OptionsOnProgram program(user, fakes::FakePlatform::Replacements().with(notifications));
        program.app.mainWindow().setMailProgramPath(u"/usr/bin/mailer"_s);

        // The three messages there when the option was turned on are not news.
        QCOMPARE(program.check(), QString());
        QCOMPARE(program.check(), QString());
        QVERIFY(shown(*desktop.daemon).isEmpty());

        deliver(maildir, u"1800000001.M1P9.pelmora"_s,
                "=?ISO-2022-JP?B?GyRCOzNFRBsoQiAbJEJCQE86GyhC?= <taro@pelmora.test>",
                "=?UTF-8?B?PGI+5Lya6K2wPC9iPiDjga7os4fmlpk=?=");
        deliver(maildir, u"1800000002.M2P9.pelmora"_s, "hanako@pelmora.test", "Lunch");
        QCOMPARE(program.check(), u"2"_s);
        QTRY_COMPARE(shown(*desktop.daemon).size(), 1);
        const tests::Shown notice = shown(*desktop.daemon).front();
        QCOMPARE(notice.summary, u"新着メール 2 通"_s);
        // The daemon reads markup, so the subject's tags arrive escaped: shown as written.
        QCOMPARE(notice.body, u"hanako@pelmora.test — Lunch\n山田 太郎 — &lt;b&gt;会議&lt;/b&gt; の資料"_s);
        program.fake.log.clear();
        tests::click(*desktop.daemon, 1);
        QTRY_COMPARE(program.fake.log.withPrefix(u"Shell("_s).size(), 1);
        QVERIFY(program.fake.log.withPrefix(u"Shell("_s).front().startsWith(u"Shell(/usr/bin/mailer,"_s));

        QCOMPARE(program.check(), QString());

        // One message gone and another come: the count stays, the newcomer is news.
        removeMessage(maildir, u"1800000002"_s);
        deliver(maildir, u"1800000003.M3P9.pelmora"_s, "jiro@pelmora.test", "Again");
        QCOMPARE(program.check(), u"1"_s);
        QTRY_COMPARE(shown(*desktop.daemon).size(), 2);
        QCOMPARE(shown(*desktop.daemon).back().summary, u"新着メール 1 通"_s);

        // A new run of the program on the same data folder knows what was announced.
        OptionsOnProgram restarted(user);
        for (const QString& name : {u"announced.txt"_s, u"iniOptions.ini"_s}) {
            QFile::remove(restarted.fake.dataFolder() + u'/' + name);
            QVERIFY(QFile::copy(program.fake.dataFolder() + u'/' + name,
                                restarted.fake.dataFolder() + u'/' + name));
        }
        QCOMPARE(restarted.check(), QString());
        deliver(maildir, u"1800000004.M4P9.pelmora"_s, "saburo@pelmora.test", "Fourth");
        QCOMPARE(restarted.check(), u"1"_s);
        QCOMPARE(restarted.fake.log.withPrefix(u"notify:"_s).size(), 1);

        // Another account: its mail on the server is taken as announced, and so is this one's
        // when it comes back, for its record was replaced.
        fakes::FakePlatform::writeFile(restarted.fake.accountProfile(),
                                       tests::savedAccount(g_info[u"THREE_USER"_s], g_info[u"PASSWORD"_s]));
        QCOMPARE(restarted.check(), QString());
        fakes::FakePlatform::writeFile(restarted.fake.accountProfile(),
                                       tests::savedAccount(user, g_info[u"PASSWORD"_s]));
        deliver(maildir, u"1800000005.M5P9.pelmora"_s, "shiro@pelmora.test", "Fifth");
        QCOMPARE(restarted.check(), QString());
        QVERIFY(restarted.fake.log.withPrefix(u"MsgBox"_s).isEmpty());
    }

    // A server without UIDL: every message counts as without the option, and the user is told
    // so once in a run.
    void withoutUidlEveryMessageCountsAndTheUserIsToldOnce()
    {
        tests::ScriptedServer server("+OK ready\r\n", [](QTcpSocket& socket, const QByteArray& command) {
            if (command != "UIDL")
                return false;
            socket.write("-ERR no UIDL here\r\n");
            return true;
        });
        tests::CheckingProgram program("POP3=" + server.address() + "\r\nAPOP=0\r\n",
                                       fakes::FakePlatform::kStoredAccountFile, kTimeouts);
        settings::NoticeOptionsFile(program.fake.dataFolder()).write({true, false});
        for (int check = 1; check <= 2; ++check) {
            program.checkFromTheMenu();
            QCOMPARE(program.alertsStarted, check);
            QCOMPARE(program.board()->count(), u"1"_s);
            program.board()->unload();
        }
        const QStringList told = program.fake.log.withPrefix(u"MsgBoxModeless(このサーバーはメールを見分ける ID を返さない"_s)
            + program.fake.log.withPrefix(u"tray: message Pelmora: このサーバーはメールを見分ける ID を返さない"_s);
        QCOMPARE(told.size(), 1);
        QVERIFY(program.fake.log.withPrefix(u"notify:"_s).isEmpty());
    }
};

QTEST_MAIN(OnlyNewMailTest)
#include "only_new_mail_test.moc"
