// Sign-in on a desktop where no keyring answers (a session bus without the Secret Service): the
// refresh token is kept in memory for this run only, and nothing is written in its stead.

#include "tests/fakes/FakeProgramFolder.h"
#include "tests/signin/SignInTestKit.h"

#include "platform/adapters/keychain/KeychainSecretStore.h"
#include "signin/SignInService.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using pelmora::tests::FixtureInfo;
using pelmora::tests::IdentityProvider;
using pelmora::tests::ScriptBrowser;
using Outcome = platform::SecretStore::Outcome;

class SignInNoKeyringTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { tests::useKeyringFixture("PELMORA_NOKEYRING_INFO"); }

private slots:
    void init()
    {
        const FixtureInfo bus = FixtureInfo::load("PELMORA_NOKEYRING_INFO");
        PELMORA_REQUIRE_FIXTURE(bus);
        const FixtureInfo signin = FixtureInfo::load("PELMORA_SIGNIN_INFO");
        PELMORA_REQUIRE_FIXTURE(signin);
        m_provider = std::make_unique<IdentityProvider>(signin);
        QCOMPARE(m_provider->control(u"access-lifetime"_s, QUrlQuery(u"seconds=3600"_s)), 204);
    }

    // Every call of the adapter says the keyring is unavailable, with the keyring's reason.
    void adapterReportsNoKeyring()
    {
        platform::KeychainSecretStore keychain;
        tests::AnsweredSecrets store(keychain);
        for (const auto& result : {store.read(u"custom:a"_s), store.write(u"custom:a"_s, "x"),
                                   store.remove(u"custom:a"_s)}) {
            QCOMPARE(result.outcome, Outcome::Unavailable);
            QVERIFY(!result.detail.isEmpty());
        }
    }

    void signedInForThisRunOnly()
    {
        fakes::FakeProgramFolder folder;
        platform::KeychainSecretStore store;
        ScriptBrowser browser;
        const QString login = u"hanako@example.test"_s;
        {
            signin::SignInService service(folder.dataFolder(), store, browser);
            QVERIFY(!service.state().keyringAvailable);
            const tests::SignInOutcome outcome =
                tests::signInAndWait(service, tests::providerChoice(*m_provider, true, login));
            QVERIFY2(outcome.ok, qPrintable(outcome.text));
            QVERIFY2(outcome.text.contains(u"このセッションの間だけ"_s), qPrintable(outcome.text));

            const signin::SignInState state = service.state();
            QVERIFY(state.signedIn);
            QVERIFY(!state.inKeyring);
            QVERIFY(!state.keyringAvailable);
            QCOMPARE(state.text,
                     login + u" としてサインインしています（このセッションのみ：キーリングがありません）"_s);

            // Checks work all the same, refreshing from memory.
            const signin::AccessToken access = service.accessToken(true);
            QVERIFY2(access.ok, qPrintable(access.failure));
            QCOMPARE(m_provider->introspect(access.token).value(u"username"_s).toString(), login);
            QCOMPARE(m_provider->tokenRequests().last(), u"refresh_token 200"_s);

            // Nothing holds a token in a file: not the program folder, not the home folder
            // (where a keyring library's fallback would write).
            for (const QString& folderPath : {folder.programFolder(), tests::privateHome()}) {
                QCOMPARE(tests::filesContaining(folderPath, access.token), QStringList());
                QCOMPARE(tests::filesContaining(folderPath, "refresh-"), QStringList());
            }
        }
        // The next run knows the choice but must sign in again.
        signin::SignInService restarted(folder.dataFolder(), store, browser);
        QVERIFY(restarted.accountSignsIn());
        QCOMPARE(restarted.choice().loginName, login);
        QTRY_COMPARE(restarted.state().text, u"サインインしていません"_s);
        QVERIFY(!restarted.state().signedIn);
        const signin::AccessToken access = restarted.accessToken(false);
        QVERIFY(!access.ok);
        QVERIFY(access.signInAgain);
        QVERIFY(!access.failure.isEmpty());
    }

private:
    std::unique_ptr<IdentityProvider> m_provider;
};

QTEST_GUILESS_MAIN(SignInNoKeyringTest)
#include "signin_nokeyring_test.moc"
