// The program with a sign-in kept from an earlier run and a keyring that never answers (a hung
// Secret Service on the session bus, tests/servers/hung-secret-service): the main window comes up
// at once, and a check that needs the token waits for the keyring only as long as the keyring
// adapter allows.

#include "tests/fakes/FakePlatform.h"
#include "tests/signin/SignInTestKit.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "platform/adapters/keychain/KeychainSecretStore.h"
#include "platform/adapters/widgets/QtWindowPositioner.h"
#include "signin/SignInFile.h"
#include "signin/SignInService.h"
#include "signin/forms/SignInWindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::FixtureInfo;

class SignInHungKeyringTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { tests::useKeyringFixture("PELMORA_HUNGKEYRING_INFO"); }

private slots:
    void windowComesUpWhileTheKeyringDoesNotAnswer()
    {
        PELMORA_REQUIRE_FIXTURE(FixtureInfo::load("PELMORA_HUNGKEYRING_INFO"));
        platform::KeychainSecretStore keychain(std::chrono::seconds(10));
        tests::ScriptBrowser browser;
        browser.opens = false;
        platform::QtWindowPositioner windows;
        fakes::FakePlatform fake(
            fakes::FakePlatform::DataFolder::Present,
            fakes::FakePlatform::Replacements().with(keychain).with(browser).with(windows));
        fake.storeServerAndAccount();
        const signin::SignInChoice kept{u"custom"_s, u"client"_s, {}, u"taro@example.test"_s,
                                        u"https://id.example/authorize"_s, u"https://id.example/token"_s,
                                        u"pop offline_access"_s, u"pop3://127.0.0.1:110"_s};
        QVERIFY(signin::SignInFile(fake.dataFolder()).write(kept));

        QElapsedTimer clock;
        clock.start();
        app::Application app(fake.services());
        app.start();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));

        // The sign-in window says what it waits for.
        app.forms().show<signin::SignInWindow>();
        auto* state = app.forms().peek<signin::SignInWindow>()->findChild<QLabel*>(u"Label1"_s);
        QCOMPARE(state->text(), u"キーリングからサインインを読み込んでいます…"_s);

        // A check that needs the token waits for the keyring, as long as the adapter allows.
        const signin::AccessToken access = app.signIn().accessToken(false);
        QVERIFY(!access.ok);
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!app.signIn().state().keyringAvailable);
        QCOMPARE(state->text(), u"サインインしていません"_s);
        app.mainWindow().quit();
    }
};

QTEST_MAIN(SignInHungKeyringTest)
#include "signin_hung_keyring_test.moc"
