#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

namespace pelmora::signin {

// What a provider's token endpoint answered (RFC 6749 5.1 and 5.2), read from its JSON body.
struct TokenReply {
    QByteArray accessToken;
    QByteArray refreshToken;  // empty when the provider keeps the one it issued before
    qint64 expiresIn = -1;    // seconds; -1 when the reply does not say
    QString error;            // the provider's error code ("invalid_grant"), empty on success
    QString errorDescription; // its explanation, as plain text

    bool ok() const { return error.isEmpty() && !accessToken.isEmpty(); }
};

// Reads a token endpoint's body. Anything but a JSON object with an access token or an error
// becomes the error "invalid_response"; texts are made plain and cut short.
TokenReply parseTokenReply(QByteArrayView body);

// Text that came from outside (a provider, a keyring) made fit for a window: control characters
// become spaces, and it is cut at `limit` characters.
QString plainText(const QString& text, qsizetype limit = 300);

// Tokens may only travel over TLS; plain http is allowed to this machine's loopback only.
bool isSecureEndpoint(const QUrl& url);

// The provider's refusal as the user reads it: its code and explanation, never a token.
QString describeRefusal(const TokenReply& reply);

} // namespace pelmora::signin
