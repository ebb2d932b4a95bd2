// Sign-in against the test identity provider, with the refresh token in a real keyring (GNOME
// Keyring on a private bus) and the browser replaced by a script that follows the provider's page
// back to the program.

#include "tests/fakes/FakeProgramFolder.h"
#include "tests/signin/SignInTestKit.h"

#include "platform/adapters/keychain/KeychainSecretStore.h"
#include "signin/AuthorizationFlow.h"
#include "signin/SignInFile.h"
#include "signin/SignInService.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace pelmora;
using pelmora::tests::FixtureInfo;
using pelmora::tests::IdentityProvider;
using pelmora::tests::ScriptBrowser;
using Outcome = platform::SecretStore::Outcome;

namespace {

const QString kLogin = u"taro@example.test"_s;
const QString kSecretName = u"custom:taro@example.test"_s;
const QString kExpired =
    u"サインインの有効期限が切れたか取り消されました。「サインイン」からもう一度サインインしてください。"_s;

// Whether something accepts connections at the loopback redirect of `authorizationRequest`.
bool redirectListens(const QUrl& authorizationRequest)
{
    const QUrl redirect(QUrlQuery(authorizationRequest).queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded));
    QTcpSocket socket;
    socket.connectToHost(redirect.host(), quint16(redirect.port()));
    return socket.waitForConnected(3000);
}

// Lowers this process's limit of open descriptors for a while, as on a machine with the usual
// limit of 1024.
class DescriptorLimit {
public:
    explicit DescriptorLimit(rlim_t soft)
    {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = std::min(soft, m_saved.rlim_cur);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    rlimit m_saved{};
};

// The real keyring, its writes held back for a second and a half: a keyring slow to keep.
class SlowWrites final : public platform::SecretStore {
public:
    explicit SlowWrites(platform::SecretStore& real) : m_real(real) {}
    int writesAsked = 0;
    int writesDone = 0;

    void read(const QString& name, QObject* context, Answer answer) override
    {
        m_real.read(name, context, std::move(answer));
    }
    void write(const QString& name, const QByteArray& secret, QObject* context,
               Answer answer) override
    {
        ++writesAsked;
        QTimer::singleShot(1500, context, [=, this] {
            m_real.write(name, secret, context, [=, this](const Result& result) {
                ++writesDone;
                answer(result);
            });
        });
    }
    void remove(const QString& name, QObject* context, Answer answer) override
    {
        m_real.remove(name, context, std::move(answer));
    }

private:
    platform::SecretStore& m_real;
};

// A token endpoint that answers every request with `reply`, for providers that misbehave.
class HostileTokenEndpoint {
public:
    explicit HostileTokenEndpoint(QByteArray reply) : m_reply(std::move(reply))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                socket->readAll();
                if (socket->property("answered").toBool())
                    return;
                socket->setProperty("answered", true);
                socket->write(m_reply);
                socket->disconnectFromHost();
            });
        });
    }
    QString url() const { return u"http://127.0.0.1:%1/token"_s.arg(m_server.serverPort()); }

private:
    QByteArray m_reply;
    QTcpServer m_server;
};

} // namespace

class SignInKeyringTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { tests::useKeyringFixture("PELMORA_KEYRING_INFO"); }

private slots:
    void init()
    {
        m_keyring = FixtureInfo::load("PELMORA_KEYRING_INFO");
        PELMORA_REQUIRE_FIXTURE(m_keyring);
        const FixtureInfo signin = FixtureInfo::load("PELMORA_SIGNIN_INFO");
        PELMORA_REQUIRE_FIXTURE(signin);
        m_provider = std::make_unique<IdentityProvider>(signin);
        QCOMPARE(m_provider->control(u"access-lifetime"_s, QUrlQuery(u"seconds=3600"_s)), 204);
        m_folder = std::make_unique<fakes::FakeProgramFolder>();
        m_store.remove(kSecretName);
    }
    void cleanup()
    {
        m_store.remove(kSecretName);
        m_folder.reset();
    }

    // The adapter itself, against the keyring and a second client of it.
    void keyringAdapterKeepsSecretsByName()
    {
        const QString name = u"custom:adapter@example.test"_s;
        QCOMPARE(m_store.read(name).outcome, Outcome::NotFound);
        const QByteArray secret = QByteArrayLiteral("refresh-\x01\xff\0tail");
        QCOMPARE(m_store.write(name, secret).outcome, Outcome::Done);
        const auto read = m_store.read(name);
        QCOMPARE(read.outcome, Outcome::Done);
        QCOMPARE(read.secret, secret);
        QCOMPARE(m_store.write(name, "second").outcome, Outcome::Done);
        QCOMPARE(m_store.read(name).secret, QByteArray("second"));
        QCOMPARE(tests::keyringLookup(name), QByteArray("second"));
        QCOMPARE(m_store.remove(name).outcome, Outcome::Done);
        QCOMPARE(m_store.read(name).outcome, Outcome::NotFound);
        QCOMPARE(tests::keyringLookup(name), QByteArray());
        QCOMPARE(m_store.remove(name).outcome, Outcome::Done);
    }

    void firstSignIn_data()
    {
        QTest::addColumn<bool>("confidential");
        QTest::newRow("public client") << false;
        QTest::newRow("confidential client with its secret") << true;
    }
    void firstSignIn()
    {
        QFETCH(bool, confidential);
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QCOMPARE(service.state().text, u"サインインしていません"_s);
        QVERIFY(!service.accountSignsIn());

        const signin::SignInChoice choice = tests::providerChoice(*m_provider, confidential);
        const tests::SignInOutcome outcome = tests::signInAndWait(service, choice);
        QVERIFY2(outcome.finished, "the sign-in never ended");
        QVERIFY2(outcome.ok, qPrintable(outcome.text));
        QCOMPARE(outcome.text, kLogin + u" としてサインインしました。"_s);

        // The user saw the provider's page and then the program's own.
        QCOMPARE(browser.visited.size(), 1);
        const QUrlQuery request(browser.visited.first());
        QCOMPARE(request.queryItemValue(u"code_challenge_method"_s), u"S256"_s);
        QVERIFY(request.queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded)
                    .startsWith(u"http://127.0.0.1:"_s));
        QVERIFY2(browser.lastPage().contains(u"サインインが終わりました"_s), qPrintable(browser.lastPage()));
        // The provider took the code only with the verifier that matches the challenge.
        QCOMPARE(m_provider->tokenRequests().last(), u"authorization_code 200"_s);

        const signin::SignInState state = service.state();
        QVERIFY(state.signedIn);
        QVERIFY(state.inKeyring);
        QVERIFY(state.keyringAvailable);
        QCOMPARE(state.text, kLogin + u" としてサインインしています（キーリングに保存）"_s);
        QVERIFY(service.accountSignsIn());
        QCOMPARE(service.choice(), choice);

        const signin::AccessToken access = service.accessToken(false);
        QVERIFY2(access.ok, qPrintable(access.failure));
        const QJsonObject introspection = m_provider->introspect(access.token);
        QCOMPARE(introspection.value(u"active"_s).toBool(), true);
        QCOMPARE(introspection.value(u"username"_s).toString(), kLogin);

        // The refresh token is in the keyring, as another client of it sees, and in no file.
        const QByteArray refreshToken = tests::keyringLookup(kSecretName);
        QVERIFY2(refreshToken.startsWith("refresh-"), refreshToken.constData());
        for (const QString& folder : {m_folder->programFolder(), tests::privateHome()}) {
            QCOMPARE(tests::filesContaining(folder, refreshToken), QStringList());
            QCOMPARE(tests::filesContaining(folder, access.token), QStringList());
        }
        // The choice's file is the owner's alone: it may hold the client secret.
        const QFileInfo file(m_folder->dataFolder() + u"/iniSignIn.ini"_s);
        QVERIFY(file.exists());
        QCOMPARE(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(tests::filesContaining(m_folder->dataFolder(), "pelmora-secret").size(),
                 confidential ? 1 : 0);

        // The next start of the program finds the sign-in in the keyring and gets a fresh access
        // token with it, without the user.
        signin::SignInService restarted(m_folder->dataFolder(), m_keychain, browser);
        QTRY_VERIFY(restarted.state().signedIn);
        QVERIFY(restarted.state().inKeyring);
        const signin::AccessToken again = restarted.accessToken(false);
        QVERIFY2(again.ok, qPrintable(again.failure));
        QCOMPARE(m_provider->tokenRequests().last(), u"refresh_token 200"_s);
        QCOMPARE(m_provider->introspect(again.token).value(u"active"_s).toBool(), true);
        QCOMPARE(browser.visited.size(), 1);
    }

    // Expired access tokens are replaced by the refresh token, without the user.
    void expiredAccessTokenIsRefreshed()
    {
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QVERIFY(tests::signInAndWait(service, tests::providerChoice(*m_provider)).ok);
        const signin::AccessToken first = service.accessToken(false);
        QVERIFY(first.ok);
        const qsizetype requests = m_provider->tokenRequests().size();
        QCOMPARE(service.accessToken(false).token, first.token);
        QCOMPARE(m_provider->tokenRequests().size(), requests);

        // The server refused it: the check asks for a fresh one.
        QCOMPARE(m_provider->control(u"expire-access"_s), 204);
        QCOMPARE(m_provider->introspect(first.token).value(u"active"_s).toBool(), false);
        const signin::AccessToken refreshed = service.accessToken(true);
        QVERIFY2(refreshed.ok, qPrintable(refreshed.failure));
        QVERIFY(refreshed.token != first.token);
        QCOMPARE(m_provider->introspect(refreshed.token).value(u"active"_s).toBool(), true);

        // A token that expires within the minute is replaced before it is handed out.
        QCOMPARE(m_provider->control(u"access-lifetime"_s, QUrlQuery(u"seconds=30"_s)), 204);
        const signin::AccessToken shortLived = service.accessToken(true);
        QVERIFY(shortLived.ok);
        const signin::AccessToken replaced = service.accessToken(false);
        QVERIFY2(replaced.ok, qPrintable(replaced.failure));
        QVERIFY(replaced.token != shortLived.token);
        QCOMPARE(m_provider->tokenRequests().last(), u"refresh_token 200"_s);
        QVERIFY(service.state().signedIn);
        QCOMPARE(browser.visited.size(), 1);
    }

    void revokedSignInAsksToSignInAgain()
    {
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QVERIFY(tests::signInAndWait(service, tests::providerChoice(*m_provider)).ok);
        QVERIFY(!tests::keyringLookup(kSecretName).isEmpty());
        QSignalSpy changed(&service, &signin::SignInService::stateChanged);

        QCOMPARE(m_provider->control(u"revoke"_s), 204);
        const signin::AccessToken access = service.accessToken(true);
        QVERIFY(!access.ok);
        QVERIFY(access.signInAgain);
        QVERIFY(access.token.isEmpty());
        QCOMPARE(access.failure, kExpired);
        QCOMPARE(m_provider->tokenRequests().last(), u"refresh_token 400"_s);

        // The refused token is gone from the keyring; the window says what to do.
        QTRY_COMPARE(tests::keyringLookup(kSecretName), QByteArray());
        QVERIFY(!changed.isEmpty());
        QVERIFY(!service.state().signedIn);
        QCOMPARE(service.state().text, kExpired);
        // The choice stays, so signing in again needs no typing; until then checks are told.
        QVERIFY(service.accountSignsIn());
        const signin::AccessToken next = service.accessToken(false);
        QVERIFY(!next.ok);
        QVERIFY(next.signInAgain);

        QVERIFY(tests::signInAndWait(service, service.choice()).ok);
        QVERIFY(service.accessToken(false).ok);
    }

    void signOutForgetsTokenAndChoice()
    {
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QVERIFY(tests::signInAndWait(service, tests::providerChoice(*m_provider, true)).ok);
        service.signOut();
        QTRY_COMPARE(tests::keyringLookup(kSecretName), QByteArray());
        QVERIFY(!QFileInfo::exists(m_folder->dataFolder() + u"/iniSignIn.ini"_s));
        QVERIFY(!service.accountSignsIn());
        QCOMPARE(service.state().text, u"サインインしていません"_s);
        const signin::AccessToken access = service.accessToken(false);
        QVERIFY(!access.ok);
        QCOMPARE(access.failure, u"サインインの設定がありません。"_s);
        signin::SignInService restarted(m_folder->dataFolder(), m_keychain, browser);
        QVERIFY(!restarted.accountSignsIn());
        QVERIFY(!restarted.state().signedIn);
    }

    // The provider or the user says no: the sign-in ends with the reason and keeps nothing.
    void refusedSignIn_data()
    {
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown client") << u"not-registered"_s << QString() << u"unauthorized_client"_s;
        QTest::newRow("confidential client without its secret")
            << u"pelmora-confidential"_s << QString() << u"invalid_client"_s;
        QTest::newRow("wrong secret") << u"pelmora-confidential"_s << u"wrong"_s << u"invalid_client"_s;
    }
    void refusedSignIn()
    {
        QFETCH(QString, clientId);
        QFETCH(QString, secret);
        QFETCH(QString, reason);
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        signin::SignInChoice choice = tests::providerChoice(*m_provider);
        choice.clientId = clientId;
        choice.clientSecret = secret;
        const tests::SignInOutcome outcome = tests::signInAndWait(service, choice);
        QVERIFY2(outcome.finished, "a refused sign-in must end, not wait for the time limit");
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.text.contains(reason), qPrintable(outcome.text));
        QVERIFY(!service.state().signedIn);
        QCOMPARE(service.state().text, outcome.text);
        QCOMPARE(tests::keyringLookup(kSecretName), QByteArray());
        QVERIFY(!service.accessToken(false).ok);
    }

    // Tokens travel over TLS only, or to this machine.
    void plainHttpToAnotherHostIsRefused()
    {
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        signin::SignInChoice choice = tests::providerChoice(*m_provider);
        choice.tokenUrl = u"http://provider.example/token"_s;
        const tests::SignInOutcome outcome = tests::signInAndWait(service, choice);
        QVERIFY(outcome.finished && !outcome.ok);
        QVERIFY2(outcome.text.contains(u"https://"_s), qPrintable(outcome.text));
        QVERIFY(browser.visited.isEmpty());
    }

    // Nobody finishes in the browser: the sign-in gives up with a clear text and stops
    // listening; a second sign-in replaces one still waiting.
    void abandonedSignIn()
    {
        ScriptBrowser idle;
        idle.opens = false;
        signin::AuthorizationFlow flow(tests::providerChoice(*m_provider), idle,
                                       std::chrono::milliseconds(1500));
        QSignalSpy finished(&flow, &signin::AuthorizationFlow::finished);
        flow.start();
        QTRY_COMPARE_WITH_TIMEOUT(idle.visited.size(), 1, 5000);
        QVERIFY(redirectListens(idle.visited.first()));
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY2(finished.first().at(1).toString().contains(u"中止しました"_s),
                 qPrintable(finished.first().at(1).toString()));
        QVERIFY(!redirectListens(idle.visited.first()));

        ScriptBrowser browser;
        browser.opens = false;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QSignalSpy done(&service, &signin::SignInService::finished);
        service.signIn(tests::providerChoice(*m_provider));
        QTRY_COMPARE_WITH_TIMEOUT(browser.visited.size(), 1, 5000);
        QVERIFY(service.state().text.contains(u"ブラウザー"_s));
        browser.opens = true;
        QVERIFY(tests::signInAndWait(service, tests::providerChoice(*m_provider)).ok);
        QVERIFY(!redirectListens(browser.visited.first()));
        QTest::qWait(200);
        QCOMPARE(done.size(), 1);
        QVERIFY(service.state().signedIn);
    }

    // Another program on this machine reaches the loopback redirect while the user signs in, on
    // a machine where a program may have 1024 descriptors open: it holds idle connections, sends
    // a provider error without the state, its own account's code with guessed states and to
    // another path, and a request line without end. None of it ends or steers the sign-in; the
    // user's browser, which sends its request in two writes, still signs in as the user.
    void otherLocalProgramsCannotEndOrSteerTheSignIn()
    {
        const DescriptorLimit limit(1024);
        ScriptBrowser browser;
        browser.opens = false;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QSignalSpy done(&service, &signin::SignInService::finished);
        service.signIn(tests::providerChoice(*m_provider, true));
        QTRY_COMPARE_WITH_TIMEOUT(browser.visited.size(), 1, 5000);
        const QUrl request = browser.visited.first();
        QUrlQuery query(request);
        // At least 128 bits, as base64url; and never the same twice.
        const QString state = query.queryItemValue(u"state"_s);
        QVERIFY2(state.size() >= 22, qPrintable(state));
        const QUrl redirect(query.queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded));
        QCOMPARE(redirect.toString(), u"http://127.0.0.1:%1/"_s.arg(redirect.port()));
        query.removeAllQueryItems(u"state"_s);
        QUrl withoutState(request);
        withoutState.setQuery(query);
        const qsizetype tokenRequests = m_provider->tokenRequests().size();

        QProcess neighbour;
        neighbour.start(QStringLiteral(PELMORA_SIGNIN_TEST_DIR "/neighbour"),
                        {QString::number(redirect.port()), withoutState.toString(QUrl::FullyEncoded)});
        QTRY_VERIFY_WITH_TIMEOUT(neighbour.state() == QProcess::NotRunning, 90000);
        const QByteArray report = neighbour.readAllStandardOutput();
        const QJsonObject seen = QJsonDocument::fromJson(report).object();
        QVERIFY2(!seen.isEmpty(), QByteArray(report + neighbour.readAllStandardError()).constData());
        QVERIFY2(seen.value(u"idle_opened"_s).toInt() > 1024, report.constData());
        QCOMPARE(seen.value(u"idle_still_open"_s).toInt(), 0);
        QCOMPARE(seen.value(u"error_without_state"_s).toString(), u"HTTP/1.1 400 Bad Request"_s);
        QVERIFY(seen.value(u"attackers_code"_s).toBool());
        QCOMPARE(seen.value(u"guessed_states"_s).toArray(), QJsonArray{u"HTTP/1.1 400 Bad Request"_s});
        QCOMPARE(seen.value(u"wrong_path"_s).toString(), u"HTTP/1.1 400 Bad Request"_s);
        QVERIFY(seen.value(u"endless_line_cut_off"_s).toBool());
        QVERIFY2(seen.value(u"endless_line_sent"_s).toInteger() < 16 * 1024 * 1024, report.constData());
        QCOMPARE(done.size(), 0);
        QCOMPARE(m_provider->tokenRequests().size(), tokenRequests);
        QVERIFY(service.state().text.contains(u"ブラウザー"_s));

        ScriptBrowser user;
        user.script = u"split-browser"_s;
        user.navigate(request);
        QVERIFY(done.wait(30000));
        QVERIFY2(done.first().at(0).toBool(), qPrintable(done.first().at(1).toString()));
        QVERIFY2(user.lastPage().contains(u"サインインが終わりました"_s), qPrintable(user.lastPage()));
        QVERIFY(!redirectListens(request));
        const signin::AccessToken access = service.accessToken(false);
        QVERIFY2(access.ok, qPrintable(access.failure));
        QCOMPARE(m_provider->introspect(access.token).value(u"username"_s).toString(), kLogin);

        // The next sign-in asks with a state of its own.
        browser.opens = false;
        service.signIn(tests::providerChoice(*m_provider, true));
        QTRY_COMPARE_WITH_TIMEOUT(browser.visited.size(), 2, 5000);
        QVERIFY(QUrlQuery(browser.visited.last()).queryItemValue(u"state"_s) != state);
    }

    // The browser's page says the sign-in is finished only once the tokens have come, and
    // otherwise what went wrong.
    void browserIsToldHowTheSignInEnded()
    {
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        QCOMPARE(m_provider->control(u"token-delay"_s, QUrlQuery(u"seconds=2"_s)), 204);
        QSignalSpy done(&service, &signin::SignInService::finished);
        service.signIn(tests::providerChoice(*m_provider));
        const QString finished = browser.lastPage();
        QCOMPARE(m_provider->control(u"token-delay"_s, QUrlQuery(u"seconds=0"_s)), 204);
        QVERIFY2(finished.contains(u"サインインが終わりました"_s), qPrintable(finished));
        QCOMPARE(m_provider->tokenRequests().last(), u"authorization_code 200"_s);
        QCOMPARE(done.size(), 1);

        // The provider refuses the code: a confidential client that did not send its secret.
        signin::SignInChoice choice = tests::providerChoice(*m_provider, true);
        choice.clientSecret.clear();
        const tests::SignInOutcome outcome = tests::signInAndWait(service, choice);
        QVERIFY(outcome.finished && !outcome.ok);
        const QString failed = browser.lastPage();
        QVERIFY2(!failed.contains(u"終わりました"_s), qPrintable(failed));
        QVERIFY2(failed.contains(u"できませんでした"_s) && failed.contains(u"invalid_client"_s),
                 qPrintable(failed));
    }

    // The user signs out while the keyring is still keeping the new sign-in's token: the
    // sign-out has the last word, in the keyring as another client of it sees.
    void signOutWhileTheKeyringKeepsTheToken()
    {
        SlowWrites slow(m_keychain);
        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), slow, browser);
        QSignalSpy done(&service, &signin::SignInService::finished);
        service.signIn(tests::providerChoice(*m_provider));
        QTRY_VERIFY_WITH_TIMEOUT(slow.writesAsked > 0, 30000);
        service.signOut();
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().at(1).toString(), u"サインインを取り消しました。"_s);
        // The write is kept first, then the removal the sign-out asked for.
        QTRY_VERIFY_WITH_TIMEOUT(slow.writesDone > 0, 15000);
        QTRY_COMPARE(tests::keyringLookup(kSecretName), QByteArray());
        QCOMPARE(service.state().text, u"サインインしていません"_s);
        QCOMPARE(done.size(), 1);
    }

    // A token endpoint that misbehaves at refresh time: the check is told why, and the sign-in
    // stays for the next try.
    void misbehavingTokenEndpoint_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("reason");
        const auto http = [](const char* status, const QByteArray& body) -> QByteArray {
            return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: application/json\r\n"
                   "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        };
        QTest::newRow("oversized reply")
            << http("200 OK", "{\"access_token\":\"" + QByteArray(200000, 'a') + "\"}")
            << u"大きすぎます"_s;
        QTest::newRow("server error") << http("500 Oops", "oops!") << u"HTTP 500"_s;
        QTest::newRow("not JSON") << http("200 OK", "<html>") << u"読み取れません"_s;
        QTest::newRow("control characters in the reason")
            << http("400 Bad", "{\"error\":\"temporarily_unavailable\\n\",\"error_description\":\"try\\r\\nlater\"}")
            << u"temporarily_unavailable"_s;
    }
    void misbehavingTokenEndpoint()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, reason);
        HostileTokenEndpoint endpoint(reply);
        signin::SignInChoice choice = tests::providerChoice(*m_provider);
        choice.tokenUrl = endpoint.url();
        QVERIFY(signin::SignInFile(m_folder->dataFolder()).write(choice));
        QCOMPARE(m_store.write(kSecretName, "refresh-kept").outcome, Outcome::Done);

        ScriptBrowser browser;
        signin::SignInService service(m_folder->dataFolder(), m_keychain, browser);
        const signin::AccessToken access = service.accessToken(false);
        QVERIFY(service.state().signedIn);
        QVERIFY(!access.ok);
        QVERIFY(!access.signInAgain);
        QVERIFY2(access.failure.contains(reason), qPrintable(access.failure));
        QVERIFY(!access.failure.contains(u'\n'));
        QVERIFY(!access.failure.contains(u"refresh-kept"_s));
        QVERIFY(service.state().signedIn);
        QCOMPARE(tests::keyringLookup(kSecretName), QByteArray("refresh-kept"));
    }

private:
    FixtureInfo m_keyring;
    std::unique_ptr<IdentityProvider> m_provider;
    std::unique_ptr<fakes::FakeProgramFolder> m_folder;
    platform::KeychainSecretStore m_keychain;
    tests::AnsweredSecrets m_store{m_keychain};
};

QTEST_GUILESS_MAIN(SignInKeyringTest)
#include "signin_keyring_test.moc"
