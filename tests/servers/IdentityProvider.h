#pragma once

// The test identity provider of the sign-in fixture (tests/servers/identity-provider.py), seen
// from a test: access tokens for a user, got the way a desktop program gets them (the
// authorization-code flow with PKCE, RFC 7636), only without a browser: the consent page answers
// at once with a redirect whose Location carries the code, which is read without following it.
// And the provider's test controls. Keys come from the fixture's file (IDP_*), as DovecotInfo
// reads it.

#include "tests/servers/DovecotInfo.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <memory>

namespace pelmora::tests {

class IdentityProvider {
public:
    explicit IdentityProvider(const DovecotInfo& info) : m_info(info)
    {
        m_network.setProxy(QNetworkProxy::NoProxy);
    }

    // A fresh access token for `user`, or an empty string (with the reason in lastError()).
    QByteArray accessToken(const QString& user)
    {
        m_lastError.clear();
        const QByteArray verifier = randomText(48);
        const QByteArray challenge = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                         .toBase64(QByteArray::Base64UrlEncoding
                                                   | QByteArray::OmitTrailingEquals);
        const QByteArray state = randomText(16);
        // Nothing listens there: the redirect is read, not followed.
        const QString redirect = QStringLiteral("http://127.0.0.1:9/callback");
        QUrl authorize(key("IDP_AUTHORIZATION_URL"));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
        query.addQueryItem(QStringLiteral("client_id"), key("IDP_PUBLIC_CLIENT"));
        query.addQueryItem(QStringLiteral("redirect_uri"), redirect);
        query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
        query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
        query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(state));
        query.addQueryItem(QStringLiteral("login_hint"), user);
        authorize.setQuery(query);
        QNetworkRequest request(authorize);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        const auto consent = finished(m_network.get(request));
        const QUrl location(QString::fromUtf8(consent->rawHeader("Location")));
        const QUrlQuery answer(location);
        if (consent->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 302
            || answer.queryItemValue(QStringLiteral("state")).toLatin1() != state
            || !answer.hasQueryItem(QStringLiteral("code"))) {
            m_lastError = QStringLiteral("authorize: %1 %2").arg(consent->errorString(),
                                                                   location.toString());
            return {};
        }
        const QString code = answer.queryItemValue(QStringLiteral("code"));
        const auto token =
            post(key("IDP_TOKEN_URL"),
                 {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                  {QStringLiteral("code"), code},
                  {QStringLiteral("redirect_uri"), redirect},
                  {QStringLiteral("client_id"), key("IDP_PUBLIC_CLIENT")},
                  {QStringLiteral("code_verifier"), QString::fromLatin1(verifier)}});
        const QByteArray body = token->readAll();
        const QString access =
            QJsonDocument::fromJson(body).object().value(QStringLiteral("access_token")).toString();
        if (access.isEmpty())
            m_lastError = QStringLiteral("token: %1 %2").arg(token->errorString(),
                                                               QString::fromUtf8(body));
        return access.toUtf8();
    }
    const QString& lastError() const { return m_lastError; }

    // Every access token issued so far stops being valid (refresh tokens stay).
    bool expireAccessTokens() { return control(QStringLiteral("expire-access")) == 204; }
    // Every refresh and access token is revoked.
    bool revoke() { return control(QStringLiteral("revoke")) == 204; }

    // The provider's keys in the fixture's file, without their IDP_ prefix.
    QString operator[](const QString& name) const { return m_info[QStringLiteral("IDP_") + name]; }
    // One of the provider's test controls (see identity-provider.py); answers the HTTP status.
    int control(const QString& name, const QUrlQuery& form = {})
    {
        return status(*postForm(key("IDP_CONTROL_URL") + u'/' + name, form));
    }
    // The provider's introspection of an access token: {"active": …, "username": …}.
    QJsonObject introspect(const QByteArray& token)
    {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("token"), QString::fromLatin1(token));
        return QJsonDocument::fromJson(postForm(key("IDP_INTROSPECTION_URL"), form)->readAll()).object();
    }
    // The token requests the provider answered, as "grant_type status" lines, in order.
    QStringList tokenRequests()
    {
        const auto log = finished(m_network.get(QNetworkRequest(QUrl(key("IDP_CONTROL_URL") +
                                                                     QStringLiteral("/log")))));
        QStringList requests;
        for (const QByteArray& line : log->readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.value(QStringLiteral("path")).toString() == QStringLiteral("/token"))
                requests.append(entry.value(QStringLiteral("grant_type")).toString() + u' ' +
                                QString::number(entry.value(QStringLiteral("status")).toInt()));
        }
        return requests;
    }

private:
    using Reply = std::unique_ptr<QNetworkReply>;

    QString key(const char* name) const { return m_info[QString::fromLatin1(name)]; }

    static QByteArray randomText(int bytes)
    {
        QByteArray raw(bytes, '\0');
        QRandomGenerator::system()->generate(raw.begin(), raw.end());
        return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    }

    // Waits (at most ten seconds) for the reply to finish.
    static Reply finished(QNetworkReply* reply)
    {
        Reply owned(reply);
        if (!reply->isFinished()) {
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return owned;
    }

    static int status(const QNetworkReply& reply)
    {
        return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    Reply post(const QString& url, const QList<std::pair<QString, QString>>& fields)
    {
        QUrlQuery form;
        for (const auto& [name, value] : fields)
            form.addQueryItem(name, value); // codes, verifiers and URLs: no "+" or "&" in them
        return postForm(url, form);
    }
    Reply postForm(const QString& url, const QUrlQuery& form)
    {
        QNetworkRequest request{QUrl(url)};
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        return finished(m_network.post(request, form.toString(QUrl::FullyEncoded).toUtf8()));
    }


    DovecotInfo m_info;
    QNetworkAccessManager m_network;
    QString m_lastError;
};

} // namespace pelmora::tests
