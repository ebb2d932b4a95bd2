#include "signin/AuthorizationFlow.h"

#include "platform/ports/HomepageBrowser.h"
#include "signin/ProviderNetwork.h"
#include "signin/TokenReply.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

// What the browser shows once the provider has sent the user back to the program.
const QString kBrowserPage =
    u"<p>Pelmora のサインインが終わりました。このウィンドウは閉じてかまいません。</p>"
    "<p lang=\"en\">Pelmora sign-in finished. You may close this window.</p>"_s;

// RFC 7636 4.1: 43 to 128 characters of the unreserved set; 64 taken from the system's source.
QByteArray newCodeVerifier()
{
    static constexpr char kUnreserved[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    QByteArray verifier(64, Qt::Uninitialized);
    for (char& c : verifier)
        c = kUnreserved[QRandomGenerator::system()->bounded(int(sizeof kUnreserved - 1))];
    return verifier;
}

QByteArray codeChallenge(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

void setParameter(QMultiMap<QString, QVariant>* parameters, const QString& key,
                  const QVariant& value)
{
    parameters->remove(key);
    parameters->insert(key, value);
}

} // namespace

AuthorizationFlow::AuthorizationFlow(SignInChoice choice, platform::HomepageBrowser& browser,
                                     std::chrono::milliseconds patience, QObject* parent)
    : QObject(parent), m_choice(std::move(choice)), m_browser(browser), m_patience(patience)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        finish(false, u"%1 分以内にサインインが終わらなかったため中止しました。もう一度「サインイン」を押してください。"_s
                          .arg(std::max<qint64>(1, std::chrono::duration_cast<std::chrono::minutes>(
                                                       m_patience).count())));
    });
}

AuthorizationFlow::~AuthorizationFlow() = default;

void AuthorizationFlow::failLater(const QString& text)
{
    QTimer::singleShot(0, this, [this, text] { finish(false, text); });
}

void AuthorizationFlow::start()
{
    const QUrl authorizationUrl(m_choice.authorizationUrl);
    const QUrl tokenUrl(m_choice.tokenUrl);
    if (!isSecureEndpoint(authorizationUrl) || !isSecureEndpoint(tokenUrl)) {
        failLater(u"認可とトークンのアドレスは https:// で始まる必要があります。"_s);
        return;
    }

    m_network = new ProviderNetwork(std::chrono::seconds(30), this);
    m_replyHandler = new QOAuthHttpServerReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, this);
    if (!m_replyHandler->isListening()) {
        failLater(u"サインインの応答を受け取るポートを 127.0.0.1 で開けませんでした。"_s);
        return;
    }
    m_replyHandler->setCallbackText(kBrowserPage);

    m_flow = new QOAuth2AuthorizationCodeFlow(m_network, this);
    m_flow->setReplyHandler(m_replyHandler);
    m_flow->setAuthorizationUrl(authorizationUrl);
    m_flow->setAccessTokenUrl(tokenUrl);
    m_flow->setClientIdentifier(m_choice.clientId);
    m_flow->setScope(m_choice.scope);

    // Qt 6.4 has no PKCE of its own: the challenge goes with the authorization request, the
    // verifier with the code. The secret is sent only when the user gave one.
    m_verifier = newCodeVerifier();
    const QString verifier = QString::fromLatin1(m_verifier);
    const QString challenge = QString::fromLatin1(codeChallenge(m_verifier));
    const QString secret = m_choice.clientSecret;
    const QString loginName = m_choice.loginName;
    const bool google = m_choice.provider == u"google"_s;
    m_flow->setModifyParametersFunction(
        [=](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
            if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
                setParameter(parameters, u"code_challenge"_s, challenge);
                setParameter(parameters, u"code_challenge_method"_s, u"S256"_s);
                setParameter(parameters, u"login_hint"_s, QUrl::toPercentEncoding(loginName));
                // Google issues a refresh token only when asked for offline access, and again
                // only when the user is asked for consent again.
                if (google) {
                    setParameter(parameters, u"access_type"_s, u"offline"_s);
                    setParameter(parameters, u"prompt"_s, u"consent"_s);
                }
            } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
                setParameter(parameters, u"code_verifier"_s, verifier);
                parameters->remove(u"client_secret"_s);
                // The form is built from percent-encoded values; a secret may hold '+' or '%'.
                if (!secret.isEmpty())
                    parameters->insert(u"client_secret"_s, QUrl::toPercentEncoding(secret));
            }
        });

    connect(m_flow, &QAbstractOAuth2::authorizeWithBrowser, this, [this](const QUrl& url) {
        // grant() asks for the browser at once, still inside start().
        if (!m_browser.navigate(url))
            failLater(u"ブラウザーを開けませんでした。既定のブラウザーが設定されているか確かめてください。"_s);
    });
    connect(m_flow, &QAbstractOAuth2::error, this,
            [this](const QString& error, const QString& description, const QUrl&) {
                TokenReply refusal;
                refusal.error = plainText(error, 80);
                refusal.errorDescription = plainText(description);
                finish(false, u"プロバイダーがサインインを断りました（%1）。"_s.arg(describeRefusal(refusal)));
            });
    connect(m_flow, &QAbstractOAuth::granted, this, &AuthorizationFlow::onGranted);
    // Qt 6.4 only logs a failed code exchange; the reply itself says why.
    connect(m_network, &QNetworkAccessManager::finished, this, &AuthorizationFlow::onTokenReply);

    m_deadline.start(m_patience);
    m_flow->grant();
}

void AuthorizationFlow::onTokenReply(QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::NoError && !ProviderNetwork::wasTooLarge(*reply)) {
        const TokenReply parsed = parseTokenReply(reply->peek(ProviderNetwork::kMaxReplyBytes));
        if (parsed.ok())
            return; // the flow reads it and says granted()
        finish(false, u"プロバイダーからトークンを受け取れませんでした（%1）。"_s.arg(describeRefusal(parsed)));
        return;
    }
    const TokenReply parsed =
        ProviderNetwork::readTokenReply(*reply, reply->peek(ProviderNetwork::kMaxReplyBytes));
    finish(false, u"プロバイダーからトークンを受け取れませんでした（%1）。"_s.arg(describeRefusal(parsed)));
}

void AuthorizationFlow::onGranted()
{
    m_tokens.accessToken = m_flow->token().toLatin1();
    m_tokens.refreshToken = m_flow->refreshToken().toLatin1();
    m_tokens.expiry = m_flow->expirationAt().toUTC();
    if (m_tokens.accessToken.isEmpty() || m_tokens.refreshToken.isEmpty()) {
        m_tokens = {};
        finish(false, u"プロバイダーがリフレッシュトークンを発行しませんでした。スコープに offline_access などの長期アクセスが含まれているか確かめてください。"_s);
        return;
    }
    finish(true, {});
}

void AuthorizationFlow::finish(bool ok, const QString& text)
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    if (m_replyHandler)
        m_replyHandler->close();
    emit finished(ok, text);
}

} // namespace pelmora::signin
