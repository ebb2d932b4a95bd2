#pragma once

#include "signin/SignInChoice.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>

class QNetworkReply;
class QUrlQuery;

namespace pelmora::platform {
class HomepageBrowser;
}

namespace pelmora::signin {

class ProviderNetwork;
class RedirectListener;

struct GrantedTokens {
    QByteArray accessToken;
    QByteArray refreshToken;
    QDateTime expiry; // UTC; invalid when the provider did not say
};

// One sign-in in the user's browser: the authorization-code flow with PKCE (S256, RFC 7636) and a
// state of the system's random source (RFC 6749 10.12). It listens on 127.0.0.1 on a free port
// for the provider's redirect, opens the provider's page in the browser, and exchanges the code
// it gets for tokens; the browser is answered once that exchange has ended, with how it ended.
// Ends with finished() exactly once, never from inside start(); deleting the object abandons the
// sign-in and stops listening.
class AuthorizationFlow final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultPatience = std::chrono::minutes(5);

    AuthorizationFlow(SignInChoice choice, platform::HomepageBrowser& browser,
                      std::chrono::milliseconds patience = kDefaultPatience,
                      QObject* parent = nullptr);
    ~AuthorizationFlow() override;

    void start();
    // What the provider issued, once finished(true, …).
    const GrantedTokens& tokens() const { return m_tokens; }

signals:
    void finished(bool ok, const QString& text);

private:
    void finish(bool ok, const QString& text);
    void failLater(const QString& text);
    QUrl authorizationRequest(const QByteArray& state) const;
    void onRedirect(const QUrlQuery& answer);
    void onTokenReply(QNetworkReply& reply);

    SignInChoice m_choice;
    platform::HomepageBrowser& m_browser;
    std::chrono::milliseconds m_patience;
    ProviderNetwork* m_network = nullptr;
    RedirectListener* m_listener = nullptr;
    QTimer m_deadline;
    QByteArray m_verifier;
    GrantedTokens m_tokens;
    bool m_finished = false;
};

} // namespace pelmora::signin
