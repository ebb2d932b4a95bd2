// The IMAP protocol core against scripted server responses (see Transcript.h): the forms of
// login, STARTTLS and what must never go out in clear, PREAUTH and BYE, the unseen messages and
// their headers in literals, and the responses that end a session.

#include "imap/FailureText.h"
#include "imap/ImapLimits.h"
#include "imap/ImapSession.h"
#include "pop3/FailureText.h"

#include "tests/imap/Transcript.h"

#include <QTest>

using namespace pelmora::imap;
using namespace Qt::StringLiterals;
using State = Session::State;
using Requirement = Session::TlsRequirement;
using Script = pelmora::tests::Transcript<Session>;

namespace {

Script script(Credentials credentials, bool secure, Requirement requirement = Requirement::None)
{
    Script s;
    s.make = [=] {
        auto session = std::make_unique<Session>(credentials, secure, true);
        session->requireTls(requirement);
        session->setServer("imap.pelmora.test", 993);
        return session;
    };
    return s;
}

const Credentials kPassword{"user", "pa\"ss\\word"};
const Credentials kToken{"user@pelmora.test", "tok-en", true};

auto expectState(State state)
{
    return [state](Session& s) { QCOMPARE(s.state(), state); };
}
auto expectFailure(const QString& text)
{
    return [text](Session& s) {
        QCOMPARE(s.state(), State::Failed);
        QCOMPARE(s.failure(), text);
    };
}

// From a login's OK to the unseen messages known: UIDs 3 and 7 of a mailbox whose UIDVALIDITY is
// 42 (the tags follow from `tag`, the tag of the login's OK).
Script& selectInbox(Script& s, int tag)
{
    const QByteArray examine = 'P' + QByteArray::number(tag + 1);
    const QByteArray search = 'P' + QByteArray::number(tag + 2);
    return s.client(examine + " EXAMINE INBOX\r\n" + search + " UID SEARCH UNSEEN\r\n")
        .server("* FLAGS (\\Answered \\Seen)\r\n* 9 EXISTS\r\n* OK [UIDVALIDITY 42] valid\r\n"
                + examine + " OK [READ-ONLY] Examined\r\n* SEARCH 7 3\r\n" + search
                + " OK Search done\r\n")
        .act([](Session& session) {
            QCOMPARE(session.state(), State::Ready);
            QCOMPARE(session.unseen(), (std::vector<std::uint32_t>{3, 7}));
            QCOMPARE(session.uidValidity(), 42u);
        });
}

} // namespace

class ImapTranscriptTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // STARTTLS offered in the greeting; after TLS the capabilities are asked again (what came
    // in clear does not count); LOGIN with quoted strings; two headers in one UID FETCH, one a
    // literal among other items; LOGOUT.
    void startTlsLoginHeadersAndLogout()
    {
        Script s = script(kPassword, false);
        s.server("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\r\n")
            .client("P1 STARTTLS\r\n")
            .server("P1 OK Begin TLS\r\n")
            .act(expectState(State::TlsHandshake))
            .act([](Session& session) {
                QVERIFY(session.startTlsOffered());
                session.tlsEstablished();
            })
            .client("P2 CAPABILITY\r\n")
            .server("* CAPABILITY IMAP4rev1 LITERAL+\r\nP2 OK done\r\n")
            .client("P3 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("P3 OK [CAPABILITY IMAP4rev1 IDLE] Logged in\r\n");
        selectInbox(s, 3)
            .act([](Session& session) { session.requestHeader(1); })
            .client("P6 UID FETCH 3,7 (BODY.PEEK[HEADER])\r\n")
            .server("* 1 FETCH (UID 3 BODY[HEADER] {22}\r\nSubject: a\r\nX: {2}\r\n\r\n)\r\n"
                    "* 4 FETCH (FLAGS (\\Recent) BODY[HEADER] {14}\r\nSubject: b\r\n\r\n UID 7)\r\n"
                    "* 5 FETCH (FLAGS (\\Seen))\r\nP6 OK Fetch done\r\n")
            .act([](Session& session) {
                const auto first = session.takeHeader(1);
                QVERIFY(first && first->ok);
                QCOMPARE(first->value, QByteArray("Subject: a\r\nX: {2}\r\n\r\n"));
                session.requestHeader(2); // kept already: nothing sent
                const auto second = session.takeHeader(2);
                QVERIFY(second && second->ok);
                QCOMPARE(second->value, QByteArray("Subject: b\r\n\r\n"));
                session.requestLogout();
            })
            .client("P7 LOGOUT\r\n")
            .server("* BYE Logging out\r\nP7 OK Logout completed\r\n")
            .act(expectState(State::Closed));
        s.playEverySplit();
    }

    // The injected response after STARTTLS's OK: whatever comes before the handshake ends it.
    void nothingMayFollowStartTlsInClear()
    {
        script(kPassword, false)
            .server("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n")
            .client("P1 STARTTLS\r\n")
            .server("P1 OK Begin TLS\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN]\r\n")
            .act(expectFailure(failure::unexpectedDataBeforeTls()))
            .playEverySplit();
    }

    // Without TLS on offer: LOGIN in clear only when TLS was never required nor offered before;
    // LOGINDISABLED refuses LOGIN, and AUTHENTICATE PLAIN takes its place where offered.
    void plainConnections()
    {
        Script s = script(kPassword, false);
        s.server("* OK [CAPABILITY IMAP4rev1] ready\n") // a bare LF ends a line too
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("P1 OK Logged in\r\n");
        selectInbox(s, 1).playEverySplit();

        script(kPassword, false, Requirement::AskedFor)
            .server("* OK [CAPABILITY IMAP4rev1] ready\r\n")
            .act(expectFailure(failure::startTlsNotOffered()))
            .playEverySplit();
        script(kPassword, false, Requirement::OfferedBefore)
            .server("* OK ready\r\n")
            .client("P1 CAPABILITY\r\n")
            .server("* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nP1 OK\r\n")
            .act(expectFailure(failure::startTlsNoLongerOffered()))
            .playEverySplit();
        script(kPassword, true)
            .server("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\r\n")
            .act(expectFailure(failure::loginDisabled()))
            .playEverySplit();

        const QByteArray plain = QByteArray("\0user\0pa\"ss\\word", 16).toBase64();
        Script authenticate = script(kPassword, true);
        authenticate.server("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN] ready\r\n")
            .client("P1 AUTHENTICATE PLAIN\r\n")
            .server("+ \r\n")
            .client(plain + "\r\n")
            .server("P1 OK Logged in\r\n");
        selectInbox(authenticate, 1).playEverySplit();
        script(kPassword, true)
            .server("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN SASL-IR] ready\r\n")
            .client("P1 AUTHENTICATE PLAIN " + plain + "\r\n")
            .server("P1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
            .act(expectFailure(pelmora::pop3::failure::loginRejected("[AUTHENTICATIONFAILED] Authentication failed.")))
            .playEverySplit();
        script({"user\r\nP9 DELETE INBOX", "pw"}, true)
            .server("* OK [CAPABILITY IMAP4rev1] ready\r\n")
            .act(expectFailure(pelmora::pop3::failure::lineBreakInCredentials()))
            .playEverySplit();
    }

    // PREAUTH logs in without a password, but not on a plain connection that must be secure;
    // a BYE as greeting or in the middle ends the session with the server's words.
    void preauthAndBye()
    {
        Script preauth = script(kPassword, false);
        preauth.server("* PREAUTH [CAPABILITY IMAP4rev1] welcome\r\n");
        selectInbox(preauth, 0).playEverySplit();
        script(kPassword, false, Requirement::OfferedBefore)
            .server("* PREAUTH welcome\r\n")
            .act(expectFailure(failure::preauthWithoutTls()))
            .playEverySplit();
        script(kPassword, false)
            .server("* BYE Too many connections\r\n")
            .act(expectFailure(failure::serverSaidBye("Too many connections")))
            .playEverySplit();
        script(kPassword, true)
            .server("* OK [CAPABILITY IMAP4rev1] ready\r\n")
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("* BYE Server shutting down\r\nP1 OK Logged in\r\n")
            .act(expectFailure(failure::serverSaidBye("Server shutting down")))
            .playEverySplit();
    }

    // A token goes out only over TLS: OAUTHBEARER with SASL-IR, its refusal (the error challenge
    // answered with ^A) told apart from other failures; XOAUTH2 waits for the continuation.
    void bearerTokens()
    {
        script(kToken, false)
            .server("* OK [CAPABILITY IMAP4rev1 AUTH=OAUTHBEARER SASL-IR] ready\r\n")
            .act(expectFailure(failure::tokenNeedsTls()))
            .playEverySplit();
        script(kToken, true)
            .server("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n")
            .act(expectFailure(failure::tokenNotAccepted()))
            .playEverySplit();

        const QByteArray bearer = QByteArray("n,a=user@pelmora.test,\x01host=imap.pelmora.test\x01"
                                             "port=993\x01" "auth=Bearer tok-en\x01\x01")
                                      .toBase64();
        const QByteArray challenge = QByteArray(R"({"status":"401","schemes":"bearer"})").toBase64();
        script(kToken, true)
            .server("* OK [CAPABILITY IMAP4rev1 AUTH=OAUTHBEARER AUTH=XOAUTH2 SASL-IR] ready\r\n")
            .client("P1 AUTHENTICATE OAUTHBEARER " + bearer + "\r\n")
            .server("+ " + challenge + "\r\n")
            .client("AQ==\r\n")
            .server("P1 NO [AUTHENTICATIONFAILED] Authentication failed\r\n")
            .act([](Session& session) {
                QCOMPARE(session.state(), State::Failed);
                QVERIFY(session.tokenRefused());
                QCOMPARE(session.failure(),
                         pelmora::pop3::failure::tokenRefused("[AUTHENTICATIONFAILED] Authentication failed", "401"));
            })
            .playEverySplit();

        const QByteArray xoauth2 =
            QByteArray("user=user@pelmora.test\x01" "auth=Bearer tok-en\x01\x01").toBase64();
        Script accepted = script(kToken, true);
        accepted.server("* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready\r\n")
            .client("P1 AUTHENTICATE XOAUTH2\r\n")
            .server("+\r\n")
            .client(xoauth2 + "\r\n")
            .server("P1 OK Logged in\r\n");
        selectInbox(accepted, 1).playEverySplit();
    }

    // A FETCH refused, or answered without the header, fails those messages only.
    void headersThatDoNotCome()
    {
        Script s = script(kPassword, true);
        s.server("* OK [CAPABILITY IMAP4rev1] ready\r\n")
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("P1 OK\r\n");
        selectInbox(s, 1)
            .act([](Session& session) { session.requestHeader(2); })
            .client("P4 UID FETCH 7 (BODY.PEEK[HEADER])\r\n")
            .server("P4 OK nothing there\r\n")
            .act([](Session& session) {
                const auto gone = session.takeHeader(2);
                QVERIFY(gone && !gone->ok);
                QCOMPARE(gone->failure, failure::headerNotSent());
                session.requestHeader(1);
            })
            .client("P5 UID FETCH 3,7 (BODY.PEEK[HEADER])\r\n")
            .server("P5 NO [SERVERBUG] Internal error\r\n")
            .act([](Session& session) {
                const auto refused = session.takeHeader(1);
                QVERIFY(refused && !refused->ok);
                QCOMPARE(refused->failure, failure::fetchRefused("Internal error"));
                QCOMPARE(session.state(), State::Ready);
            });
        s.playEverySplit();
    }

    // IDLE: nothing is awaited once the server has accepted it; a message added and one marked
    // unread again are news, one marked read is not; DONE before the acceptance waits for it; a
    // refused IDLE ends the session; LOGOUT while idling says DONE first.
    void idleTellsOfNewMail()
    {
        const auto notices = [](std::uint64_t n) {
            return [n](Session& s) { QCOMPARE(s.mailNotices(), n); };
        };
        Script s = script(kPassword, true);
        s.server("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n")
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("P1 OK\r\n");
        selectInbox(s, 1)
            .act([](Session& session) {
                QVERIFY(session.offersIdle());
                session.startIdle();
                QVERIFY(session.awaitingReply());
            })
            .client("P4 IDLE\r\n")
            .server("+ idling\r\n")
            .act([](Session& session) {
                QCOMPARE(session.state(), State::Idling);
                QVERIFY(!session.awaitingReply());
            })
            .server("* 10 EXISTS\r\n* 1 RECENT\r\n")
            .act(notices(1))
            .server("* 4 FETCH (FLAGS (\\Seen \\Answered))\r\n")
            .act(notices(1))
            .server("* 5 FETCH (UID 12 FLAGS (\\Flagged))\r\n* 2 EXPUNGE\r\n")
            .act(notices(2))
            .act([](Session& session) { session.endIdle(); })
            .client("DONE\r\n")
            .server("P4 OK Idle done\r\n")
            .act(expectState(State::Ready))
            .act([](Session& session) {
                session.startIdle();
                session.endIdle(); // before the server has accepted it
            })
            .client("P5 IDLE\r\n")
            .server("+ idling\r\n")
            .client("DONE\r\n")
            .server("P5 OK\r\n")
            .act([](Session& session) { session.startIdle(); })
            .client("P6 IDLE\r\n")
            .server("+ idling\r\n")
            .act([](Session& session) { session.requestLogout(); })
            .client("DONE\r\nP7 LOGOUT\r\n")
            .server("P6 OK\r\n* BYE bye\r\nP7 OK\r\n")
            .act(expectState(State::Closed));
        s.playEverySplit();

        Script refused = script(kPassword, true);
        refused.server("* OK [CAPABILITY IMAP4rev1 IDLE] ready\r\n")
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server("P1 OK\r\n");
        selectInbox(refused, 1)
            .act([](Session& session) { session.startIdle(); })
            .client("P4 IDLE\r\n")
            .server("P4 NO [LIMIT] Too many idlers\r\n")
            .act(expectFailure(failure::idleRefused("[LIMIT] Too many idlers")));
        refused.playEverySplit();
    }

    // Responses that end the session at once, whatever comes after them.
    void responsesThatEndTheSession_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("text");
        QTest::newRow("tag never sent") << QByteArray("P9 OK Logged in\r\n")
                                        << failure::unknownTag("P9 OK Logged in");
        QTest::newRow("2 GB literal") << QByteArray("* 1 FETCH (BODY[HEADER] {2147483648}\r\n")
                                      << failure::literalTooLarge(2147483648, Limits::kMaxLiteral);
        QTest::newRow("NUL") << QByteArray("* OK a\0b\r\n", 10) << failure::nulInResponse();
        QTest::newRow("continuation") << QByteArray("+ go ahead\r\n")
                                      << failure::unexpectedContinuation();
        QTest::newRow("garbled") << QByteArray("hello\r\n") << failure::garbledResponse("hello");
    }
    void responsesThatEndTheSession()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, text);
        script(kPassword, true)
            .server("* OK [CAPABILITY IMAP4rev1] ready\r\n")
            .client("P1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n")
            .server(response + "P1 OK Logged in\r\n")
            .act(expectFailure(text))
            .playEverySplit();
    }
};

QTEST_MAIN(ImapTranscriptTest)
#include "TranscriptTest.moc"
