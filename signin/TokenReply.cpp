#include "signin/TokenReply.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

// Tokens are printable ASCII (RFC 6749 A.12, A.17); anything else in one means the reply is not
// what it claims to be.
bool isTokenText(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

} // namespace

QString plainText(const QString& text, qsizetype limit)
{
    QString plain = text.left(limit);
    for (QChar& c : plain) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    if (text.size() > limit)
        plain += u'…';
    return plain.trimmed();
}

TokenReply parseTokenReply(QByteArrayView body)
{
    TokenReply reply;
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), body.size()), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        reply.error = u"invalid_response"_s;
        return reply;
    }
    const QJsonObject object = document.object();
    if (object.contains(u"error"_s)) {
        reply.error = plainText(object.value(u"error"_s).toString(u"unknown_error"_s), 80);
        if (reply.error.isEmpty())
            reply.error = u"unknown_error"_s;
        reply.errorDescription = plainText(object.value(u"error_description"_s).toString());
        return reply;
    }
    const QString access = object.value(u"access_token"_s).toString();
    const QString refresh = object.value(u"refresh_token"_s).toString();
    if (access.isEmpty() || !isTokenText(access) || !isTokenText(refresh)) {
        reply.error = u"invalid_response"_s;
        return reply;
    }
    reply.accessToken = access.toLatin1();
    reply.refreshToken = refresh.toLatin1();
    // Some providers send the lifetime as a string.
    const QJsonValue expires = object.value(u"expires_in"_s);
    bool numeric = expires.isDouble();
    const double seconds = numeric ? expires.toDouble() : expires.toString().toDouble(&numeric);
    if (numeric && seconds >= 0 && seconds < 10.0 * 365 * 24 * 3600)
        reply.expiresIn = static_cast<qint64>(seconds);
    return reply;
}

bool isSecureEndpoint(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"https"_s)
        return true;
    return scheme == u"http"_s && QHostAddress(url.host()).isLoopback();
}

QString describeRefusal(const TokenReply& reply)
{
    if (reply.error == u"invalid_response"_s)
        return u"プロバイダーの応答を読み取れませんでした"_s;
    if (reply.error == u"network"_s)
        return reply.errorDescription;
    if (reply.errorDescription.isEmpty())
        return reply.error;
    return reply.error + u": "_s + reply.errorDescription;
}

} // namespace pelmora::signin
