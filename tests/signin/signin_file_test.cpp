// The sign-in choice's file (iniSignIn.ini) as users and editors leave it, and the service's
// answers around it, with a keyring and a browser that are fakes.

#include "tests/fakes/FakePorts.h"
#include "tests/fakes/FakeProgramFolder.h"

#include "signin/SignInFile.h"
#include "signin/SignInService.h"
#include "signin/TokenReply.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <optional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakeProgramFolder;

namespace {

signin::SignInChoice completeChoice()
{
    signin::SignInChoice choice;
    choice.provider = u"custom"_s;
    choice.clientId = u"client"_s;
    choice.loginName = u"taro@example.test"_s;
    choice.authorizationUrl = u"https://id.example/authorize"_s;
    choice.tokenUrl = u"https://id.example/token"_s;
    choice.scope = u"pop offline_access"_s;
    choice.server = u"pop3s://pop.example:995"_s;
    return choice;
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// The sign-in service over a private program folder, a fake keyring and a fake browser, which a
// test prepares before start() creates the service.
struct SignInOnFakes {
    explicit SignInOnFakes(FakeProgramFolder::DataFolder data = {}) : folder(data) {}
    signin::SignInService& start() { return service.emplace(folder.dataFolder(), keyring, browser); }
    FakeProgramFolder folder;
    fakes::FakeSecretStore keyring{folder.log};
    fakes::FakeHomepageBrowser browser{folder.log};
    std::optional<signin::SignInService> service;
};

} // namespace

class SignInFileTest : public QObject {
    Q_OBJECT
private slots:
    // Whatever a value holds, it reads back as it was saved (line breaks, which a line cannot
    // hold, are dropped); the file is the owner's alone and keeps what the user wrote in it.
    void savedChoiceReadsBack()
    {
        FakeProgramFolder folder;
        signin::SignInFile file(folder.dataFolder());
        FakeProgramFolder::writeFile(file.path(), "; my notes\r\n[OTHER]\r\nA=1\r\n");
        ::chmod(QFile::encodeName(file.path()).constData(), 0644);

        signin::SignInChoice choice = completeChoice();
        choice.clientSecret = u"  \"a=b;c#d\" "_s;
        choice.loginName = u"山田 太郎@example.test"_s;
        choice.scope = u"pop\r\noffline_access"_s;
        choice.server = u"'quoted'"_s;
        QVERIFY(file.write(choice));

        signin::SignInChoice expected = choice;
        expected.scope = u"popoffline_access"_s;
        QCOMPARE(file.read(), expected);
        QCOMPARE(modeOf(file.path()), mode_t(0600));
        const QByteArray bytes = FakeProgramFolder::readFile(file.path());
        QVERIFY(bytes.startsWith("; my notes\r\n[OTHER]\r\nA=1\r\n"));
        QVERIFY(bytes.contains("[SIGNIN]"));

        // Saving again replaces the values in place.
        choice.loginName = u"jiro@example.test"_s;
        QVERIFY(file.write(choice));
        QCOMPARE(file.read().loginName, u"jiro@example.test"_s);
        QCOMPARE(FakeProgramFolder::readFile(file.path()).count("LOGINNAME"), 1);
    }

    void handEditedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("loginName");
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<bool>("complete");

        const QByteArray full = "[SIGNIN]\nPROVIDER=custom\nCLIENTID=client\nLOGINNAME=taro\n"
                                "AUTHURL=https://id.example/a\nTOKENURL=https://id.example/t\n"
                                "SCOPE=pop\nSERVER=pop3s://pop.example\n";
        QTest::newRow("complete") << full << u"taro"_s << u"client"_s << true;
        QTest::newRow("keys missing") << QByteArray("[SIGNIN]\nLOGINNAME=taro\n") << u"taro"_s
                                      << QString() << false;
        QTest::newRow("another editor's case and blanks")
            << QByteArray("\xEF\xBB\xBF  [signin]  \r\n  clientid =  client  \r\nLoginName=\"taro\"\r\n")
            << u"taro"_s << u"client"_s << false;
        QTest::newRow("no section") << QByteArray("LOGINNAME=taro\n") << QString() << QString() << false;
        QTest::newRow("binary garbage")
            << QByteArrayLiteral("\x00\xff\xfe[\x01\x02]\r\r\n=\x80=\n[SIGN") << QString() << QString() << false;
        QTest::newRow("Shift_JIS login name")
            << QByteArray("[SIGNIN]\nLOGINNAME=\x93\xfa\x96\x7b\n") << QString::fromUtf8("\x93\xfa\x96\x7b")
            << QString() << false;
        QTest::newRow("larger than any choice")
            << QByteArray(signin::SignInFile::kMaxFileBytes, ';') + "\n" + full << QString() << QString()
            << false;
        QTest::newRow("empty") << QByteArray() << QString() << QString() << false;
    }
    // A hand-edited file never stops the program: what can be read is read; the account signs in
    // only with a complete choice, and only then is the keyring asked.
    void handEditedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, loginName);
        QFETCH(QString, clientId);
        QFETCH(bool, complete);
        SignInOnFakes kit;
        FakeProgramFolder::writeFile(kit.folder.dataFolder() + u"/iniSignIn.ini"_s, bytes);
        signin::SignInService& service = kit.start();
        QCOMPARE(service.choice().loginName, loginName);
        QCOMPARE(service.choice().clientId, clientId);
        QCOMPARE(service.accountSignsIn(), complete);
        QCOMPARE(kit.folder.log.withPrefix(u"keyring: read"_s).size(), complete ? 1 : 0);
        QVERIFY(!service.state().signedIn);
        QCOMPARE(service.state().text, u"サインインしていません"_s);
        const signin::AccessToken access = service.accessToken(false);
        QVERIFY(!access.ok);
        QVERIFY(!access.failure.isEmpty());
    }

    // The data folder cannot take the file: the sign-in stops before the browser opens, and says
    // why; signing out says so too and leaves what is there.
    void unwritableChoice_data()
    {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::newRow("a folder named iniSignIn.ini") << true;
        QTest::newRow("data folder missing") << false;
    }
    void unwritableChoice()
    {
        QFETCH(bool, folderInTheWay);
        SignInOnFakes kit(folderInTheWay ? FakeProgramFolder::DataFolder::Present
                                         : FakeProgramFolder::DataFolder::Missing);
        if (folderInTheWay)
            QVERIFY(QDir(kit.folder.dataFolder()).mkdir(u"iniSignIn.ini"_s));
        signin::SignInService& service = kit.start();
        QVERIFY(!service.accountSignsIn());

        QSignalSpy finished(&service, &signin::SignInService::finished);
        service.signIn(completeChoice());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY2(finished.first().at(1).toString().contains(u"保存できませんでした"_s),
                 qPrintable(finished.first().at(1).toString()));
        QVERIFY(kit.folder.log.withPrefix(u"browser:"_s).isEmpty());
        QCOMPARE(service.state().text, finished.first().at(1).toString());

        service.signOut();
        if (folderInTheWay) {
            QVERIFY(QFileInfo(kit.folder.dataFolder() + u"/iniSignIn.ini"_s).isDir());
            QVERIFY(service.state().text.contains(u"削除できませんでした"_s));
        } else {
            QCOMPARE(service.state().text, u"サインインしていません"_s);
        }
    }

    void incompleteChoiceIsNotSaved()
    {
        SignInOnFakes kit;
        signin::SignInService& service = kit.start();
        signin::SignInChoice choice = completeChoice();
        choice.clientId = u"   "_s;
        QSignalSpy finished(&service, &signin::SignInService::finished);
        service.signIn(choice);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY(!QFileInfo::exists(kit.folder.dataFolder() + u"/iniSignIn.ini"_s));
        QVERIFY(kit.folder.log.withPrefix(u"browser:"_s).isEmpty());
    }

    // No browser opens: the sign-in ends at once with the reason, after the window was told
    // that the sign-in had begun.
    void browserDoesNotOpen()
    {
        SignInOnFakes kit;
        kit.browser.result = false;
        signin::SignInService& service = kit.start();
        QSignalSpy finished(&service, &signin::SignInService::finished);
        QSignalSpy changed(&service, &signin::SignInService::stateChanged);
        service.signIn(completeChoice());
        QCOMPARE(finished.size(), 0);
        QCOMPARE(changed.size(), 1);
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY2(finished.first().at(1).toString().contains(u"ブラウザーを開けませんでした"_s),
                 qPrintable(finished.first().at(1).toString()));
        const QStringList opened = kit.folder.log.withPrefix(u"browser: https://id.example/authorize?"_s);
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.first().contains(u"code_challenge_method=S256"_s));
        QVERIFY(!opened.first().contains(u"access_type"_s));
        // The choice stays saved for the next try.
        QCOMPARE(signin::SignInFile(kit.folder.dataFolder()).read(), completeChoice());
        QCOMPARE(service.state().text, finished.first().at(1).toString());
    }

    // What each preset asks the provider for in the browser: Google (for its POP3 and its IMAP
    // server alike) gives a refresh token only when asked for offline access with the consent
    // page; Microsoft's token is asked for both its POP3 and its IMAP server, so one sign-in
    // serves either.
    void presetsAskForWhatTheirServerNeeds_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("offline");
        QTest::addColumn<QString>("imapScope");
        QTest::newRow("Google, POP3") << u"google"_s << true << u"https://mail.google.com/"_s;
        QTest::newRow("Google, IMAP") << u"google-imap"_s << true << u"https://mail.google.com/"_s;
        const QString microsoftImap = u"https://outlook.office.com/IMAP.AccessAsUser.All"_s;
        QTest::newRow("Microsoft, POP3") << u"microsoft"_s << false << microsoftImap;
        QTest::newRow("Microsoft, IMAP") << u"microsoft-imap"_s << false << microsoftImap;
    }
    void presetsAskForWhatTheirServerNeeds()
    {
        QFETCH(QString, key);
        QFETCH(bool, offline);
        QFETCH(QString, imapScope);
        SignInOnFakes kit;
        kit.browser.result = false;
        signin::SignInService& service = kit.start();
        const signin::ProviderPreset& preset = *signin::findPreset(key);
        const signin::SignInChoice choice{preset.key, u"id.example"_s, u"secret"_s,
                                          u"me@mail.example"_s, preset.authorizationUrl,
                                          preset.tokenUrl, preset.scope, preset.server};
        QSignalSpy finished(&service, &signin::SignInService::finished);
        service.signIn(choice);
        QVERIFY(finished.wait(5000));
        const QStringList opened = kit.folder.log.withPrefix(u"browser: "_s);
        QCOMPARE(opened.size(), 1);
        const QUrlQuery query(QUrl(opened.first().mid(9)));
        QCOMPARE(query.queryItemValue(u"access_type"_s) == u"offline"_s, offline);
        QCOMPARE(query.queryItemValue(u"prompt"_s) == u"consent"_s, offline);
        const QStringList scopes =
            query.queryItemValue(u"scope"_s, QUrl::FullyDecoded).split(u' ');
        QVERIFY2(scopes.contains(imapScope), qPrintable(scopes.join(u", ")));
        QCOMPARE(query.queryItemValue(u"login_hint"_s, QUrl::FullyDecoded), u"me@mail.example"_s);
        QVERIFY(!opened.first().contains(u"secret"_s));
    }

    // A token kept from an earlier run makes the account signed in; signing out forgets it in
    // the keyring and removes the file, and a second sign-out finds nothing left to do.
    void keptTokenAndSignOut()
    {
        SignInOnFakes kit;
        QVERIFY(signin::SignInFile(kit.folder.dataFolder()).write(completeChoice()));
        kit.keyring.secrets.insert(u"custom:taro@example.test"_s, "refresh-earlier");
        kit.keyring.secrets.insert(u"custom:someone-else"_s, "refresh-other");
        signin::SignInService& service = kit.start();
        QVERIFY(service.state().signedIn);
        QCOMPARE(service.state().text,
                 u"taro@example.test としてサインインしています（キーリングに保存）"_s);

        service.signOut();
        QVERIFY(!kit.keyring.secrets.contains(u"custom:taro@example.test"_s));
        QVERIFY(kit.keyring.secrets.contains(u"custom:someone-else"_s));
        QVERIFY(!QFileInfo::exists(kit.folder.dataFolder() + u"/iniSignIn.ini"_s));
        service.signOut();
        QCOMPARE(service.state().text, u"サインインしていません"_s);
    }

    // The presets are ready to sign in with once the user's client is entered, and send tokens
    // over TLS only.
    void presetsAreCompleteChoices()
    {
        QVERIFY(!signin::providerPresets().empty());
        QVERIFY(signin::findPreset(u"custom"_s) == nullptr);
        for (const signin::ProviderPreset& preset : signin::providerPresets()) {
            QCOMPARE(signin::findPreset(preset.key), &preset);
            const signin::SignInChoice choice{preset.key, u"id"_s, {}, u"me@example.test"_s,
                                              preset.authorizationUrl, preset.tokenUrl,
                                              preset.scope, preset.server};
            QVERIFY(choice.complete());
            QVERIFY(signin::isSecureEndpoint(QUrl(preset.authorizationUrl)));
            QVERIFY(signin::isSecureEndpoint(QUrl(preset.tokenUrl)));
        }
    }

    // What a token endpoint may send, and what the user is shown of it.
    void tokenReplies()
    {
        const signin::TokenReply good = signin::parseTokenReply(
            R"({"access_token":"at","refresh_token":"rt","expires_in":"3599","token_type":"Bearer"})");
        QVERIFY(good.ok());
        QCOMPARE(good.expiresIn, 3599);
        QCOMPARE(good.refreshToken, QByteArray("rt"));

        const QByteArray refusal = "{\"error\":\"invalid_grant\",\"error_description\":\"gone\\u0007\\r\\n" +
                                   QByteArray(1000, 'x') + "\"}";
        const signin::TokenReply refused = signin::parseTokenReply(refusal);
        QVERIFY(!refused.ok());
        QCOMPARE(refused.error, u"invalid_grant"_s);
        QVERIFY(refused.errorDescription.size() < 400);
        for (const QChar c : refused.errorDescription)
            QVERIFY(c.unicode() >= 0x20);

        for (const QByteArray& bad : {QByteArray("[]"), QByteArray("{\"access_token\":\"a\\nb\"}"),
                                      QByteArray("{\"access_token\":\"\\u00e9\"}"), QByteArray("{"),
                                      QByteArray("{\"access_token\":42}")}) {
            const signin::TokenReply reply = signin::parseTokenReply(bad);
            QVERIFY2(!reply.ok(), bad.constData());
            QCOMPARE(reply.error, u"invalid_response"_s);
        }
    }
};

QTEST_GUILESS_MAIN(SignInFileTest)
#include "signin_file_test.moc"
