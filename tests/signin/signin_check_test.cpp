// Sign-in as a user meets it: the real program (offscreen) with the real POP3 library, the real
// keyring adapter on a private GNOME Keyring, the test identity provider and a Dovecot that takes
// its tokens; the browser is a script. The user signs in from ファイル → サインイン and checks
// from the menu; Dovecot's log, the notice board and the provider's log witness what happened.

#include "tests/mail/CheckingProgram.h"
#include "tests/servers/DovecotWitness.h"
#include "tests/signin/SignInTestKit.h"

#include "platform/adapters/keychain/KeychainSecretStore.h"
#include "signin/forms/SignInWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using tests::DovecotWitness;
using tests::FixtureInfo;
using tests::IdentityProvider;
using tests::ScriptBrowser;

namespace {

// The program with no server or account of its own: the mailbox is reached through sign-in.
struct Program : tests::CheckingProgram {
    Program(platform::SecretStore& keyring, ScriptBrowser& browser)
        : CheckingProgram("POP3=\r\nAPOP=0\r\n", "",
                          pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)},
                          fakes::FakePlatform::Replacements().with(keyring).with(browser))
    {
    }

    signin::SignInWindow& openSignIn()
    {
        app.mainWindow().findChild<QAction*>(u"msignin"_s)->trigger();
        auto* window = app.forms().peek<signin::SignInWindow>();
        return *window;
    }
    // What the sign-in window's state line says.
    QString signInState()
    {
        auto* window = app.forms().peek<signin::SignInWindow>();
        return window ? window->findChild<QLabel*>(u"Label1"_s)->text() : QString();
    }
    QString boardCount()
    {
        alert::NoticeBoard* notice = board();
        return notice ? notice->findChild<QLineEdit*>(u"Text2"_s)->text() : QString();
    }
    QStringList errorBoxes() const { return fake.log.withPrefix(u"MsgBox("_s); }
};

void type(QWidget& window, const char* box, const QString& text)
{
    window.findChild<QLineEdit*>(QString::fromLatin1(box))->setText(text);
}

} // namespace

class SignInCheckTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { tests::useKeyringFixture("PELMORA_KEYRING_INFO"); }

private slots:
    void initTestCase()
    {
        m_info = FixtureInfo::load("PELMORA_SIGNIN_INFO");
        PELMORA_REQUIRE_FIXTURE(m_info);
        PELMORA_REQUIRE_FIXTURE(FixtureInfo::load("PELMORA_KEYRING_INFO"));
        qputenv("SSL_CERT_FILE", m_info[u"CA_CERT"_s].toUtf8());
    }

    void signInThenCheckWithTokensTheProviderIssues();

private:
    FixtureInfo m_info;
};

void SignInCheckTest::signInThenCheckWithTokensTheProviderIssues()
{
    IdentityProvider provider(m_info);
    QCOMPARE(provider.control(u"access-lifetime"_s, QUrlQuery(u"seconds=3600"_s)), 204);
    const QString user = m_info[u"OAUTH_USER"_s];
    platform::KeychainSecretStore keyring;
    ScriptBrowser browser;
    Program program(keyring, browser);
    DovecotWitness dovecot(m_info, user);

    // The user fills the window for a provider of their own and signs in in the browser.
    signin::SignInWindow& window = program.openSignIn();
    QVERIFY(window.isVisible());
    auto* providers = window.findChild<QComboBox*>(u"Combo1"_s);
    providers->setCurrentIndex(providers->findData(u"custom"_s));
    type(window, "Text1", provider[u"PUBLIC_CLIENT"_s]);
    type(window, "Text3", user);
    type(window, "Text4", provider[u"AUTHORIZATION_URL"_s]);
    type(window, "Text5", provider[u"TOKEN_URL"_s]);
    type(window, "Text6", u"pop offline_access"_s);
    type(window, "Text7", u"pop3s://127.0.0.1:"_s + m_info[u"TLS_PORT"_s]);
    window.findChild<QAbstractButton*>(u"Command1"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(program.signInState(), user + u" としてサインインしました。"_s, 30000);
    QCOMPARE(browser.visited.size(), 1);

    // A check logs in with the token and announces the three messages.
    dovecot.mark();
    program.checkFromTheMenu();
    // Dovecot's log process writes a moment after the login; on a busy machine it may lag.
    constexpr int kLogLagMs = 10000;
    QVERIFY(dovecot.logged({u"Login: user=<"_s + user + u'>', u"method=OAUTHBEARER"_s, u"TLS"_s},
                           kLogLagMs));
    QCOMPARE(program.alertsStarted, 1);
    QCOMPARE(program.boardCount(), u"3"_s);
    QVERIFY(program.errorBoxes().isEmpty());

    // The provider has withdrawn the access token the program holds: the server refuses it, the
    // program gets a fresh one without asking the user, and the check goes through.
    QVERIFY(provider.expireAccessTokens());
    dovecot.mark();
    program.checkFromTheMenu();
    QVERIFY2(dovecot.logged({u"Login: user=<"_s + user + u'>', u"method=OAUTHBEARER"_s}, kLogLagMs),
             qPrintable((dovecot.logLines() + program.errorBoxes()).join(u'\n')));
    QCOMPARE(provider.tokenRequests().last(), u"refresh_token 200"_s);
    QCOMPARE(program.alertsStarted, 2);
    QVERIFY(program.errorBoxes().isEmpty());

    // The sign-in is revoked: the check tells the user to sign in again and shows the window;
    // nothing logs in.
    program.app.forms().peek<signin::SignInWindow>()->unload();
    QVERIFY(provider.revoke());
    dovecot.mark();
    program.checkFromTheMenu();
    QCOMPARE(program.errorBoxes(),
             QStringList{u"MsgBox(サインインの有効期限が切れたか取り消されました。"
                         u"「サインイン」からもう一度サインインしてください。, 0, エラー)"_s});
    QVERIFY(program.app.forms().peek<signin::SignInWindow>()->isVisible());
    QCOMPARE(program.alertsStarted, 2);
    QVERIFY(!dovecot.logged({u"Login: user=<"_s + user + u'>'}, 500));

    // No token was ever written to a file of the program.
    for (const QByteArray& secret : {QByteArray("access-"), QByteArray("refresh-")})
        QCOMPARE(tests::filesContaining(program.fake.programFolder(), secret), QStringList());
}

QTEST_MAIN(SignInCheckTest)
#include "signin_check_test.moc"
