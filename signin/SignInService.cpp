#include "signin/SignInService.h"

#include "platform/ports/HomepageBrowser.h"
#include "platform/ports/SecretStore.h"
#include "signin/AuthorizationFlow.h"
#include "signin/ProviderNetwork.h"
#include "signin/SignInFile.h"
#include "signin/TokenKeeper.h"
#include "signin/TokenReply.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

const QString kExpiredText =
    u"サインインの有効期限が切れたか取り消されました。「サインイン」からもう一度サインインしてください。"_s;
const QString kNotSignedInText = u"サインインしていません"_s;
const QString kReadingKeyringText = u"キーリングからサインインを読み込んでいます…"_s;

// An access token this close to its expiry is refreshed before it is handed out.
constexpr qint64 kExpiryMarginSeconds = 60;
// When a provider does not say how long a token lives.
constexpr qint64 kAssumedLifetimeSeconds = 3600;

// How long a check waits for the keyring's answer about the kept sign-in; the keyring's own
// calls give up sooner.
constexpr std::chrono::seconds kKeyringPatience{30};

} // namespace

struct SignInService::Private {
    Private(const QString& dataFolder, platform::SecretStore& secrets,
            platform::HomepageBrowser& homepageBrowser)
        : file(dataFolder), tokens(secrets), browser(homepageBrowser)
    {
    }

    QString secretName() const { return TokenKeeper::secretName(choice.provider, choice.loginName); }

    SignInFile file;
    SignInChoice choice;
    TokenKeeper tokens;
    platform::HomepageBrowser& browser;
    ProviderNetwork network{std::chrono::seconds(30)};
    QPointer<AuthorizationFlow> flow;
    bool storing = false; // a sign-in has its tokens and waits for the keyring to keep them
    QString failure; // why the account is not signed in, when it is not for a reason
    // Counts sign-ins and sign-outs, so a refresh that waited through one drops its answer.
    quint64 generation = 0;
};

SignInService::SignInService(QString dataFolder, platform::SecretStore& secrets,
                             platform::HomepageBrowser& browser, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(dataFolder, secrets, browser))
{
    d->choice = d->file.read();
    // The keyring may be slow to answer; nothing waits for it but a check that needs the token.
    if (d->choice.complete())
        d->tokens.load(d->secretName(), [this] { emit stateChanged(); });
}

SignInService::~SignInService()
{
    delete d->flow;
}

const SignInChoice& SignInService::choice() const
{
    return d->choice;
}

bool SignInService::accountSignsIn() const
{
    return d->choice.complete();
}

SignInState SignInService::state() const
{
    SignInState state;
    state.signedIn = accountSignsIn() && d->tokens.hasRefreshToken();
    state.inKeyring = state.signedIn && d->tokens.inKeyring();
    state.keyringAvailable = d->tokens.keyringAvailable();
    if (d->flow || d->storing) {
        state.text = u"ブラウザーで %1 のサインインを続けてください…"_s.arg(d->choice.loginName);
    } else if (accountSignsIn() && d->tokens.loading()) {
        state.text = kReadingKeyringText;
    } else if (state.signedIn) {
        state.text = state.inKeyring
            ? u"%1 としてサインインしています（キーリングに保存）"_s.arg(d->choice.loginName)
            : u"%1 としてサインインしています（このセッションのみ：キーリングがありません）"_s.arg(
                  d->choice.loginName);
    } else {
        state.text = d->failure.isEmpty() ? kNotSignedInText : d->failure;
    }
    return state;
}

void SignInService::signIn(const SignInChoice& choice)
{
    ++d->generation;
    delete d->flow; // a sign-in still waiting for the browser is abandoned
    d->storing = false;
    d->failure.clear();
    const auto fail = [this](const QString& text) {
        d->failure = text;
        emit stateChanged();
        QTimer::singleShot(0, this, [this, text] { emit finished(false, text); });
    };
    if (!choice.complete()) {
        fail(u"サインインに必要な項目（クライアント ID、ログイン名、アドレス、スコープ、サーバー）が足りません。"_s);
        return;
    }
    if (const platform::WriteResult saved = d->file.write(choice); !saved) {
        fail(u"サインインの設定を保存できませんでした（%1: %2）。"_s.arg(d->file.path(), saved.reason));
        return;
    }
    // Tokens issued for another account or client are of no use any more.
    if (choice != d->choice) {
        d->tokens.forget();
        d->choice = choice;
    }

    auto* flow = new AuthorizationFlow(choice, d->browser, AuthorizationFlow::kDefaultPatience, this);
    d->flow = flow;
    connect(flow, &AuthorizationFlow::finished, this, [this, flow](bool ok, QString text) {
        flow->deleteLater();
        if (d->flow != flow)
            return;
        d->flow = nullptr;
        const quint64 generation = ++d->generation;
        if (!ok) {
            d->failure = text;
            emit stateChanged();
            emit finished(false, text);
            return;
        }
        // The sign-in ends once the keyring has answered, so it can say where the token is; a
        // sign-out or another sign-in meanwhile has the last word.
        d->storing = true;
        d->tokens.keep(d->secretName(), flow->tokens(), [this, generation] {
            if (generation != d->generation)
                return;
            d->storing = false;
            const QString signedIn = d->tokens.inKeyring()
                ? u"%1 としてサインインしました。"_s.arg(d->choice.loginName)
                : u"%1 としてサインインしました。キーリングがないため、このセッションの間だけ覚えています。"_s
                      .arg(d->choice.loginName);
            emit stateChanged();
            emit finished(true, signedIn);
        });
    });
    flow->start();
    emit stateChanged();
}

void SignInService::signOut()
{
    ++d->generation;
    const bool wasSigningIn = d->flow || d->storing;
    delete d->flow;
    d->storing = false;
    d->tokens.forget();
    d->choice = {};
    d->failure.clear();
    if (const platform::WriteResult removed = d->file.remove(); !removed) {
        d->failure = u"サインインの設定を削除できませんでした（%1: %2）。"_s.arg(d->file.path(), removed.reason);
    }
    emit stateChanged();
    if (wasSigningIn)
        emit finished(false, u"サインインを取り消しました。"_s);
}

bool SignInService::waitForKeyring()
{
    if (!d->tokens.loading())
        return true;
    QEventLoop loop;
    const auto connection = connect(this, &SignInService::stateChanged, &loop, [this, &loop] {
        if (!d->tokens.loading())
            loop.quit();
    });
    QTimer::singleShot(kKeyringPatience, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(connection);
    return !d->tokens.loading();
}

AccessToken SignInService::accessToken(bool refresh)
{
    AccessToken result;
    if (!accountSignsIn()) {
        result.failure = u"サインインの設定がありません。"_s;
        return result;
    }
    if (!waitForKeyring()) {
        result.failure = u"キーリングが応答しません。しばらくしてからもう一度お試しください。"_s;
        return result;
    }
    if (!d->tokens.hasRefreshToken()) {
        result.failure = u"サインインしていません。「サインイン」からサインインしてください。"_s;
        result.signInAgain = true;
        return result;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime& expiry = d->tokens.expiry();
    if (!refresh && !d->tokens.accessToken().isEmpty() &&
        (!expiry.isValid() || now.secsTo(expiry) > kExpiryMarginSeconds)) {
        result.ok = true;
        result.token = d->tokens.accessToken();
        return result;
    }
    const QUrl tokenUrl(d->choice.tokenUrl);
    if (!isSecureEndpoint(tokenUrl)) {
        result.failure = u"トークンのアドレスは https:// で始まる必要があります。"_s;
        return result;
    }

    ProviderNetwork::Form form{{u"grant_type"_s, u"refresh_token"_s},
                               {u"refresh_token"_s, QString::fromLatin1(d->tokens.refreshToken())},
                               {u"client_id"_s, d->choice.clientId}};
    if (!d->choice.clientSecret.isEmpty())
        form.append({u"client_secret"_s, d->choice.clientSecret});
    const quint64 generation = d->generation;
    const TokenReply reply = d->network.postTokenRequest(tokenUrl, form);
    if (generation != d->generation) {
        result.failure = u"待っている間にサインインが変わりました。もう一度お試しください。"_s;
        return result;
    }
    if (reply.ok()) {
        const qint64 lifetime = reply.expiresIn >= 0 ? reply.expiresIn : kAssumedLifetimeSeconds;
        d->tokens.refreshed(reply.accessToken, QDateTime::currentDateTimeUtc().addSecs(lifetime),
                            reply.refreshToken);
        result.ok = true;
        result.token = reply.accessToken;
        return result;
    }
    if (reply.error == u"invalid_grant"_s) {
        d->tokens.forget();
        d->failure = kExpiredText;
        result.failure = kExpiredText;
        result.signInAgain = true;
        emit stateChanged();
        return result;
    }
    result.failure = u"サインインのトークンを更新できませんでした（%1）。"_s.arg(describeRefusal(reply));
    return result;
}

} // namespace pelmora::signin
