#pragma once

// What the sign-in tests share: the fixtures' information (the identity provider of
// tests/servers/signin-fixture, the keyring of tests/servers/keyring-fixture), the provider's
// test controls, a browser that is a script, and looks into the keyring and the files.

#include "platform/ports/HomepageBrowser.h"
#include "platform/ports/SecretStore.h"
#include "signin/SignInService.h"
#include "tests/servers/DovecotInfo.h"
#include "tests/servers/IdentityProvider.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>
#include <optional>
#include <vector>

namespace pelmora::tests {

// KEY=value lines a fixture wrote to the file named by an environment variable.
using FixtureInfo = DovecotInfo;

// Keeps the test's own home folder empty of anything but what the program writes, and puts the
// program on the keyring fixture's bus. For initMain(), before anything connects to a bus.
inline QString& privateHome()
{
    static QTemporaryDir home;
    static QString path = home.path();
    return path;
}

inline void useKeyringFixture(const char* infoVariable)
{
    const FixtureInfo info = FixtureInfo::load(infoVariable);
    if (info.ready())
        qputenv("DBUS_SESSION_BUS_ADDRESS", info[QStringLiteral("BUS_ADDRESS")].toUtf8());
    const QString home = privateHome();
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
}

// The browser: a script that follows the authorization page to the program's redirect and
// prints the page the program answers (`script`: curl, or split-browser, which sends its request
// in two writes). With `opens` false it is a browser the user never finishes signing in with.
class ScriptBrowser final : public platform::HomepageBrowser {
public:
    bool opens = true;
    QString script = QStringLiteral("fake-browser");
    QList<QUrl> visited;

    bool navigate(const QUrl& address) override
    {
        visited.append(address);
        if (!opens)
            return true;
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(PELMORA_SIGNIN_TEST_DIR "/") + script,
                       {address.toString(QUrl::FullyEncoded)});
        m_processes.push_back(std::move(process));
        return true;
    }

    // What the browser showed last, once its script has ended.
    QString lastPage()
    {
        if (m_processes.empty())
            return {};
        QProcess& last = *m_processes.back();
        // The page comes from the program's own loopback server, in this thread: wait with its
        // events dispatched.
        QDeadlineTimer deadline(30000);
        while (last.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        return QString::fromUtf8(last.readAllStandardOutput());
    }

    ~ScriptBrowser() override
    {
        for (auto& process : m_processes)
            process->waitForFinished(30000);
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// The keyring adapter's answers, waited for: the program never waits for them, a test does.
class AnsweredSecrets {
public:
    using Result = platform::SecretStore::Result;
    explicit AnsweredSecrets(platform::SecretStore& store) : m_store(store) {}

    Result read(const QString& name)
    {
        return answer([&](QObject* context, auto done) { m_store.read(name, context, done); });
    }
    Result write(const QString& name, const QByteArray& secret)
    {
        return answer([&](QObject* context, auto done) { m_store.write(name, secret, context, done); });
    }
    Result remove(const QString& name)
    {
        return answer([&](QObject* context, auto done) { m_store.remove(name, context, done); });
    }

private:
    template <typename Call>
    Result answer(Call call)
    {
        QObject context;
        QEventLoop loop;
        std::optional<Result> answered;
        call(&context, platform::SecretStore::Answer([&](const Result& result) {
                 answered = result;
                 loop.quit();
             }));
        if (!answered)
            loop.exec(); // the adapter answers within its patience
        return *answered;
    }

    platform::SecretStore& m_store;
};

// What the Secret Service holds under the program's name for `name`, asked with secret-tool, a
// client other than the program (QtKeychain's attributes: server = service name, user = key;
// it keeps the bytes base64-encoded).
inline QByteArray keyringLookup(const QString& name)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Pelmora"),
                QStringLiteral("user"), name});
    if (!tool.waitForFinished(15000))
        return "secret-tool did not finish";
    return QByteArray::fromBase64(tool.readAllStandardOutput(),
                                  QByteArray::AbortOnBase64DecodingErrors);
}

// The files under `folder` whose bytes contain `secret`.
inline QStringList filesContaining(const QString& folder, const QByteArray& secret)
{
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(secret))
            found.append(file.fileName());
    }
    return found;
}

// A choice of the test provider's public client (or its confidential one, with its secret).
inline signin::SignInChoice providerChoice(IdentityProvider& provider, bool confidential = false,
                                           const QString& loginName = QStringLiteral("taro@example.test"))
{
    signin::SignInChoice choice;
    choice.provider = QStringLiteral("custom");
    choice.clientId = provider[confidential ? QStringLiteral("CONFIDENTIAL_CLIENT")
                                            : QStringLiteral("PUBLIC_CLIENT")];
    if (confidential)
        choice.clientSecret = provider[QStringLiteral("CONFIDENTIAL_SECRET")];
    choice.loginName = loginName;
    choice.authorizationUrl = provider[QStringLiteral("AUTHORIZATION_URL")];
    choice.tokenUrl = provider[QStringLiteral("TOKEN_URL")];
    choice.scope = QStringLiteral("pop offline_access");
    choice.server = QStringLiteral("pop3://127.0.0.1:110");
    return choice;
}

struct SignInOutcome {
    bool finished = false;
    bool ok = false;
    QString text;
};

// Signs in and waits for the end (the browser script takes well under the 30 s allowed).
inline SignInOutcome signInAndWait(signin::SignInService& service, const signin::SignInChoice& choice)
{
    QSignalSpy done(&service, &signin::SignInService::finished);
    service.signIn(choice);
    SignInOutcome outcome;
    if (done.isEmpty() && !done.wait(30000))
        return outcome;
    outcome.finished = true;
    outcome.ok = done.first().at(0).toBool();
    outcome.text = done.first().at(1).toString();
    return outcome;
}

} // namespace pelmora::tests

#define PELMORA_REQUIRE_FIXTURE(info) PELMORA_REQUIRE_DOVECOT(info)
