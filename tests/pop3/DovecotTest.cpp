// The whole POP3 mailbox against a real POP3 server: a private Dovecot started by the "dovecot"
// fixture. Dovecot's log is the witness for what happened on the server's side (login method,
// TLS, how many headers were read and that no message was retrieved). The check's own reading of a mailbox also runs against
// GNU Mailutils pop3d (ctest's pop3_mailutils, the "mailutils" fixture), whose log says less.

#include "pop3/FailureText.h"
#include "pop3/Pop3Mailbox.h"
#include "tests/servers/DovecotInfo.h"
#include "tests/servers/IdentityProvider.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

using namespace pelmora::platform;
using pelmora::pop3::Pop3Mailbox;
namespace pop3 = pelmora::pop3;
using namespace pelmora::tests;
using namespace Qt::StringLiterals;

namespace {

constexpr LoginMethod kApop = LoginMethod::Apop;
constexpr LoginMethod kUserPass = LoginMethod::Password;

// A session as the check holds it, and what its login answered (a server that could not be
// reached: LoginFailed with the reason).
struct Login {
    std::unique_ptr<MailboxSession> session;
    MailboxAnswer<int> answer;
    // The header of message n, or nothing (the failure's text is then in the test's log).
    std::optional<MailHeader> header(int n)
    {
        const auto got = session->header(n);
        if (!got.ok()) {
            qWarning("header %d: %s", n, qPrintable(got.text));
            return std::nullopt;
        }
        return got.value;
    }
};

} // namespace

class DovecotTest : public QObject {
    Q_OBJECT

    DovecotInfo m_info;
    qint64 m_logStart = 0;
    Pop3Mailbox m_mailbox{pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)}};

    QByteArray plainServer() const { return "127.0.0.1:" + m_info[u"PORT"_s].toUtf8(); }
    bool isDovecot() const { return m_info[u"SERVER"_s] == u"dovecot"_s; }
    QByteArray tlsServer() const { return "pop3s://127.0.0.1:" + m_info[u"TLS_PORT"_s].toUtf8(); }
    QByteArray user(const char* key) const { return m_info[QString::fromLatin1(key)].toUtf8(); }
    QByteArray password() const { return m_info[u"PASSWORD"_s].toUtf8(); }

    // Waits (Dovecot writes its logout line a moment after the session ends) for a line logged
    // since the test function started that contains every one of `parts`.
    bool logHasLine(const QStringList& parts) const
    {
        QElapsedTimer clock;
        clock.start();
        do {
            QFile log(m_info[u"LOG"_s]);
            if (log.open(QIODevice::ReadOnly) && log.seek(m_logStart)) {
                const auto lines = QString::fromUtf8(log.readAll()).split(u'\n');
                for (const QString& line : lines) {
                    if (std::all_of(parts.begin(), parts.end(),
                                    [&](const QString& p) { return line.contains(p); }))
                        return true;
                }
            }
            QTest::qWait(20);
        } while (clock.elapsed() < 3000);
        return false;
    }

    Login login(const QByteArray& server, const QByteArray& userId, LoginMethod method,
                const QByteArray& secret = {})
    {
        Login result;
        QString failure;
        result.session = m_mailbox.open(QString::fromUtf8(server), &failure);
        if (!result.session) {
            result.answer = {-1000, MailboxFailure::LoginFailed, failure};
            return result;
        }
        result.answer = result.session->logIn({QString::fromUtf8(userId),
                                               QString::fromUtf8(secret.isEmpty() ? password() : secret),
                                               method});
        return result;
    }

private slots:
    void initTestCase()
    {
        m_info = DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(m_info);
        QVERIFY(QSslSocket::supportsSsl());
        // Qt reads the trusted certificates once per process, so the case without the fixture's
        // CA runs in a process of its own (ctest's pop3_dovecot_untrusted).
        if (qEnvironmentVariableIsSet("PELMORA_TRUST_NO_TEST_CA"))
            qunsetenv("SSL_CERT_FILE");
        else
            qputenv("SSL_CERT_FILE", m_info[u"CA_CERT"_s].toUtf8());
    }

    void init() { m_logStart = QFile(m_info[u"LOG"_s]).size(); }

    void untrustedCertificateIsRefused()
    {
        if (!qEnvironmentVariableIsSet("PELMORA_TRUST_NO_TEST_CA"))
            QSKIP("runs as pop3_dovecot_untrusted");
        for (const QByteArray& server : {plainServer(), tlsServer()}) {
            auto check = login(server, user("UNTRUSTED_USER"), kUserPass);
            QCOMPARE(check.answer.failure, MailboxFailure::LoginFailed);
            const QString text = check.answer.text;
            QVERIFY2(text.startsWith(pop3::failure::tlsFailed(u""_s)), qPrintable(text));
            QVERIFY2(text.contains(u"certificate"_s), qPrintable(text));
            check.session->close();
        }
        // Never downgraded: no login reached Dovecot.
        QVERIFY(!logHasLine({u"Login: user=<untrusted>"_s}));
    }

    // The check's reading of a mailbox, over every kind of connection the server has: STLS on
    // the plain port (taken because it is offered), TLS from the first byte, and no TLS at all.
    void threeMessagesOverEveryConnectionKind_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<QString>("tls");
        QTest::newRow("STLS") << plainServer() << u", TLS"_s;
        QTest::newRow("pop3s") << tlsServer() << u", TLS"_s;
        if (!m_info[u"PLAIN_PORT"_s].isEmpty())
            QTest::newRow("no TLS") << "127.0.0.1:" + m_info[u"PLAIN_PORT"_s].toUtf8() << u""_s;
    }
    void threeMessagesOverEveryConnectionKind()
    {
        QFETCH(QByteArray, server);
        QFETCH(QString, tls);
        auto check = login(server, user("THREE_USER"), kUserPass);
        QCOMPARE(check.answer.value, 3);
        const auto first = check.header(1);
        const auto second = check.header(2);
        const auto third = check.header(3);
        QVERIFY(first && second && third);
        QCOMPARE(first->subject, u"Plain subject"_s);
        QCOMPARE(first->from, u"Pelmora Test <sender@pelmora.test>"_s);
        QCOMPARE(first->sender, u"Pelmora Test"_s);
        QCOMPARE(first->date, u"Mon, 1 Jan 2024 09:00:00 +0900"_s);
        QVERIFY(first->raw.startsWith("From: Pelmora Test <sender@pelmora.test>\r\nTo: three@"));
        QVERIFY(first->raw.endsWith("Content-Type: text/plain; charset=UTF-8\r\n"));
        QCOMPARE(second->subject, u"日本語"_s);
        QCOMPARE(third->subject, u"こんにちはcafé"_s);
        check.session->close();
        if (isDovecot()) {
            QVERIFY(logHasLine({u"Login: user=<three>, method=PLAIN"_s, tls}));
            // One TOP a message, and nothing retrieved: nothing is marked as read.
            QVERIFY(logHasLine({u"pop3(three)"_s, u"top=3/"_s, u"retr=0/"_s}));
        }
    }

    // Sign-in with a token from the identity provider, against the sign-in fixture's Dovecot
    // (ctest's pop3_signin), over STLS and pop3s: a valid token logs in; once the provider says
    // it has expired, Dovecot refuses it and the caller is told so (kTokenRefused), without the
    // token in the text; a fresh token logs in again.
    void bearerTokens_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::newRow("STLS") << plainServer();
        QTest::newRow("pop3s") << tlsServer();
    }
    void bearerTokens()
    {
        if (m_info[u"IDP_TOKEN_URL"_s].isEmpty())
            QSKIP("runs as pop3_signin");
        QFETCH(QByteArray, server);
        IdentityProvider provider(m_info);
        const QByteArray oauthUser = user("OAUTH_USER");
        const QByteArray token = provider.accessToken(QString::fromUtf8(oauthUser));
        QVERIFY2(!token.isEmpty(), qPrintable(provider.lastError()));
        auto check = login(server, oauthUser, LoginMethod::BearerToken, token);
        QCOMPARE(check.answer.value, 3);
        const auto first = check.header(1);
        QVERIFY(first);
        QCOMPARE(first->subject, u"Plain subject"_s);
        check.session->close();
        QVERIFY(logHasLine({u"Login: user=<oauth>, method=OAUTHBEARER"_s, u", TLS"_s}));

        QVERIFY(provider.expireAccessTokens());
        init();
        check = login(server, oauthUser, LoginMethod::BearerToken, token);
        QCOMPARE(check.answer.failure, MailboxFailure::TokenRefused);
        const QString text = check.answer.text;
        QVERIFY2(text.startsWith(pop3::failure::tokenRefused("", {})), qPrintable(text));
        QVERIFY2(text.contains(u"-ERR"_s), qPrintable(text));
        QVERIFY(!text.contains(QString::fromUtf8(token)));
        // Dovecot's challenge says why; it was answered, so its -ERR came too.
        QVERIFY2(text.contains(u"invalid_token"_s), qPrintable(text));
        check.session->close();
        QVERIFY(logHasLine({u"user=<oauth>, method=OAUTHBEARER"_s, u"auth failed"_s}));

        const QByteArray fresh = provider.accessToken(QString::fromUtf8(oauthUser));
        QVERIFY2(!fresh.isEmpty() && fresh != token, qPrintable(provider.lastError()));
        check = login(server, oauthUser, LoginMethod::BearerToken, fresh);
        QCOMPARE(check.answer.value, 3);
        check.session->close();
        QVERIFY(logHasLine({u"Login: user=<oauth>, method=OAUTHBEARER"_s, u", TLS"_s}));
    }

    void apopLogin()
    {
        auto check = login(plainServer(), user("EMPTY_USER"), kApop);
        QVERIFY(check.answer.ok());
        QCOMPARE(check.answer.value, 0);
        check.session->close();
        QVERIFY(logHasLine({u"Login: user=<empty>, method=APOP"_s}));
    }

    void pop3sFromTheFirstByte()
    {
        auto check = login(tlsServer(), user("THREE_USER"), kApop);
        QCOMPARE(check.answer.value, 3);
        const auto first = check.header(1);
        QVERIFY(first);
        QCOMPARE(first->subject, u"Plain subject"_s);
        check.session->close();
        QVERIFY(logHasLine({u"Login: user=<three>, method=APOP"_s, u", TLS"_s}));
    }

    void wrongPasswordGivesTheServersText()
    {
        auto check = login(plainServer(), "three", kUserPass, "wrong");
        QCOMPARE(check.answer.failure, MailboxFailure::LoginFailed);
        QCOMPARE(check.answer.text, pop3::failure::loginRejected("-ERR [AUTH] Authentication failed."));
        // A failed login leaves nothing to read; the session still closes.
        QVERIFY(!check.session->header(1).ok());
        check.session->close();
    }

    void emptyMailboxAndMessageNumbersOutOfRange()
    {
        auto check = login(plainServer(), user("EMPTY_USER"), kUserPass);
        QCOMPARE(check.answer.value, 0);
        const auto header = check.session->header(1);
        QCOMPARE(header.failure, MailboxFailure::MessageFailed);
        QCOMPARE(header.text, pop3::failure::noSuchMessage(1, 0));
        check.session->close();
        check.session->close();
    }

    void thousandMessagesEachRead()
    {
        auto check = login(plainServer(), user("MANY_USER"), kUserPass);
        QCOMPARE(check.answer.value, 1000);
        for (int n = 1; n <= 1000; ++n) {
            const auto header = check.header(n);
            QVERIFY(header);
            QCOMPARE(header->subject, u"Many %1"_s.arg(n, 4, 10, QChar(u'0')));
        }
        check.session->close();
        if (isDovecot())
            QVERIFY(logHasLine({u"pop3(many)"_s, u"top=1000/"_s, u"retr=0/"_s, u"del=0/1000"_s}));
    }

    // The unique ids are Dovecot's, in its message order, the same in every session; headers
    // are read as before after them. An empty mailbox has none.
    void uniqueIdsAreTheServers()
    {
        if (!isDovecot())
            QSKIP("Dovecot's own record of its ids is the witness");
        auto check = login(plainServer(), user("THREE_USER"), kUserPass);
        QCOMPARE(check.answer.value, 3);
        const auto ids = check.session->messageIds();
        QVERIFY2(ids.ok(), qPrintable(ids.text));
        const QString maildir =
            m_info[u"BASE"_s] + u"/home/"_s + m_info[u"THREE_USER"_s] + u"/Maildir"_s;
        const QList<QByteArray> dovecots = dovecotUidls(maildir);
        QCOMPARE(dovecots.size(), 3);
        QCOMPARE(ids.value, dovecots);
        const auto third = check.header(3);
        QVERIFY(third);
        QCOMPARE(third->subject, u"こんにちはcafé"_s);
        check.session->close();

        check = login(tlsServer(), user("THREE_USER"), kApop);
        QCOMPARE(check.session->messageIds().value, dovecots);
        check.session->close();
        check = login(plainServer(), user("EMPTY_USER"), kUserPass);
        const auto none = check.session->messageIds();
        QVERIFY(none.ok());
        QVERIFY(none.value.isEmpty());
        check.session->close();
    }

    // The UI keeps running while the mailbox waits, and a second check may start inside the
    // first one's wait: both must complete, each on its own session.
    void secondCheckInsideARunningOne()
    {
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(5);

        bool nestedDone = false;
        QTimer::singleShot(0, this, [&] {
            auto inner = login(tlsServer(), user("THREE_USER"), kUserPass);
            QCOMPARE(inner.answer.value, 3);
            for (int n = 1; n <= 3; ++n)
                QVERIFY(inner.header(n));
            inner.session->close();
            nestedDone = true;
        });
        auto outer = login(plainServer(), user("MANY_USER"), kUserPass);
        QCOMPARE(outer.answer.value, 1000);
        for (int n = 1; n <= 200; ++n)
            QVERIFY(outer.header(n));
        outer.session->close();
        QVERIFY(nestedDone);
        QVERIFY2(ticks > 0, "the timer never ticked while the library waited");
    }

    // A certificate signed by a trusted CA, but for another name, is refused. Dovecot has one
    // certificate for 127.0.0.1, so this server is ours.
    void certificateForAnotherHostIsRefused()
    {
        QFile certFile(m_info[u"WRONG_HOST_CERT"_s]), keyFile(m_info[u"WRONG_HOST_KEY"_s]);
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(&certFile));
        configuration.setPrivateKey(QSslKey(&keyFile, QSsl::Ec));
        QSslServer server;
        server.setSslConfiguration(configuration);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray address = "pop3s://127.0.0.1:" + QByteArray::number(server.serverPort());
        auto check = login(address, "three", kUserPass);
        QCOMPARE(check.answer.failure, MailboxFailure::LoginFailed);
        const QString text = check.answer.text;
        QVERIFY2(text.startsWith(pop3::failure::tlsFailed(u""_s)), qPrintable(text));
        QVERIFY2(text.contains(u"host name did not match"_s), qPrintable(text));
        check.session->close();
    }
};

QTEST_GUILESS_MAIN(DovecotTest)
#include "DovecotTest.moc"
