#include "signin/ProviderNetwork.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {
constexpr char kTooLarge[] = "pelmoraTooLarge";
}

ProviderNetwork::ProviderNetwork(std::chrono::milliseconds transferLimit, QObject* parent)
    : QNetworkAccessManager(parent), m_transferLimit(transferLimit)
{
    setTransferTimeout(static_cast<int>(transferLimit.count()));
    setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

bool ProviderNetwork::wasTooLarge(const QNetworkReply& reply)
{
    return reply.property(kTooLarge).toBool();
}

QNetworkReply* ProviderNetwork::createRequest(Operation op, const QNetworkRequest& request,
                                              QIODevice* outgoingData)
{
    QNetworkRequest bounded(request);
    bounded.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    bounded.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    bounded.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply* reply = QNetworkAccessManager::createRequest(op, bounded, outgoingData);
    reply->setReadBufferSize(kMaxReplyBytes + 1);
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply](qint64 received, qint64 total) {
                if (received > kMaxReplyBytes || total > kMaxReplyBytes) {
                    reply->setProperty(kTooLarge, true);
                    reply->abort();
                }
            });
    return reply;
}

TokenReply ProviderNetwork::readTokenReply(QNetworkReply& reply, QByteArrayView body)
{
    if (wasTooLarge(reply))
        return {{}, {}, -1, u"network"_s, u"プロバイダーの応答が大きすぎます"_s};
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An error reply of the token endpoint is JSON too (HTTP 400 or 401); read it for its code.
    if (status != 0 && !body.isEmpty()) {
        TokenReply parsed = parseTokenReply(body);
        if (status == 200 || parsed.error != u"invalid_response"_s)
            return parsed;
    }
    if (reply.error() == QNetworkReply::NoError && status == 200)
        return parseTokenReply(body);
    QString reason = status != 0 ? u"HTTP %1"_s.arg(status) : plainText(reply.errorString());
    if (reply.error() == QNetworkReply::OperationCanceledError && status == 0)
        reason = u"プロバイダーが時間内に応答しませんでした"_s;
    return {{}, {}, -1, u"network"_s, reason};
}

QByteArray ProviderNetwork::encodeForm(const Form& form)
{
    QByteArray encoded;
    for (const auto& [key, value] : form) {
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return encoded;
}

QNetworkReply* ProviderNetwork::postForm(const QUrl& tokenUrl, const Form& form)
{
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/x-www-form-urlencoded"_s);
    request.setRawHeader("Accept", "application/json");
    return post(request, encodeForm(form));
}

TokenReply ProviderNetwork::postTokenRequest(const QUrl& tokenUrl, const Form& form)
{
    QPointer<QNetworkReply> reply = postForm(tokenUrl, form);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(m_transferLimit, &loop, [reply] {
        if (reply)
            reply->abort();
    });
    if (!reply->isFinished())
        loop.exec();
    if (!reply)
        return {{}, {}, -1, u"network"_s, u"接続が失われました"_s};
    TokenReply result = readTokenReply(*reply, reply->read(kMaxReplyBytes));
    reply->deleteLater();
    return result;
}

} // namespace pelmora::signin
