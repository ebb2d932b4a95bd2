// The protocol core against scripted server replies: each transcript says what the server sends
// and the exact lines the client must send back. Every transcript runs with the server's bytes fed
// whole, one byte at a time, and split in two at every byte boundary of every reply.

#include "pop3/FailureText.h"
#include "pop3/Pop3Limits.h"
#include "pop3/Pop3Session.h"

#include <QTest>

#include <functional>
#include <tuple>
#include <vector>

using namespace pelmora::pop3;
using namespace Qt::StringLiterals;
using State = Session::State;

namespace {

struct Step {
    enum class Kind { Server, Client, Act } kind;
    QByteArray bytes;
    std::function<void(Session&)> act;
};

Step server(QByteArray bytes) { return {Step::Kind::Server, std::move(bytes), {}}; }
Step client(QByteArray bytes) { return {Step::Kind::Client, std::move(bytes), {}}; }
Step act(std::function<void(Session&)> f) { return {Step::Kind::Act, {}, std::move(f)}; }
Step expectState(State state)
{
    return act([state](Session& s) { QCOMPARE(s.state(), state); });
}
Step expectFailure(QString text)
{
    return act([text](Session& s) {
        QCOMPARE(s.state(), State::Failed);
        QCOMPARE(s.failure(), text);
    });
}

struct Transcript {
    Credentials credentials;
    bool secure = false;
    std::vector<Step> steps;
    ReadAhead readAhead = {};
};

// How a server reply is cut into the pieces handed to feed(). Bytes the session does not take
// while it pauses are offered again after every step, as the socket driver does.
using Splitter = std::function<QList<QByteArray>(int stepIndex, const QByteArray&)>;

// Bodies written by RETR go here; it outlives every session of a run.
std::string g_body;

void play(const Transcript& t, const Splitter& split, const QString& how)
{
    Session session(t.credentials, t.secure, true, t.readAhead);
    session.setServer("pop.pelmora.test", 995);
    QByteArray unread;
    const auto offer = [&] { unread.remove(0, session.feed(unread)); };
    for (int i = 0; i < int(t.steps.size()); ++i) {
        const Step& step = t.steps[std::size_t(i)];
        switch (step.kind) {
        case Step::Kind::Server:
            for (const QByteArray& piece : split(i, step.bytes)) {
                unread += piece;
                offer();
            }
            break;
        case Step::Kind::Client: {
            const QByteArray sent = session.takeOutgoing();
            if (sent != step.bytes) {
                QFAIL(qPrintable(u"step %1 (%2): client sent %3, expected %4"_s.arg(i).arg(how,
                    QString::fromLatin1(sent.toPercentEncoding(" ")),
                    QString::fromLatin1(step.bytes.toPercentEncoding(" ")))));
            }
            break;
        }
        case Step::Kind::Act:
            step.act(session);
            if (QTest::currentTestFailed()) {
                qWarning("failed at step %d (%s)", i, qPrintable(how));
                return;
            }
            offer();
            break;
        }
    }
    QCOMPARE(session.takeOutgoing(), QByteArray());
    QCOMPARE(unread, QByteArray());
}

void playEverySplit(const Transcript& t)
{
    play(t, [](int, const QByteArray& b) { return QList<QByteArray>{b}; }, u"whole"_s);
    if (QTest::currentTestFailed())
        return;
    play(t, [](int, const QByteArray& b) {
        QList<QByteArray> bytes;
        for (char c : b)
            bytes.append(QByteArray(1, c));
        return bytes;
    }, u"byte by byte"_s);
    for (int stepIndex = 0; stepIndex < int(t.steps.size()); ++stepIndex) {
        const Step& step = t.steps[std::size_t(stepIndex)];
        if (step.kind != Step::Kind::Server)
            continue;
        for (qsizetype cut = 1; cut < step.bytes.size(); ++cut) {
            play(t, [&](int i, const QByteArray& b) {
                if (i != stepIndex)
                    return QList<QByteArray>{b};
                return QList<QByteArray>{b.first(cut), b.sliced(cut)};
            }, u"step %1 cut at %2"_s.arg(stepIndex).arg(cut));
            if (QTest::currentTestFailed())
                return;
        }
    }
}

Step expectHeader(int n, QByteArray header)
{
    return act([=](Session& s) {
        const auto answer = s.takeHeader(n);
        QVERIFY(answer.has_value());
        QVERIFY(answer->ok);
        QCOMPARE(answer->value, header);
    });
}
Step expectSize(int n, std::int64_t size)
{
    return act([=](Session& s) {
        const auto answer = s.takeSize(n);
        QVERIFY(answer.has_value());
        QVERIFY(answer->ok);
        QCOMPARE(answer->value, size);
    });
}
Step expectSizeRefused(int n, QString text)
{
    return act([=](Session& s) {
        const auto answer = s.takeSize(n);
        QVERIFY(answer.has_value());
        QVERIFY(!answer->ok);
        QCOMPARE(answer->failure, text);
        QCOMPARE(s.state(), State::Transaction);
    });
}
Step retrieve(int n, std::size_t capacity)
{
    return act([=](Session& s) {
        g_body.assign(capacity, ' ');
        s.requestMessage(n, &g_body);
    });
}
Step expectRetrieved(QByteArray header, QByteArray message, std::int64_t size)
{
    return act([=](Session& s) {
        QVERIFY(s.retrieval().done);
        QVERIFY(s.retrieval().ok);
        QCOMPARE(s.retrieval().header, header);
        QCOMPARE(QByteArray(g_body.c_str()), message);
        QCOMPARE(s.retrieval().size, size);
    });
}
Step expectRetrievalFailed(QString text)
{
    return act([=](Session& s) {
        QVERIFY(s.retrieval().done);
        QVERIFY(!s.retrieval().ok);
        QCOMPARE(s.retrieval().failure, text);
    });
}
Step askHeader(int n) { return act([=](Session& s) { s.requestHeader(n); }); }
Step askSize(int n) { return act([=](Session& s) { s.requestSize(n); }); }

QByteArray messageText(int n) { return "Subject: " + QByteArray::number(n) + "\r\n\r\nbody\r\n"; }

// Replies of a server whose message n is "Subject: n", a blank line and "body" (20 bytes).
QByteArray topReply(int n) { return "+OK\r\nSubject: " + QByteArray::number(n) + "\r\n\r\n.\r\n"; }
QByteArray listReply(int n, int size)
{
    return "+OK " + QByteArray::number(n) + ' ' + QByteArray::number(size) + "\r\n";
}
QByteArray retrReply(int n) { return "+OK\r\n" + messageText(n) + ".\r\n"; }
QByteArray subjectLine(int n) { return "Subject: " + QByteArray::number(n) + "\r\n"; }

const QByteArray kGreeting = "+OK Dovecot ready. <123.456@pelmora.test>\r\n";
const QByteArray kNoCapa = "-ERR Unknown command\r\n";
const QByteArray kUserPass[] = {"USER alice\r\n", "+OK\r\n", "PASS s3cret\r\n", "+OK Logged in.\r\n"};

// A server that will not list all messages at once: sizes are then asked for one by one.
const QByteArray kNoListOfAll = "-ERR Give a message number\r\n";

// `listOfAll`: the reply to LIST without an argument, which goes along with STAT when the server
// offers PIPELINING.
std::vector<Step> loggedIn(const QByteArray& stat, bool pipelining = false,
                           const QByteArray& listOfAll = kNoListOfAll)
{
    if (pipelining) {
        // USER and PASS in one round trip; nothing follows PASS before its reply.
        return {server(kGreeting), client("CAPA\r\n"),
                server("+OK\r\nUIDL\r\nPIPELINING\r\nTOP\r\n.\r\n"),
                client(kUserPass[0] + kUserPass[2]), server(kUserPass[1] + kUserPass[3]),
                client("STAT\r\nLIST\r\n"), server(stat + listOfAll)};
    }
    return {server(kGreeting), client("CAPA\r\n"), server(kNoCapa),
            client(kUserPass[0]), server(kUserPass[1]), client(kUserPass[2]), server(kUserPass[3]),
            client("STAT\r\n"), server(stat)};
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Credentials kAlice{"alice", "s3cret"};
const Credentials kTokenUser{"alice@pelmora.test", "tok-123", LoginMethod::BearerToken};

// The initial responses for kTokenUser on pop.pelmora.test:995 (base64, as printed by Python's
// base64 module from the fields of RFC 7628 and of XOAUTH2).
const QByteArray kOauthBearerResponse =
    "bixhPWFsaWNlQHBlbG1vcmEudGVzdCwBaG9zdD1wb3AucGVsbW9yYS50ZXN0AXBvcnQ9OTk1AWF1dGg9"
    "QmVhcmVyIHRvay0xMjMBAQ==\r\n";
const QByteArray kXoauth2Response = "dXNlcj1hbGljZUBwZWxtb3JhLnRlc3QBYXV0aD1CZWFyZXIgdG9rLTEyMwEB\r\n";
// What a server says when it refuses a token: {"status":"401","schemes":"bearer","scope":"mail"}.
const QByteArray kRefusalChallenge =
    "+ eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=\r\n";
const QByteArray kAuthFailed = "-ERR [AUTH] Authentication failed.";

// Greeting and capabilities up to the client's AUTH, already on TLS.
std::vector<Step> upToAuth(const QByteArray& capabilities, const QByteArray& auth)
{
    return {server(kGreeting), client("CAPA\r\n"), server(capabilities), client(auth)};
}

// The login failed because the token was refused, and the text shows none of it.
Step expectTokenRefused(QString text)
{
    return act([text](Session& s) {
        QCOMPARE(s.state(), State::Failed);
        QCOMPARE(s.failure(), text);
        QVERIFY(s.tokenRefused());
        QVERIFY(!s.failure().contains(u"tok-123"_s));
    });
}

} // namespace

class TranscriptTest : public QObject {
    Q_OBJECT
private slots:
    void loginWithUserPassThenStatusSizeAndRetrieval()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 2 320\r\n") + std::vector<Step>{
            expectState(State::Transaction),
            act([](Session& s) { QCOMPARE(s.messageCount(), 2); s.requestHeader(1); }),
            client("TOP 1 0\r\n"),
            server("+OK\r\nSubject: hi\r\nFrom: bob@example.org\r\n\r\n.\r\n"),
            expectHeader(1, "Subject: hi\r\nFrom: bob@example.org\r\n"),
            act([](Session& s) { s.requestSize(1); }),
            client("LIST 1\r\n"),
            server("+OK 1 120\r\n"),
            expectSize(1, 120),
            retrieve(1, 121),
            client("RETR 1\r\n"),
            // Dot-stuffed lines lose their first dot; a lone "." inside a line is content.
            server("+OK 120 octets\r\nSubject: hi\r\n\r\n..hidden\r\nline . with dot\r\n...\r\n.\r\n"),
            expectRetrieved("Subject: hi\r\n", "Subject: hi\r\n\r\n.hidden\r\nline . with dot\r\n..\r\n", 45),
            act([](Session& s) { s.requestQuit(); }),
            client("QUIT\r\n"),
            server("+OK Logging out.\r\n"),
            expectState(State::Closed)}});
    }

    void emptyMailboxAndServerErrorsOnCommands()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 0 0\r\n") + std::vector<Step>{
            act([](Session& s) { QCOMPARE(s.messageCount(), 0); s.requestHeader(1); }),
            client("TOP 1 0\r\n"),
            server("-ERR There's no message 1.\r\n"),
            act([](Session& s) {
                const auto answer = s.takeHeader(1);
                QVERIFY(answer && !answer->ok);
                QCOMPARE(answer->failure, failure::serverRejected("-ERR There's no message 1."));
                // A refused command leaves the session usable.
                QCOMPARE(s.state(), State::Transaction);
            })}});
    }

    void apopDigestFromGreetingTimestamp()
    {
        // The greeting and password of RFC 1939's example; the digest is
        // `printf %s "<1896.697170952@dbc.mtview.ca.us>tanstaafl" | md5sum` (the digest printed
        // in the RFC does not match its own inputs).
        playEverySplit({{"mrose", "tanstaafl", LoginMethod::Apop}, false, {
            server("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
            client("CAPA\r\n"), server(kNoCapa),
            client("APOP mrose a6f0dd348916c9ee9539661f94c75203\r\n"),
            server("+OK maildrop has 1 message (369 octets)\r\n"),
            client("STAT\r\n"), server("+OK 1 369\r\n"),
            expectState(State::Transaction)}});
    }

    void loginFailures()
    {
        // APOP asked for, but the greeting has no timestamp: nothing is sent, clear failure.
        playEverySplit({{"alice", "pw", LoginMethod::Apop}, false, {
            server("+OK Dovecot ready.\r\n"), client("CAPA\r\n"), server(kNoCapa),
            expectFailure(failure::apopWithoutTimestamp())}});
        // The server's own words reach the user.
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server(kNoCapa), client(kUserPass[0]),
            server("+OK\r\n"), client(kUserPass[2]),
            server("-ERR [AUTH] Authentication failed.\r\n"),
            expectFailure(failure::loginRejected("-ERR [AUTH] Authentication failed."))}});
        playEverySplit({kAlice, false, {
            server("-ERR [SYS/TEMP] Too many connections\r\n"),
            expectFailure(failure::loginRejected("-ERR [SYS/TEMP] Too many connections"))}});
        // Sent together over PIPELINING: the first refusal counts, what follows it is ignored.
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nPIPELINING\r\n.\r\n"),
            client(kUserPass[0] + kUserPass[2]),
            server("+OK\r\n-ERR [AUTH] Authentication failed.\r\n"),
            expectFailure(failure::loginRejected("-ERR [AUTH] Authentication failed.")),
            client("")}});
        // Where replies are not acknowledged promptly PASS waits for USER's reply, PIPELINING or
        // not, and a refused user name never sees the password.
        const QByteArray pipelining = "+OK\r\nPIPELINING\r\n.\r\n";
        playEverySplit({kAlice, false, {
            act([](Session& s) { s.setPasswordWithUser(false); }),
            server(kGreeting), client("CAPA\r\n"), server(pipelining),
            client(kUserPass[0]), server(kUserPass[1]), client(kUserPass[2]), server(kUserPass[3]),
            client("STAT\r\nLIST\r\n"), server("+OK 0 0\r\n+OK\r\n.\r\n"),
            expectState(State::Transaction)}});
        playEverySplit({kAlice, false, {
            act([](Session& s) { s.setPasswordWithUser(false); }),
            server(kGreeting), client("CAPA\r\n"), server(pipelining),
            client(kUserPass[0]), server("-ERR [AUTH] No such user.\r\n"),
            expectFailure(failure::loginRejected("-ERR [AUTH] No such user.")), client("")}});
        playEverySplit({kAlice, false, loggedIn("+OK many 10\r\n") + std::vector<Step>{
            expectFailure(failure::badMessageCount("+OK many 10"))}});
        playEverySplit({kAlice, false, loggedIn("+OK 2147483648 10\r\n") + std::vector<Step>{
            expectFailure(failure::badMessageCount("+OK 2147483648 10"))}});
    }

    void lineBreaksInCredentialsAreRefusedBeforeAnythingIsSent()
    {
        for (const auto& credentials :
             {Credentials{"alice\r\nDELE 1", "pw"}, Credentials{"alice", "pw\nDELE 1"},
              Credentials{"alice", QByteArray("pw\0x", 4), LoginMethod::Apop},
              Credentials{"alice", "tok\r\n", LoginMethod::BearerToken}}) {
            playEverySplit({credentials, true, {
                expectFailure(failure::lineBreakInCredentials()),
                server(kGreeting), client("")}});
        }
        // ^A would start a field of its own in a token's initial response.
        for (const auto& credentials :
             {Credentials{"alice\x01" "auth=Bearer x", "tok", LoginMethod::BearerToken},
              Credentials{"alice", "tok\x01" "host=evil", LoginMethod::BearerToken}}) {
            playEverySplit({credentials, true, {
                expectFailure(failure::controlCharacterInToken()),
                server(kGreeting), client("")}});
        }
    }

    // AUTH goes alone; the initial response only after the server's "+" (bare, as Microsoft
    // sends it, or with a space), and nothing else goes with either, PIPELINING or not.
    // OAUTHBEARER when offered, else XOAUTH2; the SASL list is read however long its line.
    void tokenLoginSendsEachMechanismsBytes()
    {
        // With PIPELINING the sizes of all messages are asked for along with the count.
        const auto loggedInAfterToken = [](bool pipelining) {
            return std::vector<Step>{
                server("+OK Logged in.\r\n"), client(pipelining ? "STAT\r\nLIST\r\n" : "STAT\r\n"),
                server(pipelining ? "+OK 3 300\r\n+OK\r\n1 100\r\n2 100\r\n3 100\r\n.\r\n"
                                  : "+OK 3 300\r\n"),
                expectState(State::Transaction),
                act([](Session& s) { QCOMPARE(s.messageCount(), 3); })};
        };
        const QByteArray longSasl = "SASL PLAIN LOGIN CRAM-MD5 DIGEST-MD5 GSSAPI NTLM SCRAM-SHA-1 "
                                    "SCRAM-SHA-256 "
            + QByteArray(100, 'X') + " XOAUTH2 OAUTHBEARER";
        for (const QByteArray& continuation : {QByteArray("+ \r\n"), QByteArray("+\r\n")}) {
            playEverySplit({kTokenUser, true,
                upToAuth("+OK\r\nPIPELINING\r\n" + longSasl + "\r\nUSER\r\n.\r\n",
                         "AUTH OAUTHBEARER\r\n")
                + std::vector<Step>{server(continuation), client(kOauthBearerResponse)}
                + loggedInAfterToken(true)});
            playEverySplit({kTokenUser, true,
                upToAuth("+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n", "AUTH XOAUTH2\r\n")
                + std::vector<Step>{server(continuation), client(kXoauth2Response)}
                + loggedInAfterToken(false)});
        }
        // "=" and "," in the name are escaped in OAUTHBEARER's header (RFC 5801's saslname).
        playEverySplit({{"a=b,c", "tok-123", LoginMethod::BearerToken}, true,
            upToAuth("+OK\r\nSASL OAUTHBEARER\r\n.\r\n", "AUTH OAUTHBEARER\r\n")
            + std::vector<Step>{server("+ \r\n"),
                client("bixhPWE9M0RiPTJDYywBaG9zdD1wb3AucGVsbW9yYS50ZXN0AXBvcnQ9OTk1AWF1dGg9"
                       "QmVhcmVyIHRvay0xMjMBAQ==\r\n")}});
    }

    // A refused token: the server's JSON challenge is answered as each mechanism wants (XOAUTH2 an
    // empty line, OAUTHBEARER ^A), its -ERR read, and the user told the token was refused, with
    // the server's words and the challenge's status. Refusing AUTH itself is another failure.
    void refusedTokens()
    {
        const QString refused401 = failure::tokenRefused(kAuthFailed, "401");
        QVERIFY(refused401.contains(u"401"_s) && refused401.contains(u"invalid_token"_s));
        QVERIFY(refused401.contains(QString::fromLatin1(kAuthFailed)));
        for (const auto& [capabilities, auth, response, abort] :
             {std::tuple{"+OK\r\nSASL OAUTHBEARER\r\n.\r\n", "AUTH OAUTHBEARER\r\n",
                         kOauthBearerResponse, "AQ==\r\n"},
              std::tuple{"+OK\r\nSASL XOAUTH2\r\n.\r\n", "AUTH XOAUTH2\r\n", kXoauth2Response,
                         "\r\n"}}) {
            const auto start = upToAuth(capabilities, auth)
                + std::vector<Step>{server("+ \r\n"), client(response)};
            playEverySplit({kTokenUser, true, start + std::vector<Step>{
                server(kRefusalChallenge), client(abort), server(kAuthFailed + "\r\n"),
                expectTokenRefused(refused401), client("")}});
            // Google's status, with another scope; a number instead of a string.
            playEverySplit({kTokenUser, true, start + std::vector<Step>{
                server("+ eyJzdGF0dXMiOiI0MDAiLCJzY2hlbWVzIjoiQmVhcmVyIiwic2NvcGUiOiJodHRwczovL21h"
                       "aWwuZ29vZ2xlLmNvbS8ifQ==\r\n"),
                client(abort), server("-ERR Invalid credentials\r\n"),
                expectTokenRefused(failure::tokenRefused("-ERR Invalid credentials", "400"))}});
            playEverySplit({kTokenUser, true, start + std::vector<Step>{
                server("+ " + QByteArray(R"({"status":403})").toBase64() + "\r\n"), client(abort),
                server(kAuthFailed + "\r\n"),
                expectTokenRefused(failure::tokenRefused(kAuthFailed, "403"))}});
            // A challenge that is not base64 JSON, and -ERR without any challenge: refused, no
            // status to tell.
            for (const QByteArray& challenge :
                 {QByteArray("+ not*base64\r\n"),
                  QByteArray("+ " + QByteArray("[1,2").toBase64() + "\r\n")}) {
                playEverySplit({kTokenUser, true, start + std::vector<Step>{
                    server(challenge), client(abort), server(kAuthFailed + "\r\n"),
                    expectTokenRefused(failure::tokenRefused(kAuthFailed, {}))}});
            }
            playEverySplit({kTokenUser, true, start + std::vector<Step>{
                server(kAuthFailed + "\r\n"),
                expectTokenRefused(failure::tokenRefused(kAuthFailed, {})), client("")}});
            // A second "+" after our answer to the challenge is not POP3.
            playEverySplit({kTokenUser, true, start + std::vector<Step>{
                server(kRefusalChallenge), client(abort), server("+ \r\n"),
                expectFailure(failure::garbledReply("+ ")), client("")}});
            // The mechanism refused before anything of the token went out: a plain failure.
            playEverySplit({kTokenUser, true, upToAuth(capabilities, auth) + std::vector<Step>{
                server("-ERR Unsupported authentication mechanism.\r\n"),
                expectFailure(failure::loginRejected("-ERR Unsupported authentication mechanism.")),
                act([](Session& s) { QVERIFY(!s.tokenRefused()); }), client("")}});
        }
    }

    // A token never goes out in clear or to a server that did not offer a way to take it: the
    // login fails before anything of it is sent.
    void tokenOnlyOverTlsAndOnlyWhenOffered()
    {
        // A plain connection whose server offers no STLS, though it offers both mechanisms.
        playEverySplit({kTokenUser, false, upToAuth(
            "+OK\r\nSASL XOAUTH2 OAUTHBEARER\r\n.\r\n", "") + std::vector<Step>{
            expectFailure(failure::tokenNeedsTls()), client("")}});
        playEverySplit({kTokenUser, false, upToAuth(kNoCapa, "") + std::vector<Step>{
            expectFailure(failure::tokenNeedsTls())}});
        // On TLS, but no mechanism for tokens (none at all, a name cut short or a longer one, SASL
        // words on another capability's line, no CAPA).
        for (const QByteArray& capabilities :
             {QByteArray("+OK\r\nSASL PLAIN LOGIN\r\nUSER\r\n.\r\n"),
              QByteArray("+OK\r\nSASL OAUTHBEARE XOAUTH2X\r\n.\r\n"),
              QByteArray("+OK\r\nX-SASL OAUTHBEARER XOAUTH2\r\n.\r\n"),
              QByteArray("+OK\r\nIMPLEMENTATION SASL OAUTHBEARER\r\n.\r\n"), kNoCapa}) {
            playEverySplit({kTokenUser, true, upToAuth(capabilities, "") + std::vector<Step>{
                expectFailure(failure::tokenNotAccepted()), client("")}});
        }
        // STLS offered: the token only after TLS, by what the server offers after it.
        const std::vector<Step> startTls = {
            server(kGreeting), client("CAPA\r\n"),
            server("+OK\r\nSTLS\r\nSASL OAUTHBEARER\r\n.\r\n"), client("STLS\r\n"),
            server("+OK Begin TLS negotiation now.\r\n"), expectState(State::TlsHandshake),
            client(""), act([](Session& s) { s.tlsEstablished(); }), client("CAPA\r\n")};
        playEverySplit({kTokenUser, false, startTls + std::vector<Step>{
            server("+OK\r\nSASL XOAUTH2\r\n.\r\n"), client("AUTH XOAUTH2\r\n"),
            server("+ \r\n"), client(kXoauth2Response), server("+OK\r\n"), client("STAT\r\n")}});
        // What the server offered before TLS does not count.
        playEverySplit({kTokenUser, false, startTls + std::vector<Step>{
            server(kNoCapa), expectFailure(failure::tokenNotAccepted()), client("")}});
    }

    void startTlsWhenOfferedThenCapabilitiesAgain()
    {
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"),
            server("+OK\r\nCAPA\r\nSTLS\r\nUSER\r\n.\r\n"),
            client("STLS\r\n"),
            server("+OK Begin TLS negotiation now.\r\n"),
            expectState(State::TlsHandshake), client(""),
            act([](Session& s) { s.tlsEstablished(); }),
            client("CAPA\r\n"),
            // After TLS the server no longer offers STLS; the client must not ask again.
            server("+OK\r\nUSER\r\nPIPELINING\r\n.\r\n"),
            client(kUserPass[0] + kUserPass[2]), server(kUserPass[1] + kUserPass[3]),
            client("STAT\r\nLIST\r\n"), server("+OK 0 0\r\n+OK\r\n.\r\n"),
            expectState(State::Transaction),
            act([](Session& s) { QVERIFY(s.pipelining()); })}});
        // Already secure (pop3s): STLS in the list is ignored.
        playEverySplit({kAlice, true, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nSTLS\r\n.\r\n"),
            client(kUserPass[0])}});
    }

    // The list is read line by line as it arrives: STLS counts wherever it stands, however long
    // the list, and a name only whole. A list that does not end fails before any login.
    void capabilityListsOfAnyLength()
    {
        QByteArray list = "+OK\r\nPIPELINING" + QByteArray(200, 'X') + "\r\n";
        while (list.size() < 12'000)
            list += "X-CAPABILITY-" + QByteArray::number(list.size()) + " with some arguments\r\n";
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server(list + "STLS\r\n.\r\n"),
            client("STLS\r\n"), act([](Session& s) { QVERIFY(!s.pipelining()); })}});
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"),
            server("+OK\r\n" + QByteArray("X\r\n").repeated(Limits::kMaxCapabilityLines + 1)),
            expectFailure(failure::capabilityListTooLong(Limits::kMaxCapabilityLines)),
            server("STLS\r\n.\r\n"), client("")}});
    }

    void startTlsProblems()
    {
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nSTLS\r\n.\r\n"),
            client("STLS\r\n"), server("-ERR TLS not available now\r\n"),
            expectFailure(failure::startTlsRefused("-ERR TLS not available now"))}});
        // Plain text slipped in after "+OK" to STLS would be read as if it came over TLS.
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nSTLS\r\n.\r\n"),
            client("STLS\r\n"), server("+OK\r\n+OK 99 0\r\n"),
            expectFailure(failure::unexpectedDataBeforeTls())}});
        // Offered TLS that this system cannot do is a failure, not a plain-text login.
        Session session(kAlice, false, false);
        session.feed(kGreeting);
        QCOMPARE(session.takeOutgoing(), "CAPA\r\n");
        session.feed("+OK\r\nSTLS\r\n.\r\n");
        QCOMPARE(session.takeOutgoing(), QByteArray());
        QCOMPARE(session.failure(), failure::tlsUnavailable());
    }

    // With PIPELINING the session asks ahead of the caller in the order of a check: the rest of
    // the caller's message, then the sizes of the next messages, and bodies as far as their sizes
    // fit the window; a body read ahead brings its header, so only message 1 (asked for before
    // any size was known) and message 4 (700 bytes, more than may be kept: it comes straight into
    // the caller's buffer when asked for) need TOP. Message 5, longer than its size says, is cut
    // there as it would be in the caller's buffer. Three messages ahead, 600 bytes.
    void readingAheadInTheCheckOrder()
    {
        const auto retrieved = [](int n) {
            return expectRetrieved(subjectLine(n), messageText(n), 20);
        };
        playEverySplit({kAlice, false, loggedIn("+OK 5 1460\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\nLIST 3\r\nLIST 4\r\n"),
            server(topReply(1) + listReply(1, 250) + listReply(2, 250) + listReply(3, 250)
                   + listReply(4, 700)),
            client("RETR 1\r\nRETR 2\r\n"),
            expectHeader(1, subjectLine(1)), askSize(1), client(""), expectSize(1, 250),
            // Bodies that come before the caller asks are kept for it; as they arrive the window
            // grows, and message 4's header is asked for since its body will not be read ahead.
            server(retrReply(1) + retrReply(2)), client("RETR 3\r\nTOP 4 0\r\n"),
            retrieve(1, 251), client(""), retrieved(1),
            askHeader(2), client("LIST 5\r\n"), expectHeader(2, subjectLine(2)),
            retrieve(2, 251), client(""), retrieved(2),
            // The header of a body still on its way comes with it.
            askHeader(3), client(""),
            act([](Session& s) { QVERIFY(!s.takeHeader(3).has_value()); }),
            server(retrReply(3) + topReply(4) + listReply(5, 10)), client("RETR 5\r\n"),
            expectHeader(3, subjectLine(3)),
            retrieve(3, 251), retrieved(3),
            askHeader(4), client(""), expectHeader(4, subjectLine(4)),
            askSize(4), client(""), expectSize(4, 700),
            retrieve(4, 701), client("RETR 4\r\n"),
            server(retrReply(5) + retrReply(4)), retrieved(4),
            askHeader(5), client(""), expectHeader(5, subjectLine(5)),
            retrieve(5, 11), client(""), expectRetrieved(subjectLine(5), "Subject: 5", 20),
            act([](Session& s) {
                QCOMPARE(s.bodiesAhead(), 0);
                QCOMPARE(s.bytesAhead(), 0);
                QCOMPARE(s.bytesKept(), 0);
                QCOMPARE(s.headerBytesAhead(), 0);
            }),
            act([](Session& s) { s.requestQuit(); }), client("QUIT\r\n")},
            {.bytes = 600, .firstBytes = 600, .messages = 3}});
    }

    // With PIPELINING the sizes of all messages come with the count, so the bodies are asked for
    // as soon as the caller starts, and each brings its header: three commands for three
    // messages. Sizes the list does not give (or gives beyond belief) are asked for one by one.
    void sizesOfAllMessagesComeWithTheCount()
    {
        std::vector<Step> steps =
            loggedIn("+OK 3 60\r\n", true, "+OK 3 messages\r\n1 20\r\n2 20\r\n3 20\r\n.\r\n")
            + std::vector<Step>{askHeader(1), client("RETR 1\r\nRETR 2\r\nRETR 3\r\n"),
                                server(retrReply(1) + retrReply(2) + retrReply(3))};
        for (int n = 1; n <= 3; ++n) {
            steps = steps + std::vector<Step>{
                askHeader(n), expectHeader(n, subjectLine(n)), askSize(n), expectSize(n, 20),
                retrieve(n, 21), expectRetrieved(subjectLine(n), messageText(n), 20)};
        }
        steps.push_back(client(""));
        const ReadAhead bounds{.bytes = 1000, .firstBytes = 1000, .messages = 8};
        playEverySplit({kAlice, false, steps, bounds});
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true,
                                                "+OK\r\n1 20 extra\r\n2 268435457\r\nthree 20\r\n"
                                                + QByteArray(100, '7') + " 20\r\n.\r\n")
                                           + std::vector<Step>{
            askHeader(1), client("LIST 2\r\nLIST 3\r\nRETR 1\r\n"),
            server(listReply(2, 20) + listReply(3, 20)), client("RETR 2\r\nRETR 3\r\n"),
            server(retrReply(1) + retrReply(2) + retrReply(3)),
            expectHeader(1, subjectLine(1)), askSize(1), expectSize(1, 20),
            askHeader(2), expectHeader(2, subjectLine(2)), askSize(2), expectSize(2, 20),
            askHeader(3), expectHeader(3, subjectLine(3)), client("")}, bounds});
    }

    // Bodies on their way are bounded by a window that starts small and grows by every body that
    // arrives, as TCP's does: before the server has answered a single body only the first ones
    // are asked for, and each body that comes lets two more go out.
    void windowGrowsAsBodiesArrive()
    {
        std::vector<Step> steps = loggedIn("+OK 6 120\r\n", true) + std::vector<Step>{
            askHeader(1),
            client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\nLIST 3\r\nLIST 4\r\nLIST 5\r\nLIST 6\r\n")};
        QByteArray headersAndSizes = topReply(1);
        for (int n = 1; n <= 6; ++n)
            headersAndSizes += listReply(n, 20);
        steps = steps + std::vector<Step>{
            server(headersAndSizes), client("RETR 1\r\nRETR 2\r\n"),
            server(retrReply(1)), client("RETR 3\r\nRETR 4\r\n"),
            server(retrReply(2)), client("RETR 5\r\nRETR 6\r\n"),
            server(retrReply(3) + retrReply(4) + retrReply(5) + retrReply(6))};
        for (int n = 1; n <= 6; ++n) {
            steps = steps + std::vector<Step>{
                askHeader(n), expectHeader(n, subjectLine(n)), askSize(n), expectSize(n, 20),
                retrieve(n, 21), expectRetrieved(subjectLine(n), messageText(n), 20)};
        }
        steps.push_back(client(""));
        playEverySplit({kAlice, false, steps, {.bytes = 1000, .firstBytes = 40, .messages = 8}});
    }

    // A server that does not read our commands until its replies have been read: what is written
    // and not yet answered stays within the bound (here 25 bytes), and the rest follows as
    // replies come in, without anything lost or reordered.
    void commandsWaitForRepliesBeyondTheirBound()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\n"),
            act([](Session& s) { QCOMPARE(s.commandBytesInFlight(), 25); }),
            server(topReply(1)), client("LIST 3\r\n"),
            server(listReply(1, 20)), client("RETR 1\r\n"),
            server(listReply(2, 20)), client("RETR 2\r\n"),
            expectHeader(1, subjectLine(1)),
            server(listReply(3, 20) + retrReply(1)), client("RETR 3\r\n"),
            act([](Session& s) { QVERIFY(s.commandBytesInFlight() <= 25); }),
            server(retrReply(2) + retrReply(3)),
            retrieve(1, 21), expectRetrieved(subjectLine(1), messageText(1), 20),
            askHeader(3), expectHeader(3, subjectLine(3)),
            retrieve(3, 21), expectRetrieved(subjectLine(3), messageText(3), 20)},
            {.bytes = 1000, .firstBytes = 1000, .messages = 4, .commandBytes = 25}});
    }

    // What is kept is bounded apart from what is asked for: with room for two bodies and their
    // headers (32 bytes each), the session stops taking bytes before the third body, and the
    // caller waits for nothing; each body it takes lets the next one in.
    void readingPausesWhileWhatIsKeptIsFull()
    {
        std::vector<Step> steps = loggedIn("+OK 4 80\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\nLIST 3\r\nLIST 4\r\n"),
            server(topReply(1) + listReply(1, 20) + listReply(2, 20) + listReply(3, 20)
                   + listReply(4, 20)),
            client("RETR 1\r\nRETR 2\r\nRETR 3\r\nRETR 4\r\n"),
            expectHeader(1, subjectLine(1)),
            server(retrReply(1) + retrReply(2) + retrReply(3) + retrReply(4)),
            act([](Session& s) {
                QVERIFY(s.readingPaused());
                QVERIFY(!s.awaitingReply()); // no reply timer runs: we keep the server waiting
                QCOMPARE(s.bytesKept(), 64);
                QCOMPARE(s.requestsInFlight(), 2u);
            })};
        for (int n = 1; n <= 4; ++n) {
            steps = steps + std::vector<Step>{
                askHeader(n), expectHeader(n, subjectLine(n)), askSize(n), expectSize(n, 20),
                retrieve(n, 21), expectRetrieved(subjectLine(n), messageText(n), 20),
                act([n](Session& s) {
                    QCOMPARE(s.readingPaused(), n == 1);
                    QVERIFY(s.bytesKept() <= 64);
                })};
        }
        steps.push_back(client(""));
        playEverySplit({kAlice, false, steps, {.bytes = 64, .firstBytes = 1000, .messages = 8}});
    }

    // A caller that leaves the check's order still gets the right answers: a body read ahead for
    // a message it skips is read and thrown away, a message asked for again is fetched again, a
    // small buffer gets the message's start, and a message longer than its size said is fetched
    // again for a buffer that can hold more than was kept of it.
    void callerOutOfStepWithTheReadAhead()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\n"),
            server(topReply(1) + listReply(1, 20) + listReply(2, 20)),
            client("RETR 1\r\n"),
            retrieve(2, 100), client("RETR 2\r\nLIST 3\r\n"),
            server(retrReply(1) + retrReply(2)), expectRetrieved(subjectLine(2), messageText(2), 20),
            // Back to message 1: what was asked for after it is dropped, its replies too.
            retrieve(1, 8), client("RETR 1\r\n"),
            server(listReply(3, 10) + retrReply(1)),
            expectRetrieved(subjectLine(1), "Subject", 20),
            askHeader(3), client("TOP 3 0\r\nLIST 3\r\n"),
            server(topReply(3) + listReply(3, 10)), client("RETR 3\r\n"),
            server(retrReply(3)), expectHeader(3, subjectLine(3)),
            retrieve(3, 100), client("RETR 3\r\n"),
            server(retrReply(3)), expectRetrieved(subjectLine(3), messageText(3), 20)},
            {.bytes = 32, .firstBytes = 32, .messages = 1}});
        // The same message, but the caller already waits when its body comes: it goes straight
        // into the caller's buffer, whole, and is not fetched again.
        playEverySplit({kAlice, false, loggedIn("+OK 1 20\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\n"),
            server(topReply(1) + listReply(1, 10)), client("RETR 1\r\n"),
            retrieve(1, 100), client(""),
            server(retrReply(1)), expectRetrieved(subjectLine(1), messageText(1), 20)},
            {.bytes = 100, .firstBytes = 100, .messages = 1}});
    }

    // A body read ahead that the server refuses gives the caller the server's words for that
    // message, and the session goes on. A connection that breaks while requests are in flight
    // fails the waiting retrieval and drops all that was read ahead; QUIT does not wait for the
    // replies in flight, which are read and thrown away.
    void failuresAndQuitWhileReadingAhead()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\n"),
            server(topReply(1) + listReply(1, 20) + listReply(2, 20)),
            client("RETR 1\r\nRETR 2\r\n"),
            server("-ERR Message 1 is gone\r\n"),
            retrieve(1, 21), client(""),
            expectRetrievalFailed(failure::serverRejected("-ERR Message 1 is gone")),
            askHeader(2), client("LIST 3\r\n"),
            retrieve(2, 21), server("+OK\r\nSubject: 2\r\n"),
            act([](Session& s) {
                QVERIFY(!s.retrieval().done);
                QCOMPARE(s.bodiesAhead(), 1);
                s.abort(failure::connectionLost());
                QCOMPARE(s.bodiesAhead(), 0);
                QCOMPARE(s.bytesAhead(), 0);
                QCOMPARE(s.bytesKept(), 0);
            }),
            expectRetrievalFailed(failure::connectionLost()), client("")},
            {.bytes = 100, .firstBytes = 100, .messages = 1}});
        // A body read ahead that the server refuses while the caller waits for the header it
        // was to bring: the header is asked for with TOP after all.
        playEverySplit({kAlice, false, loggedIn("+OK 2 40\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\n"),
            server(topReply(1) + listReply(1, 20) + listReply(2, 20)),
            client("RETR 1\r\nRETR 2\r\n"),
            expectHeader(1, subjectLine(1)), askHeader(2), client(""),
            server(retrReply(1) + "-ERR Message 2 is locked\r\n"), client("TOP 2 0\r\n"),
            server(topReply(2)), expectHeader(2, subjectLine(2)),
            retrieve(2, 21), client(""),
            expectRetrievalFailed(failure::serverRejected("-ERR Message 2 is locked"))},
            {.bytes = 100, .firstBytes = 100, .messages = 1}});
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nLIST 1\r\nLIST 2\r\n"),
            act([](Session& s) { s.requestQuit(); }), client("QUIT\r\n"),
            server(topReply(1) + listReply(1, 20) + listReply(2, 20) + "+OK Bye\r\n"),
            expectState(State::Closed), client("")},
            {.bytes = 100, .firstBytes = 100, .messages = 1}});
    }

    // With the program's own bounds, through a check of a mailbox of many tiny messages, one of
    // big messages, two whose LIST lies (tiny sizes for big bodies, sizes beyond the bound for
    // tiny ones) and one of 60 KB headers, against a server that answers everything at once and a
    // driver that leaves in the socket what the session does not take: never more bytes kept,
    // asked for ahead or held than the bounds, never more unanswered command bytes than theirs,
    // more bodies asked for than may be kept where they are small enough, and every header and
    // message arrives as the caller's buffer holds it.
    void readAheadStaysWithinItsBoundsThroughACheck()
    {
        const ReadAhead bounds;
        struct Mailbox {
            std::int64_t listed; // what LIST says
            std::int64_t sent;   // what RETR sends
            int count;
            int bodiesAhead;     // at least this many bodies read ahead at once (0: none)
            int headerPad = 0;   // bytes of an extra header field
        };
        const Mailbox mailboxes[] = {
            {60, 60, 100'000, bounds.messages + 1},
            {bounds.bytes / 3 + 1, bounds.bytes / 3 + 1, 20, 3},
            {60, 50'000, 1'000, bounds.messages + 1},
            {bounds.bytes + 1, 60, 20, 0},
            {60, 60, 1'000, bounds.messages + 1, 60'000},
        };
        for (const Mailbox& box : mailboxes) {
            Session session(kAlice, false, true);
            const QByteArray stat = "+OK " + QByteArray::number(box.count) + " 1\r\n";
            QByteArray listOfAll = "+OK\r\n";
            for (int n = 1; n <= box.count; ++n)
                listOfAll += QByteArray::number(n) + ' ' + QByteArray::number(box.listed) + "\r\n";
            listOfAll += ".\r\n";
            for (const QByteArray& reply : {kGreeting, QByteArray("+OK\r\nPIPELINING\r\n.\r\n"),
                                            kUserPass[1], kUserPass[3], QByteArray(stat + listOfAll)}) {
                session.takeOutgoing();
                session.feed(reply);
            }
            QCOMPARE(session.state(), State::Transaction);
            int mostBodies = 0;
            std::int64_t mostBytes = 0;
            std::int64_t mostKept = 0;
            std::int64_t mostHeaderBytes = 0;
            std::int64_t mostHeld = 0;
            std::size_t mostRequests = 0;
            qsizetype mostCommandBytes = 0;
            const auto header = [&box](int n) {
                QByteArray fields = subjectLine(n);
                if (box.headerPad > 0)
                    fields += "X-Pad: " + QByteArray(box.headerPad, 'p') + "\r\n";
                return fields;
            };
            // The message: its header (as TOP gives it), a blank line and filling up to box.sent.
            const auto text = [&box, &header](int n) -> QByteArray {
                const QByteArray head = header(n) + "\r\n";
                return head + QByteArray(std::max<qsizetype>(0, box.sent - head.size() - 2), 'x')
                    + "\r\n";
            };
            // The server's replies not yet taken by the session.
            QByteArray unread;
            // Hands over what the session takes, in pieces as a socket hands them over.
            const auto offer = [&] {
                while (!unread.isEmpty() && !session.readingPaused()) {
                    const qsizetype n = std::min(Limits::kReadChunk, unread.size());
                    const qsizetype used = session.feed(QByteArrayView(unread).first(n));
                    unread.remove(0, used);
                    mostBytes = std::max(mostBytes, session.bytesAhead());
                    mostKept = std::max(mostKept, session.bytesKept());
                    mostHeaderBytes = std::max(mostHeaderBytes, session.headerBytesAhead());
                    mostHeld = std::max(mostHeld, session.bytesHeld());
                    mostBodies = std::max(mostBodies, session.bodiesAhead());
                    if (used < n)
                        break;
                }
            };
            // Answers every command sent, until the session sends nothing more and takes nothing
            // more for now.
            const auto serve = [&] {
                offer();
                for (QByteArray sent = session.takeOutgoing(); !sent.isEmpty();
                     sent = session.takeOutgoing()) {
                    mostBodies = std::max(mostBodies, session.bodiesAhead());
                    mostRequests = std::max(mostRequests, session.requestsInFlight());
                    mostCommandBytes = std::max(mostCommandBytes, session.commandBytesInFlight());
                    QByteArray replies;
                    for (const QByteArray& line : sent.split('\n')) {
                        const QList<QByteArray> words = line.trimmed().split(' ');
                        const int n = words.value(1).toInt();
                        if (words[0] == "TOP")
                            replies += "+OK\r\n" + header(n) + "\r\n.\r\n";
                        else if (words[0] == "LIST")
                            replies += listReply(n, int(box.listed));
                        else if (words[0] == "RETR")
                            replies += "+OK\r\n" + text(n) + ".\r\n";
                    }
                    unread += replies;
                    offer();
                }
            };
            const int checked = std::min(box.count, 300);
            for (int n = 1; n <= checked; ++n) {
                session.requestHeader(n);
                serve();
                QCOMPARE(session.takeHeader(n)->value, header(n));
                session.requestSize(n);
                serve();
                QCOMPARE(session.takeSize(n)->value, box.listed);
                g_body.assign(std::size_t(box.listed) + 1, ' ');
                session.requestMessage(n, &g_body);
                serve();
                QVERIFY(session.retrieval().done && session.retrieval().ok);
                const QByteArray sent = text(n);
                QCOMPARE(session.retrieval().size, sent.size());
                QCOMPARE(QByteArray(g_body.c_str()), sent.first(std::min<qsizetype>(box.listed, sent.size())));
                session.detachBody();
            }
            if (box.bodiesAhead == 0)
                QCOMPARE(mostBodies, 0);
            QVERIFY(mostBodies >= box.bodiesAhead && mostBodies <= bounds.messages + 1);
            // The last body kept may bring a header of the longest kept over the bound.
            QVERIFY(mostKept <= bounds.bytes + Limits::kMaxHeaderBytes);
            QVERIFY(mostBytes <= bounds.flightBytes + bounds.bytes);
            QVERIFY(mostHeaderBytes <= bounds.headerBytes);
            // Each buffer also holds its NUL.
            QVERIFY(mostHeld
                    <= bounds.bytes + Limits::kMaxHeaderBytes + bounds.headerBytes + mostBodies);
            QVERIFY(mostCommandBytes <= bounds.commandBytes);
            QVERIFY(mostRequests <= std::size_t(3 * (bounds.messages + 1)));
        }
    }

    void sizesThatCannotBeTrusted()
    {
        const QByteArray replies[] = {"+OK 1 -5", "+OK 1 abc", "+OK 1 99999999999999999999",
                                      "+OK 1 268435457", "+OK 2 100", "+OK 1", "+OK"};
        for (const QByteArray& reply : replies) {
            playEverySplit({kAlice, false, loggedIn("+OK 1 1\r\n") + std::vector<Step>{
                act([](Session& s) { s.requestSize(1); }), client("LIST 1\r\n"),
                server(reply + "\r\n"),
                expectSizeRefused(1, failure::untrustedSize(1, reply))}});
        }
        // The largest size believed.
        playEverySplit({kAlice, false, loggedIn("+OK 1 1\r\n") + std::vector<Step>{
            act([](Session& s) { s.requestSize(1); }), client("LIST 1\r\n"),
            server("+OK 1 268435456\r\n"), expectSize(1, Limits::kMaxTrustedMessageSize)}});
    }

    void bodyIsCutToCapacityAndTheRestIsRead()
    {
        // Only CR LF ends a line: a lone LF, also one before a dot line, is part of the message.
        playEverySplit({kAlice, false, loggedIn("+OK 2 1\r\n") + std::vector<Step>{
            retrieve(1, 6),
            client("RETR 1\r\n"),
            server("+OK\r\nSubject: x\r\n\r\n0123456789\n.\r\n.\n\r.\r.\r\nabc\r\n.\r\n"),
            expectRetrieved("Subject: x\r\n", "Subje", 40),
            // The session is still in step: the next reply is read as such.
            retrieve(2, 1), client("RETR 2\r\n"), server("+OK\r\n\r\nbody\r\n.\r\n"),
            expectRetrieved("", "", 8)}});
    }

    void malformedRepliesEndTheSession()
    {
        const auto afterGreeting = [](QByteArray bytes, QString text) {
            playEverySplit({kAlice, false, {server(kGreeting), client("CAPA\r\n"),
                                            server(std::move(bytes)), expectFailure(text)}});
        };
        afterGreeting("HELLO\r\n", failure::garbledReply("HELLO"));
        afterGreeting("+OKAY\r\n", failure::garbledReply("+OKAY"));
        afterGreeting(QByteArray("-ERR a\0b\r\n", 10), failure::nulInReply());
        afterGreeting(QByteArray(Limits::kMaxStatusLine + 3, 'x'),
                      failure::replyLineTooLong(Limits::kMaxStatusLine));
        // A reply nobody asked for.
        playEverySplit({kAlice, false, loggedIn("+OK 0 0\r\n") + std::vector<Step>{
            server("+OK surprise\r\n"), expectFailure(failure::unsolicitedData())}});
        // The driver's view of the connection ending.
        Session session(kAlice, false, true);
        session.abort(failure::connectionLost());
        QCOMPARE(session.failure(), failure::connectionLost());
        session.feed(kGreeting);
        QCOMPARE(session.takeOutgoing(), QByteArray());
    }

    void statusLineOfExactlyTheLimitIsAccepted()
    {
        const QByteArray line = "+OK " + QByteArray(Limits::kMaxStatusLine - 4, 'a');
        playEverySplit({kAlice, false, {server(line + "\r\n"), client("CAPA\r\n")}});
    }
};

QTEST_GUILESS_MAIN(TranscriptTest)
#include "TranscriptTest.moc"
