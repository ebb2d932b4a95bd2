#include "signin/AuthorizationFlow.h"

#include "platform/ports/HomepageBrowser.h"
#include "signin/ProviderNetwork.h"
#include "signin/RedirectListener.h"
#include "signin/TokenReply.h"

#include <QCryptographicHash>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <array>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

// What the browser shows once the provider has sent the user back to the program and the code
// has been exchanged: how the sign-in ended, in Japanese and then in English.
const QString kFinishedPage =
    u"<p>Pelmora のサインインが終わりました。このウィンドウは閉じてかまいません。</p>"
    "<p lang=\"en\">Pelmora sign-in finished. You may close this window.</p>"_s;
const QString kFailedPage =
    u"<p>Pelmora のサインインはできませんでした。%1</p>"
    "<p lang=\"en\">Pelmora could not sign in; its sign-in window says why. You may close this "
    "window.</p>"_s;

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

// 192 bits of the system's source: no other program can guess it, however fast it tries.
QByteArray newState()
{
    std::array<quint32, 6> words;
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray codeChallenge(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
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
    const QByteArray state = newState();
    m_listener = new RedirectListener(state, this);
    if (!m_listener->listen()) {
        failLater(u"サインインの応答を受け取るポートを 127.0.0.1 で開けませんでした。"_s);
        return;
    }
    connect(m_listener, &RedirectListener::redirected, this, &AuthorizationFlow::onRedirect);
    m_verifier = newCodeVerifier();
    m_deadline.start(m_patience);
    if (!m_browser.navigate(authorizationRequest(state)))
        failLater(u"ブラウザーを開けませんでした。既定のブラウザーが設定されているか確かめてください。"_s);
}

QUrl AuthorizationFlow::authorizationRequest(const QByteArray& state) const
{
    ProviderNetwork::Form parameters{
        {u"response_type"_s, u"code"_s},
        {u"client_id"_s, m_choice.clientId},
        {u"redirect_uri"_s, m_listener->redirectUri()},
        {u"scope"_s, m_choice.scope},
        {u"state"_s, QString::fromLatin1(state)},
        {u"code_challenge"_s, QString::fromLatin1(codeChallenge(m_verifier))},
        {u"code_challenge_method"_s, u"S256"_s},
        {u"login_hint"_s, m_choice.loginName},
    };
    const ProviderPreset* preset = findPreset(m_choice.provider);
    if (preset && preset->offlineByConsent)
        parameters.append({{u"access_type"_s, u"offline"_s}, {u"prompt"_s, u"consent"_s}});
    QUrl request(m_choice.authorizationUrl);
    QByteArray query = request.query(QUrl::FullyEncoded).toLatin1();
    if (!query.isEmpty())
        query += '&';
    request.setQuery(QString::fromLatin1(query + ProviderNetwork::encodeForm(parameters)),
                     QUrl::StrictMode);
    return request;
}

void AuthorizationFlow::onRedirect(const QUrlQuery& answer)
{
    const QString error = answer.queryItemValue(u"error"_s, QUrl::FullyDecoded);
    if (!error.isEmpty()) {
        TokenReply refusal;
        refusal.error = plainText(error, 80);
        refusal.errorDescription =
            plainText(answer.queryItemValue(u"error_description"_s, QUrl::FullyDecoded));
        finish(false, u"プロバイダーがサインインを断りました（%1）。"_s.arg(describeRefusal(refusal)));
        return;
    }
    // The secret is sent only when the user gave one.
    ProviderNetwork::Form form{
        {u"grant_type"_s, u"authorization_code"_s},
        {u"code"_s, answer.queryItemValue(u"code"_s, QUrl::FullyDecoded)},
        {u"redirect_uri"_s, m_listener->redirectUri()},
        {u"client_id"_s, m_choice.clientId},
        {u"code_verifier"_s, QString::fromLatin1(m_verifier)},
    };
    if (!m_choice.clientSecret.isEmpty())
        form.append({u"client_secret"_s, m_choice.clientSecret});
    QNetworkReply* reply = m_network->postForm(QUrl(m_choice.tokenUrl), form);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        onTokenReply(*reply);
    });
    // A provider that drips its answer is cut off too.
    QTimer::singleShot(std::chrono::seconds(30), reply, &QNetworkReply::abort);
}

void AuthorizationFlow::onTokenReply(QNetworkReply& reply)
{
    const TokenReply parsed =
        ProviderNetwork::readTokenReply(reply, reply.read(ProviderNetwork::kMaxReplyBytes));
    if (!parsed.ok()) {
        finish(false, u"プロバイダーからトークンを受け取れませんでした（%1）。"_s.arg(describeRefusal(parsed)));
        return;
    }
    if (parsed.refreshToken.isEmpty()) {
        finish(false, u"プロバイダーがリフレッシュトークンを発行しませんでした。スコープに offline_access などの長期アクセスが含まれているか確かめてください。"_s);
        return;
    }
    m_tokens.accessToken = parsed.accessToken;
    m_tokens.refreshToken = parsed.refreshToken;
    m_tokens.expiry = parsed.expiresIn >= 0
        ? QDateTime::currentDateTimeUtc().addSecs(parsed.expiresIn)
        : QDateTime();
    finish(true, {});
}

void AuthorizationFlow::finish(bool ok, const QString& text)
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    if (m_listener) {
        m_listener->answer(ok ? kFinishedPage : kFailedPage.arg(text.toHtmlEscaped()));
        m_listener->close();
    }
    emit finished(ok, text);
}

} // namespace pelmora::signin
