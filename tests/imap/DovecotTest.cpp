// The IMAP mailbox against a real Dovecot imapd (tests/servers/dovecot-fixture): the unseen
// messages of INBOX and their headers over STARTTLS, imaps and STARTTLS required; a check leaves
// every flag as it was; a wrong password and an untrusted certificate are refused clearly. The
// check's own cases also run against GNU Mailutils imap4d (ctest's imap_mailutils, the
// "mailutils" fixture), a server that is not Dovecot, there also without TLS.

#include "imap/FailureText.h"
#include "pop3/FailureText.h"

#include "tests/imap/ImapCheck.h"
#include "tests/servers/DovecotInfo.h"
#include "tests/servers/IdentityProvider.h"
#include "tests/servers/Maildir.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using platform::MailboxFailure;
using tests::DovecotInfo;
using tests::ImapCheck;
using tests::messagesAndSeenFlags;

class ImapDovecotTest : public QObject {
    Q_OBJECT

    DovecotInfo m_info;

    QString server(const char* scheme, const char* portKey) const
    {
        return QString::fromLatin1(scheme) + u"127.0.0.1:"_s + m_info[QString::fromLatin1(portKey)];
    }
    QString user(const char* key) const { return m_info[QString::fromLatin1(key)]; }
    QString password() const { return m_info[u"PASSWORD"_s]; }
    bool isDovecot() const { return m_info[u"SERVER"_s] == u"dovecot"_s; }

private Q_SLOTS:
    void initTestCase()
    {
        m_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(m_info);
        if (m_info[u"IMAP_PORT"_s].isEmpty()) {
            const char* why = isDovecot()
                ? "the Dovecot fixture serves no IMAP (Debian package dovecot-imapd)"
                : "the Mailutils fixture serves no IMAP (Debian package mailutils-imap4d)";
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(why);
            QSKIP(why);
        }
        if (!qEnvironmentVariableIsSet("PELMORA_TRUST_NO_TEST_CA"))
            qputenv("SSL_CERT_FILE", m_info[u"CA_CERT"_s].toUtf8());
    }

    void unseenMessagesAndTheirHeaders_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("STARTTLS when offered") << server("imap://", "IMAP_PORT");
        QTest::newRow("STARTTLS required") << server("imap+starttls://", "IMAP_PORT");
        QTest::newRow("imaps") << server("imaps://", "IMAPS_PORT");
        // A server that never offers STARTTLS gets the password in plain text (Mailutils only).
        if (!m_info[u"IMAP_PLAIN_PORT"_s].isEmpty())
            QTest::newRow("no TLS") << server("imap://", "IMAP_PLAIN_PORT");
    }
    void unseenMessagesAndTheirHeaders()
    {
        QFETCH(QString, server);
        ImapCheck check;
        QCOMPARE(check.login(server, user("THREE_USER"), password()), 3);
        QCOMPARE(check.header(1), MailboxFailure::None);
        QCOMPARE(check.last.subject, u"Plain subject"_s);
        QCOMPARE(check.last.from, u"Pelmora Test <sender@pelmora.test>"_s);
        QCOMPARE(check.last.date, u"Mon, 1 Jan 2024 09:00:00 +0900"_s);
        QVERIFY(check.last.raw.startsWith("From: Pelmora Test <sender@pelmora.test>\r\n"));
        QCOMPARE(check.header(2), MailboxFailure::None);
        QCOMPARE(check.last.subject, u"日本語"_s);
        QCOMPARE(check.header(3), MailboxFailure::None);
        QCOMPARE(check.last.subject, u"こんにちはcafé"_s);
        QCOMPARE(check.header(4), MailboxFailure::MessageFailed);
        check.close();
        // Closed: nothing more can be read.
        QCOMPARE(check.header(1), MailboxFailure::ConnectionLost);
    }

    // Two checks of a mailbox with one message read and two not: the count is the two, their
    // headers are read, and the Maildir's flags are as they were (no message gained S).
    void checksLeaveEveryFlagAsItWas()
    {
        const QString maildir = m_info[u"IMAPCHECK_MAILDIR"_s];
        const QStringList before = messagesAndSeenFlags(maildir);
        QCOMPARE(before.size(), 3);
        QCOMPARE(before.filter(u"(seen)"_s).size(), 1);
        for (int round = 0; round < 2; ++round) {
            ImapCheck check;
            QCOMPARE(check.login(server("imap://", "IMAP_PORT"), user("IMAPCHECK_USER"),
                                 password()),
                     2);
            QCOMPARE(check.header(1), MailboxFailure::None);
            QCOMPARE(check.last.subject, u"Plain subject"_s);
            QCOMPARE(check.header(2), MailboxFailure::None);
            QCOMPARE(check.last.subject, u"こんにちはcafé"_s);
            check.close();
            QCOMPARE(messagesAndSeenFlags(maildir), before);
        }
    }

    // A thousand unseen messages: every header, in order, read in batches.
    void thousandUnseenMessages()
    {
        ImapCheck check;
        QCOMPARE(check.login(server("imaps://", "IMAPS_PORT"), user("MANY_USER"), password()), 1000);
        for (int n = 1; n <= 1000; ++n) {
            QCOMPARE(check.header(n), MailboxFailure::None);
            QCOMPARE(check.last.subject, u"Many %1"_s.arg(n, 4, 10, QChar(u'0')));
        }
        check.close();
        ImapCheck empty;
        QCOMPARE(empty.login(server("imap://", "IMAP_PORT"), user("EMPTY_USER"), password()), 0);
        QCOMPARE(empty.header(1), MailboxFailure::MessageFailed);
        empty.close();
    }

    void wrongPasswordIsRefused()
    {
        ImapCheck check;
        QCOMPARE(check.login(server("imap://", "IMAP_PORT"), user("THREE_USER"), u"wrong"_s), -1);
        QCOMPARE(check.failure, MailboxFailure::LoginFailed);
        QVERIFY2(check.text.startsWith(pop3::failure::loginRejected("")),
                 qPrintable(check.text));
        // The server's own words follow.
        const QString servers =
            isDovecot() ? u"AUTHENTICATIONFAILED"_s : u"User name or passwd rejected"_s;
        QVERIFY2(check.text.contains(servers), qPrintable(check.text));
    }

    // Sign-in with a token from the identity provider, against the sign-in fixture's Dovecot
    // (ctest's imap_signin), over STARTTLS and imaps: a valid token logs in; once the provider
    // says it has expired, the caller is told the token was refused, without the token in the
    // text; a fresh one logs in again.
    void bearerTokens_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("STARTTLS") << server("imap://", "IMAP_PORT");
        QTest::newRow("imaps") << server("imaps://", "IMAPS_PORT");
    }
    void bearerTokens()
    {
        if (m_info[u"IDP_TOKEN_URL"_s].isEmpty())
            QSKIP("runs as imap_signin");
        QFETCH(QString, server);
        tests::IdentityProvider provider(m_info);
        const QString oauthUser = user("OAUTH_USER");
        const QByteArray token = provider.accessToken(oauthUser);
        QVERIFY2(!token.isEmpty(), qPrintable(provider.lastError()));
        const auto bearer = platform::LoginMethod::BearerToken;
        ImapCheck check;
        QCOMPARE(check.login(server, oauthUser, QString::fromUtf8(token), bearer), 3);
        QCOMPARE(check.header(1), MailboxFailure::None);
        QCOMPARE(check.last.subject, u"Plain subject"_s);
        check.close();

        QVERIFY(provider.expireAccessTokens());
        ImapCheck expired;
        QCOMPARE(expired.login(server, oauthUser, QString::fromUtf8(token), bearer), -1);
        QCOMPARE(expired.failure, MailboxFailure::TokenRefused);
        QVERIFY2(expired.text.startsWith(pop3::failure::tokenRefused("", {})), qPrintable(expired.text));
        QVERIFY(!expired.text.contains(QString::fromUtf8(token)));

        const QByteArray fresh = provider.accessToken(oauthUser);
        QVERIFY2(!fresh.isEmpty() && fresh != token, qPrintable(provider.lastError()));
        ImapCheck again;
        QCOMPARE(again.login(server, oauthUser, QString::fromUtf8(fresh), bearer), 3);
        again.close();
    }

    // Without the fixture's CA (ctest's imap_dovecot_untrusted): no password goes out, over
    // STARTTLS or imaps, and the text says why.
    void untrustedCertificateIsRefused()
    {
        if (!qEnvironmentVariableIsSet("PELMORA_TRUST_NO_TEST_CA"))
            QSKIP("runs as imap_dovecot_untrusted");
        for (const QString& name : {server("imap://", "IMAP_PORT"), server("imaps://", "IMAPS_PORT")}) {
            ImapCheck check;
            QCOMPARE(check.login(name, user("UNTRUSTED_USER"), password()), -1);
            QCOMPARE(check.failure, MailboxFailure::LoginFailed);
            QVERIFY2(check.text.startsWith(pop3::failure::tlsFailed(u""_s)), qPrintable(check.text));
        }
        QFile log(m_info[u"LOG"_s]);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(!log.readAll().contains("Login: user=<untrusted>"));
    }
};

QTEST_MAIN(ImapDovecotTest)
#include "DovecotTest.moc"
