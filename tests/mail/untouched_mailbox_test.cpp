// A check leaves the mailbox as it found it: the real program (offscreen) checks a Maildir with
// two unread messages and one already read, twice, against a real Dovecot (ctest's
// untouched_mailbox_test) and a real GNU Mailutils pop3d (untouched_mailbox_mailutils). Both
// servers mark a retrieved message seen when the session ends; the Maildir's file names witness
// that none was, and Dovecot's raw session log that nothing was retrieved or deleted.

#include "alert/forms/NoticeBoard.h"

#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DovecotWitness.h"
#include "tests/servers/Maildir.h"

#include <QRegularExpression>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::DovecotInfo;
using tests::DovecotWitness;
using tests::messagesAndSeenFlags;

namespace {

DovecotInfo g_info;

} // namespace

class UntouchedMailboxTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        g_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(g_info);
        // The plain port offers STLS, which the library takes: trust the fixture's certificate.
        qputenv("SSL_CERT_FILE", g_info[u"CA_CERT"_s].toUtf8());
    }

    void twoChecksLeaveEveryMessageAsItWas()
    {
        // The fixture's mailbox of this test alone, as it was made: three messages, one read.
        const QString user = g_info[u"UNTOUCHED_USER"_s];
        const QString maildir = g_info[u"UNTOUCHED_MAILDIR"_s];
        const QStringList found = messagesAndSeenFlags(maildir);
        QCOMPARE(found.size(), 3);
        QCOMPARE(found.filter(u"(seen)"_s).size(), 1);

        tests::CheckingProgram program(
            "POP3=127.0.0.1:" + g_info[u"PORT"_s].toUtf8() + "\r\nAPOP=0\r\n",
            tests::savedAccount(user, g_info[u"PASSWORD"_s]),
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)});
        std::optional<DovecotWitness> dovecot;
        if (g_info[u"SERVER"_s] == u"dovecot"_s) {
            dovecot.emplace(g_info, user);
            dovecot->mark();
        }

        for (int check = 1; check <= 2; ++check) {
            program.checkFromTheMenu();
            QVERIFY(program.board());
            QCOMPARE(program.board()->count(), u"3"_s);
            QCOMPARE(program.alertsStarted, check);
            QCOMPARE(messagesAndSeenFlags(maildir), found);
            program.board()->unload();
        }
        QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());

        if (dovecot) {
            const QStringList commands = dovecot->commands();
            QCOMPARE(commands.count(u"QUIT"_s), 2); // both sessions are in the log
            const QRegularExpression touching(u"^(RETR|DELE)\\b"_s,
                                              QRegularExpression::CaseInsensitiveOption);
            QVERIFY2(commands.filter(touching).isEmpty(), qPrintable(commands.join(u", ")));
        }
    }
};

QTEST_MAIN(UntouchedMailboxTest)
#include "untouched_mailbox_test.moc"
