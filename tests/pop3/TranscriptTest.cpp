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
Step expectIds(QList<QByteArray> ids)
{
    return act([=](Session& s) {
        const auto answer = s.takeMessageIds();
        QVERIFY(answer.has_value());
        QVERIFY2(answer->ok, qPrintable(answer->failure));
        QCOMPARE(answer->value, ids);
    });
}
Step askHeader(int n) { return act([=](Session& s) { s.requestHeader(n); }); }

// Replies of a server whose message n has the header "Subject: n".
QByteArray topReply(int n) { return "+OK\r\nSubject: " + QByteArray::number(n) + "\r\n\r\n.\r\n"; }
QByteArray subjectLine(int n) { return "Subject: " + QByteArray::number(n) + "\r\n"; }

const QByteArray kGreeting = "+OK Dovecot ready. <123.456@pelmora.test>\r\n";
const QByteArray kNoCapa = "-ERR Unknown command\r\n";
const QByteArray kUserPass[] = {"USER alice\r\n", "+OK\r\n", "PASS s3cret\r\n", "+OK Logged in.\r\n"};

std::vector<Step> loggedIn(const QByteArray& stat, bool pipelining = false)
{
    if (pipelining) {
        // USER and PASS in one round trip; nothing follows PASS before its reply.
        return {server(kGreeting), client("CAPA\r\n"),
                server("+OK\r\nUIDL\r\nPIPELINING\r\nTOP\r\n.\r\n"),
                client(kUserPass[0] + kUserPass[2]), server(kUserPass[1] + kUserPass[3]),
                client("STAT\r\n"), server(stat)};
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
    void loginWithUserPassThenStatusAndHeader()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 2 320\r\n") + std::vector<Step>{
            expectState(State::Transaction),
            act([](Session& s) { QCOMPARE(s.messageCount(), 2); s.requestHeader(1); }),
            client("TOP 1 0\r\n"),
            // Dot-stuffed lines lose their first dot; a lone "." inside a line is content.
            server("+OK\r\nSubject: hi\r\n..From: bob@example.org\r\nX: a . b\r\n\r\n.\r\n"),
            expectHeader(1, "Subject: hi\r\n.From: bob@example.org\r\nX: a . b\r\n"),
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
            client("STAT\r\n"), server("+OK 0 0\r\n"),
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
        const auto loggedInAfterToken = [] {
            return std::vector<Step>{
                server("+OK Logged in.\r\n"), client("STAT\r\n"), server("+OK 3 300\r\n"),
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
                + loggedInAfterToken()});
            playEverySplit({kTokenUser, true,
                upToAuth("+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n", "AUTH XOAUTH2\r\n")
                + std::vector<Step>{server(continuation), client(kXoauth2Response)}
                + loggedInAfterToken()});
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
            client("STAT\r\n"), server("+OK 0 0\r\n"),
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

    // With PIPELINING the session asks ahead of the caller in the order of a check: the headers
    // of the next messages within reach (three here); each message the caller moves on tops the
    // reach up. Nothing but TOP goes out: no message is retrieved, so the server marks none as
    // read.
    void readingAheadInTheCheckOrder()
    {
        std::vector<Step> steps = loggedIn("+OK 5 100\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\nTOP 4 0\r\n"),
            server(topReply(1) + topReply(2) + topReply(3) + topReply(4)),
            expectHeader(1, subjectLine(1)),
            askHeader(2), client("TOP 5 0\r\n"), expectHeader(2, subjectLine(2)),
            server(topReply(5))};
        for (int n = 3; n <= 5; ++n)
            steps = steps + std::vector<Step>{askHeader(n), client(""), expectHeader(n, subjectLine(n))};
        steps = steps + std::vector<Step>{
            act([](Session& s) { QCOMPARE(s.headerBytesAhead(), 0); }),
            act([](Session& s) { s.requestQuit(); }), client("QUIT\r\n")};
        playEverySplit({kAlice, false, steps, {.messages = 3}});
    }

    // A server that does not read our commands until its replies have been read: what is written
    // and not yet answered stays within the bound (here 25 bytes: two TOPs), and the rest follows
    // as replies come in, without anything lost or reordered.
    void commandsWaitForRepliesBeyondTheirBound()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 4 80\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\n"),
            act([](Session& s) { QCOMPARE(s.commandBytesInFlight(), 18); }),
            server(topReply(1)), client("TOP 3 0\r\n"),
            expectHeader(1, subjectLine(1)),
            server(topReply(2)), client("TOP 4 0\r\n"),
            act([](Session& s) { QVERIFY(s.commandBytesInFlight() <= 25); }),
            server(topReply(3) + topReply(4)),
            askHeader(4), expectHeader(4, subjectLine(4))},
            {.messages = 4, .commandBytes = 25}});
    }

    // What is kept is bounded: with room for two headers (12 bytes each), the session stops
    // taking bytes before the third, and the caller waits for nothing; each header it takes lets
    // the next one in.
    void readingPausesWhileWhatIsKeptIsFull()
    {
        std::vector<Step> steps = loggedIn("+OK 4 80\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\nTOP 4 0\r\n"),
            server(topReply(1) + topReply(2) + topReply(3) + topReply(4)),
            act([](Session& s) {
                QVERIFY(s.readingPaused());
                QVERIFY(!s.awaitingReply()); // no reply timer runs: we keep the server waiting
                QCOMPARE(s.headerBytesAhead(), 24);
                QCOMPARE(s.requestsInFlight(), 1u);
            })};
        for (int n = 1; n <= 4; ++n) {
            steps = steps + std::vector<Step>{
                askHeader(n), expectHeader(n, subjectLine(n)), act([n](Session& s) {
                    QCOMPARE(s.readingPaused(), n == 1);
                    QVERIFY(s.headerBytesAhead() <= 24);
                })};
        }
        steps.push_back(client(""));
        playEverySplit({kAlice, false, steps, {.headerBytes = 24, .messages = 8}});
    }

    // A caller that leaves the check's order still gets the right answers: what was read ahead
    // for messages it skips is dropped, and a caller that goes back has its messages asked for
    // again, the replies to what it left behind read and thrown away.
    void callerOutOfStepWithTheReadAhead()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\n"),
            server(topReply(1) + topReply(2)),
            askHeader(3), client("TOP 3 0\r\n"),
            act([](Session& s) { QCOMPARE(s.headerBytesAhead(), 0); }),
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\n"),
            server(topReply(3) + topReply(1)),
            expectHeader(1, subjectLine(1)),
            act([](Session& s) { QVERIFY(!s.takeHeader(3).has_value()); }),
            server(topReply(2)),
            askHeader(2), client("TOP 3 0\r\n"), expectHeader(2, subjectLine(2))},
            {.messages = 1}});
    }

    // A server that does not offer TOP is asked for no header at all: neither when its
    // capabilities leave it out, nor after it refused one (the TOPs not yet sent are taken back;
    // those in flight get their own answers).
    void serverWithoutTop()
    {
        const auto noHeader = [](int n, QString text) {
            return act([n, text](Session& s) {
                const auto answer = s.takeHeader(n);
                QVERIFY(answer && !answer->ok);
                QCOMPARE(answer->failure, text);
                QCOMPARE(s.state(), State::Transaction);
            });
        };
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nUSER\r\nUIDL\r\n.\r\n"),
            client(kUserPass[0]), server(kUserPass[1]), client(kUserPass[2]), server(kUserPass[3]),
            client("STAT\r\n"), server("+OK 2 40\r\n"),
            askHeader(1), client(""), noHeader(1, failure::headersNotOffered()),
            askHeader(2), client(""), noHeader(2, failure::headersNotOffered())}});
        playEverySplit({kAlice, false, loggedIn("+OK 4 80\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\n"),
            server("-ERR Unknown command\r\n"),
            noHeader(1, failure::serverRejected("-ERR Unknown command")),
            server(topReply(2)),
            askHeader(2), expectHeader(2, subjectLine(2)),
            askHeader(3), client(""), noHeader(3, failure::headersNotOffered()),
            askHeader(4), client(""), noHeader(4, failure::headersNotOffered())},
            {.messages = 8, .commandBytes = 26}});
    }

    // A connection that breaks while requests are in flight: the headers that had come are still
    // there to take, the others are not. QUIT does not wait for the replies in flight, which are
    // read and thrown away.
    void failuresAndQuitWhileReadingAhead()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\n"),
            server(topReply(1) + topReply(2) + "+OK\r\nSubject: "),
            act([](Session& s) {
                s.abort(failure::connectionLost());
                QCOMPARE(s.state(), State::Failed);
            }),
            expectHeader(1, subjectLine(1)),
            askHeader(2), expectHeader(2, subjectLine(2)),
            askHeader(3), act([](Session& s) { QVERIFY(!s.takeHeader(3).has_value()); }),
            client("")}});
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\n"),
            act([](Session& s) { s.requestQuit(); }), client("QUIT\r\n"),
            server(topReply(1) + topReply(2) + "+OK Bye\r\n"),
            expectState(State::Closed), client("")},
            {.messages = 1}});
    }

    // With the program's own bounds, through a check of a mailbox of many tiny messages, one of
    // 60 KB headers, one of headers beyond what is kept of one, and one whose server sends whole
    // messages for TOP n 0, against a server that answers everything at once and a driver that
    // leaves in the socket what the session does not take: never more header bytes kept than the
    // bound (passed by one header at most), never more unanswered command bytes than theirs,
    // headers asked for well ahead of the caller, and every header arrives as it was sent.
    void readAheadStaysWithinItsBoundsThroughACheck()
    {
        const ReadAhead bounds;
        struct Mailbox {
            int count;
            int headerPad = 0;     // bytes of an extra header field
            bool bodyAnyway = false; // TOP n 0 answered with the whole message
        };
        const Mailbox mailboxes[] = {
            {100'000},
            {1'000, 60'000},
            {100, 100'000},
            {1'000, 0, true},
        };
        for (const Mailbox& box : mailboxes) {
            Session session(kAlice, false, true);
            const QByteArray stat = "+OK " + QByteArray::number(box.count) + " 1\r\n";
            for (const QByteArray& reply :
                 {kGreeting, QByteArray("+OK\r\nPIPELINING\r\nTOP\r\n.\r\n"), kUserPass[1],
                  kUserPass[3], stat}) {
                session.takeOutgoing();
                session.feed(reply);
            }
            QCOMPARE(session.state(), State::Transaction);
            std::int64_t mostHeaderBytes = 0;
            std::size_t mostRequests = 0;
            qsizetype mostCommandBytes = 0;
            const auto header = [&box](int n) {
                QByteArray fields = subjectLine(n);
                if (box.headerPad > 0)
                    fields += "X-Pad: " + QByteArray(box.headerPad, 'p') + "\r\n";
                return fields;
            };
            // The server's replies not yet taken by the session.
            QByteArray unread;
            // Hands over what the session takes, in pieces as a socket hands them over.
            const auto offer = [&] {
                while (!unread.isEmpty() && !session.readingPaused()) {
                    const qsizetype n = std::min(Limits::kReadChunk, unread.size());
                    const qsizetype used = session.feed(QByteArrayView(unread).first(n));
                    unread.remove(0, used);
                    mostHeaderBytes = std::max(mostHeaderBytes, session.headerBytesAhead());
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
                    mostRequests = std::max(mostRequests, session.requestsInFlight());
                    mostCommandBytes = std::max(mostCommandBytes, session.commandBytesInFlight());
                    QByteArray replies;
                    for (const QByteArray& line : sent.split('\n')) {
                        const QList<QByteArray> words = line.trimmed().split(' ');
                        QVERIFY(words[0] == "TOP" || words[0].isEmpty());
                        if (words[0] == "TOP") {
                            const int n = words.value(1).toInt();
                            replies += "+OK\r\n" + header(n) + "\r\n"
                                + (box.bodyAnyway ? QByteArray(50'000, 'x') + "\r\n" : QByteArray())
                                + ".\r\n";
                        }
                    }
                    unread += replies;
                    offer();
                }
            };
            const int checked = std::min(box.count, 600);
            for (int n = 1; n <= checked; ++n) {
                session.requestHeader(n);
                serve();
                QCOMPARE(session.takeHeader(n)->value, header(n).first(
                    std::min<qsizetype>(Limits::kMaxHeaderBytes, header(n).size())));
            }
            QVERIFY(mostHeaderBytes <= bounds.headerBytes + Limits::kMaxHeaderBytes);
            QVERIFY(mostCommandBytes <= bounds.commandBytes);
            // Headers went well ahead, but no further than the reach.
            QVERIFY(mostRequests > std::size_t(std::min(box.count - 1, bounds.messages / 2)));
            QVERIFY(mostRequests <= std::size_t(bounds.messages + 1));
        }
    }

    // A TOP n 0 reply is the header; a server that sends body lines anyway has them read and
    // dropped. Only CR LF ends a line: a lone LF, also one before a dot line, is part of the
    // reply, and the session stays in step with the server.
    void headerEndsAtTheBlankLineAndTheRestIsRead()
    {
        playEverySplit({kAlice, false, loggedIn("+OK 2 1\r\n") + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\n"),
            server("+OK\r\nSubject: x\r\n..X-Dot: 1\r\n\r\n0123456789\n.\r\n.\n\r.\r.\r\nabc\r\n.\r\n"),
            expectHeader(1, "Subject: x\r\n.X-Dot: 1\r\n"),
            askHeader(2), client("TOP 2 0\r\n"), server("+OK\r\n\r\nbody\r\n.\r\n"),
            expectHeader(2, "")}});
    }

    // UIDL: the ids in message order, asked for once the login is done, also between headers
    // read ahead (a caller waiting for ids never leaves reading paused behind a header that does
    // not fit: that header is read, thrown away and asked for again).
    void messageIdsInMessageOrder()
    {
        const QByteArray longest(70, '~');
        playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n", true) + std::vector<Step>{
            askHeader(1), client("TOP 1 0\r\nTOP 2 0\r\nTOP 3 0\r\n"),
            server(topReply(1) + topReply(2) + topReply(3)),
            expectHeader(1, subjectLine(1)),
            act([](Session& s) { QVERIFY(s.readingPaused()); s.requestMessageIds(); }),
            client("UIDL\r\n"),
            server("+OK 3 messages\r\n1 whqtswO00WBw418f9t5JxYwZ\r\n2 QhdPYR:00WBw1Ph7x7\r\n3 "
                   + longest + "\r\n.\r\n"),
            expectIds({"whqtswO00WBw418f9t5JxYwZ", "QhdPYR:00WBw1Ph7x7", longest}),
            askHeader(2), expectHeader(2, subjectLine(2)),
            askHeader(3), client("TOP 3 0\r\n"), server(topReply(3)),
            expectHeader(3, subjectLine(3))},
            {.headerBytes = 12, .messages = 2}});
        playEverySplit({kAlice, false, loggedIn("+OK 0 0\r\n") + std::vector<Step>{
            act([](Session& s) { s.requestMessageIds(); }), client("UIDL\r\n"),
            server("+OK\r\n.\r\n"), expectIds({})}});
    }

    // A server that does not offer UIDL is not asked (its capabilities leave it out, or it
    // refused it once); the caller is told so at once and the session goes on.
    void serverWithoutMessageIds()
    {
        const Step noIds = act([](Session& s) {
            s.requestMessageIds();
            const auto answer = s.takeMessageIds();
            QVERIFY(answer && !answer->ok);
            QCOMPARE(answer->failure, failure::messageIdsNotOffered());
            QCOMPARE(s.state(), State::Transaction);
        });
        playEverySplit({kAlice, false, {
            server(kGreeting), client("CAPA\r\n"), server("+OK\r\nUSER\r\nTOP\r\n.\r\n"),
            client(kUserPass[0]), server(kUserPass[1]), client(kUserPass[2]), server(kUserPass[3]),
            client("STAT\r\n"), server("+OK 2 40\r\n"), noIds, client("")}});
        playEverySplit({kAlice, false, loggedIn("+OK 2 40\r\n") + std::vector<Step>{
            act([](Session& s) { s.requestMessageIds(); }), client("UIDL\r\n"),
            server("-ERR Unknown command\r\n"),
            act([](Session& s) {
                const auto answer = s.takeMessageIds();
                QVERIFY(answer && !answer->ok);
                QCOMPARE(answer->failure, failure::serverRejected("-ERR Unknown command"));
            }),
            noIds, client(""), askHeader(1), client("TOP 1 0\r\n")}});
    }

    // A list that does not hold together is not used at all, and the session reads it to its
    // end and goes on in step; one longer than any list of the mailbox ends the connection.
    void messageIdListsThatLie()
    {
        const QList<QByteArray> lies = {
            "1 a\r\n2 b\r\n3 a\r\n",              // the same id twice
            "1 a\r\n2 " + QByteArray(71, 'b') + "\r\n3 c\r\n", // an id over 70 characters
            "1 a\r\n2 b c\r\n3 d\r\n",            // an id with a space
            "1 a\r\n2 caf\xc3\xa9\r\n3 d\r\n",     // an id that is not ASCII
            "1 a\r\n2\r\n3 c\r\n",                // no id
            "1 a\r\nhello world\r\n3 c\r\n",      // garbage
            "1 a\r\n3 c\r\n2 b\r\n",              // out of order
            "1 a\r\n2 b\r\n4 c\r\n",              // a number beyond the count
            "1 a\r\n2 b\r\n",                      // a message missing
            "1 a\r\n2 b\r\n3 c\r\n4 d\r\n",        // more lines than messages
            "1 a\r\n2 b\r\n3 c\r\n1 a\r\n",        // a message twice
        };
        for (const QByteArray& list : lies) {
            playEverySplit({kAlice, false, loggedIn("+OK 3 60\r\n") + std::vector<Step>{
                act([](Session& s) { s.requestMessageIds(); }), client("UIDL\r\n"),
                server("+OK\r\n" + list + ".\r\n"),
                act([](Session& s) {
                    const auto answer = s.takeMessageIds();
                    QVERIFY(answer && !answer->ok);
                    QCOMPARE(answer->failure, failure::messageIdsNotUsable());
                }),
                askHeader(1), client("TOP 1 0\r\n"), server(topReply(1)),
                expectHeader(1, subjectLine(1))}});
            if (QTest::currentTestFailed())
                return qWarning("list: %s", list.constData());
        }
        const qsizetype bound = 2 * Limits::kMaxIdLineBytes;
        playEverySplit({kAlice, false, loggedIn("+OK 1 60\r\n") + std::vector<Step>{
            act([](Session& s) { s.requestMessageIds(); }), client("UIDL\r\n"),
            server("+OK\r\n" + QByteArray("1 a\r\n").repeated(bound / 5 + 1)),
            expectFailure(failure::replyTooLong(bound))}});
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
