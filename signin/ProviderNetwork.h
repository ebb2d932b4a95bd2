#pragma once

#include "signin/TokenReply.h"

#include <QNetworkAccessManager>
#include <QList>

#include <utility>

#include <chrono>

namespace pelmora::signin {

// The connection to the provider: every reply is bounded in size (a token reply is a few hundred
// bytes; a larger one is cut off and fails) and in time, and is never redirected, so a form that
// carries a secret goes only where it was addressed.
class ProviderNetwork final : public QNetworkAccessManager {
    Q_OBJECT
public:
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;

    explicit ProviderNetwork(std::chrono::milliseconds transferLimit, QObject* parent = nullptr);

    // Whether `reply` was cut off for being larger than kMaxReplyBytes.
    static bool wasTooLarge(const QNetworkReply& reply);

    // Posts `form` to the token endpoint and waits for the answer with the thread's events
    // dispatched, at most the transfer limit in all (a provider that drips its answer is cut off
    // too). A transport failure comes back as the error
    // "network" with the reason as its description.
    using Form = QList<std::pair<QString, QString>>;
    TokenReply postTokenRequest(const QUrl& tokenUrl, const Form& form);
    // Posts `form` to the token endpoint without waiting; read the answer with readTokenReply().
    QNetworkReply* postForm(const QUrl& tokenUrl, const Form& form);

    // `form` as application/x-www-form-urlencoded; every reserved character is percent-encoded
    // (QUrlQuery leaves '+' alone, which a form reads as a space).
    static QByteArray encodeForm(const Form& form);

    // The body of a finished token reply as a TokenReply, whatever its HTTP status.
    static TokenReply readTokenReply(QNetworkReply& reply, QByteArrayView body);

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* outgoingData) override;

private:
    std::chrono::milliseconds m_transferLimit;
};

} // namespace pelmora::signin
