// The real program (offscreen) checks an IMAP server named in its server file: a Dovecot imapd
// of the fixture, reached as imap:// (STARTTLS taken because it is offered). The notice board
// shows the number of unseen messages, as it does for POP3.

#include "alert/forms/NoticeBoard.h"

#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DovecotInfo.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::DovecotInfo;

class ImapProgramTest : public QObject {
    Q_OBJECT

    DovecotInfo m_info;

private Q_SLOTS:
    void initTestCase()
    {
        m_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(m_info);
        if (m_info[u"IMAP_PORT"_s].isEmpty())
            QSKIP("the Dovecot fixture serves no IMAP (Debian package dovecot-imapd)");
        qputenv("SSL_CERT_FILE", m_info[u"CA_CERT"_s].toUtf8());
    }

    void checkFromTheMenuShowsTheUnseenCount()
    {
        tests::CheckingProgram program(
            "POP3=imap://127.0.0.1:" + m_info[u"IMAP_PORT"_s].toUtf8() + "\r\nAPOP=0\r\n",
            tests::savedAccount(m_info[u"THREE_USER"_s], m_info[u"PASSWORD"_s]),
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)});
        program.checkFromTheMenu();
        QVERIFY(program.board());
        QCOMPARE(program.board()->count(), u"3"_s);
        QCOMPARE(program.alertsStarted, 1);
        QVERIFY2(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty(),
                 qPrintable(program.fake.log.withPrefix(u"MsgBox"_s).join(u'\n')));
    }

    // A server that cannot be logged in to says so in the program's error box, with the
    // server's own words.
    void wrongPasswordIsShownAsAnError()
    {
        tests::CheckingProgram program(
            "POP3=imaps://127.0.0.1:" + m_info[u"IMAPS_PORT"_s].toUtf8() + "\r\nAPOP=0\r\n",
            tests::savedAccount(m_info[u"THREE_USER"_s], u"wrong"_s),
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)});
        program.checkFromTheMenu();
        const QStringList boxes = program.fake.log.withPrefix(u"MsgBox"_s);
        QVERIFY2(boxes.join(u'\n').contains(u"AUTHENTICATIONFAILED"_s), qPrintable(boxes.join(u'\n')));
        QCOMPARE(program.alertsStarted, 0);
    }
};

QTEST_MAIN(ImapProgramTest)
#include "ProgramTest.moc"
