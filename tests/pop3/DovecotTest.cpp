// The whole library against a real POP3 server: a private Dovecot started by the "dovecot"
// fixture. Dovecot's log is the witness for what happened on the server's side (login method,
// TLS, how many messages were retrieved). The check's own reading of a mailbox also runs against
// GNU Mailutils pop3d (ctest's pop3_mailutils, the "mailutils" fixture), whose log says less.

#include "pop3/FailureText.h"
#include "pop3/Pop3MailLibrary.h"
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
using pelmora::pop3::Pop3MailLibrary;
namespace pop3 = pelmora::pop3;
using namespace pelmora::tests;
using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t kApop = MailLibrary::kLoginApop;
constexpr std::int32_t kUserPass = MailLibrary::kLoginPlain;

MailBuffer textBuffer() { return MailBuffer(MailLibrary::kTextBufferCapacity, ' '); }

QByteArray lastFailure(MailLibrary& library)
{
    MailBuffer buffer = textBuffer();
    std::int32_t capacity = MailLibrary::kTextBufferCapacity;
    library.NMailGetMessage(0, buffer, capacity);
    return QByteArray(buffer.c_str());
}

struct Message {
    QString subject, from, date;
    QByteArray header, body;
    std::int32_t size = 0;
};

// One message the way the check reads it: status, size, then the message into size + 1 bytes
// (of which the library fills the header: it never retrieves a message).
std::optional<Message> readMessage(MailLibrary& library, std::int32_t handle, std::int32_t n)
{
    MailBuffer subject = textBuffer(), from = textBuffer(), date = textBuffer(),
               header = textBuffer();
    if (library.NMailPop3GetMailStatus(handle, n, subject, from, date, header, 0) != n)
        return std::nullopt;
    Message m;
    m.size = library.NMailPop3GetMailSize(handle, n);
    if (m.size < 0)
        return std::nullopt;
    MailBuffer body(std::size_t(m.size) + 1, ' ');
    subject = textBuffer(), from = textBuffer(), date = textBuffer(), header = textBuffer();
    if (library.NMailPop3GetMail(handle, n, subject, from, date, header, body, 0, 0) < 0)
        return std::nullopt;
    m.subject = QString::fromUtf8(subject.c_str());
    m.from = QString::fromUtf8(from.c_str());
    m.date = QString::fromUtf8(date.c_str());
    m.header = QByteArray(header.c_str());
    m.body = QByteArray(body.c_str());
    return m;
}

} // namespace

class DovecotTest : public QObject {
    Q_OBJECT

    DovecotInfo m_info;
    qint64 m_logStart = 0;
    Pop3MailLibrary m_library{pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)}};

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

    std::int32_t login(const QByteArray& server, const QByteArray& userId, std::int32_t method,
                       std::int32_t* handleOut, const QByteArray& secret = {})
    {
        const std::int32_t handle = m_library.NMailPop3Connect(server);
        *handleOut = handle;
        if (handle < 0)
            return -1000;
        return m_library.NMailPop3Authenticate(handle, userId,
                                               secret.isEmpty() ? password() : secret, method);
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
            std::int32_t handle = 0;
            QCOMPARE(login(server, user("UNTRUSTED_USER"), kUserPass, &handle), -1);
            const QString text = QString::fromUtf8(lastFailure(m_library));
            QVERIFY2(text.startsWith(pop3::failure::tlsFailed(u""_s)), qPrintable(text));
            QVERIFY2(text.contains(u"certificate"_s), qPrintable(text));
            QCOMPARE(m_library.NMailPop3Close(handle), 0);
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
        std::int32_t handle = 0;
        QCOMPARE(login(server, user("THREE_USER"), kUserPass, &handle), 3);
        const auto first = readMessage(m_library, handle, 1);
        const auto second = readMessage(m_library, handle, 2);
        const auto third = readMessage(m_library, handle, 3);
        QVERIFY(first && second && third);
        QCOMPARE(first->subject, u"Plain subject"_s);
        QCOMPARE(first->from, u"Pelmora Test <sender@pelmora.test>"_s);
        QCOMPARE(first->date, u"Mon, 1 Jan 2024 09:00:00 +0900"_s);
        QVERIFY(first->header.startsWith("From: Pelmora Test <sender@pelmora.test>\r\nTo: three@"));
        QVERIFY(first->header.endsWith("Content-Type: text/plain; charset=UTF-8\r\n"));
        // Of the message only its header is read; LIST counted the whole message.
        QCOMPARE(first->body, first->header);
        QCOMPARE(first->size, first->header.size() + qsizetype(sizeof("\r\nFirst message.\r\n")) - 1);
        QCOMPARE(second->subject, u"日本語"_s);
        QCOMPARE(third->subject, u"こんにちはcafé"_s);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
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
        std::int32_t handle = 0;
        QCOMPARE(login(server, oauthUser, MailLibrary::kLoginBearerToken, &handle, token), 3);
        const auto first = readMessage(m_library, handle, 1);
        QVERIFY(first);
        QCOMPARE(first->subject, u"Plain subject"_s);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QVERIFY(logHasLine({u"Login: user=<oauth>, method=OAUTHBEARER"_s, u", TLS"_s}));

        QVERIFY(provider.expireAccessTokens());
        init();
        QCOMPARE(login(server, oauthUser, MailLibrary::kLoginBearerToken, &handle, token),
                 MailLibrary::kTokenRefused);
        const QString text = QString::fromUtf8(lastFailure(m_library));
        QVERIFY2(text.startsWith(pop3::failure::tokenRefused("", {})), qPrintable(text));
        QVERIFY2(text.contains(u"-ERR"_s), qPrintable(text));
        QVERIFY(!text.contains(QString::fromUtf8(token)));
        // Dovecot's challenge says why; it was answered, so its -ERR came too.
        QVERIFY2(text.contains(u"invalid_token"_s), qPrintable(text));
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QVERIFY(logHasLine({u"user=<oauth>, method=OAUTHBEARER"_s, u"auth failed"_s}));

        const QByteArray fresh = provider.accessToken(QString::fromUtf8(oauthUser));
        QVERIFY2(!fresh.isEmpty() && fresh != token, qPrintable(provider.lastError()));
        QCOMPARE(login(server, oauthUser, MailLibrary::kLoginBearerToken, &handle, fresh), 3);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QVERIFY(logHasLine({u"Login: user=<oauth>, method=OAUTHBEARER"_s, u", TLS"_s}));
    }

    void apopLogin()
    {
        std::int32_t handle = 0;
        QCOMPARE(login(plainServer(), user("EMPTY_USER"), kApop, &handle), 0);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QVERIFY(logHasLine({u"Login: user=<empty>, method=APOP"_s}));
    }

    void pop3sFromTheFirstByte()
    {
        std::int32_t handle = 0;
        QCOMPARE(login(tlsServer(), user("THREE_USER"), kApop, &handle), 3);
        const auto first = readMessage(m_library, handle, 1);
        QVERIFY(first);
        QCOMPARE(first->subject, u"Plain subject"_s);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QVERIFY(logHasLine({u"Login: user=<three>, method=APOP"_s, u", TLS"_s}));
    }

    void wrongPasswordGivesTheServersText()
    {
        const std::int32_t handle = m_library.NMailPop3Connect(plainServer());
        QVERIFY(handle > 0);
        QVERIFY(m_library.NMailPop3Authenticate(handle, "three", "wrong", kUserPass) < 0);
        QCOMPARE(lastFailure(m_library),
                 pop3::failure::loginRejected("-ERR [AUTH] Authentication failed.").toUtf8());

        // The text is cut to the caller's capacity, NUL included, never inside a character.
        MailBuffer small(64, ' ');
        std::int32_t capacity = 10;
        QCOMPARE(m_library.NMailGetMessage(0, small, capacity), 9);
        QCOMPARE(QByteArray(small.c_str()), pop3::failure::loginRejected("").toUtf8().left(9));
        capacity = 8;
        QCOMPARE(m_library.NMailGetMessage(0, small, capacity), 6); // two 3-byte characters fit
        QCOMPARE(small[6], '\0');
        QCOMPARE(small.size(), std::size_t(64));

        // A failed login leaves nothing to read; the handle still closes.
        MailBuffer b1 = textBuffer(), b2 = textBuffer(), b3 = textBuffer(), b4 = textBuffer();
        QVERIFY(m_library.NMailPop3GetMailStatus(handle, 1, b1, b2, b3, b4, 0) < 0);
        QVERIFY(m_library.NMailPop3GetMailSize(handle, 1) < 0);
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
    }

    void emptyMailboxAndMessageNumbersOutOfRange()
    {
        std::int32_t handle = 0;
        QCOMPARE(login(plainServer(), user("EMPTY_USER"), kUserPass, &handle), 0);
        QCOMPARE(m_library.NMailPop3GetMailSize(handle, 1), -1);
        QCOMPARE(lastFailure(m_library), pop3::failure::noSuchMessage(1, 0).toUtf8());
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        QCOMPARE(m_library.NMailPop3Close(handle), -1);
        QCOMPARE(lastFailure(m_library), pop3::failure::invalidHandle(handle).toUtf8());
    }

    void thousandMessagesEachRead()
    {
        std::int32_t handle = 0;
        QCOMPARE(login(plainServer(), user("MANY_USER"), kUserPass, &handle), 1000);
        for (std::int32_t n = 1; n <= 1000; ++n) {
            const auto message = readMessage(m_library, handle, n);
            QVERIFY2(message, qPrintable(QString::fromUtf8(lastFailure(m_library))));
            QCOMPARE(message->subject, u"Many %1"_s.arg(n, 4, 10, QChar(u'0')));
            QVERIFY(message->size > message->header.size());
        }
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
        if (isDovecot())
            QVERIFY(logHasLine({u"pop3(many)"_s, u"top=1000/"_s, u"retr=0/"_s, u"del=0/1000"_s}));
    }

    // The UI keeps running while the library waits, and a second check may start inside the
    // first one's wait: both must complete, each on its own handle.
    void secondCheckInsideARunningOne()
    {
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(5);

        bool nestedDone = false;
        QTimer::singleShot(0, this, [&] {
            std::int32_t inner = 0;
            QCOMPARE(login(tlsServer(), user("THREE_USER"), kUserPass, &inner), 3);
            for (std::int32_t n = 1; n <= 3; ++n)
                QVERIFY(readMessage(m_library, inner, n));
            QCOMPARE(m_library.NMailPop3Close(inner), 0);
            nestedDone = true;
        });
        std::int32_t outer = 0;
        QCOMPARE(login(plainServer(), user("MANY_USER"), kUserPass, &outer), 1000);
        for (std::int32_t n = 1; n <= 200; ++n)
            QVERIFY(readMessage(m_library, outer, n));
        QCOMPARE(m_library.NMailPop3Close(outer), 0);
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
        const std::int32_t handle = m_library.NMailPop3Connect(address);
        QVERIFY(handle > 0);
        QCOMPARE(m_library.NMailPop3Authenticate(handle, "three", password(), kUserPass), -1);
        const QString text = QString::fromUtf8(lastFailure(m_library));
        QVERIFY2(text.startsWith(pop3::failure::tlsFailed(u""_s)), qPrintable(text));
        QVERIFY2(text.contains(u"host name did not match"_s), qPrintable(text));
        QCOMPARE(m_library.NMailPop3Close(handle), 0);
    }
};

QTEST_GUILESS_MAIN(DovecotTest)
#include "DovecotTest.moc"
