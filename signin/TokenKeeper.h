#pragma once

#include "signin/AuthorizationFlow.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace pelmora::platform {
class SecretStore;
}

namespace pelmora::signin {

// Where the tokens of the saved choice live. The refresh token is kept in the desktop keyring
// under a name made of the provider and the login name; when no keyring answers, it is kept in
// memory for this run only. It is never written to a file. The access token and its expiry are
// kept in memory only.
class TokenKeeper {
public:
    explicit TokenKeeper(platform::SecretStore& secrets) : m_secrets(secrets) {}
    ~TokenKeeper();
    TokenKeeper(const TokenKeeper&) = delete;
    TokenKeeper& operator=(const TokenKeeper&) = delete;

    // The keyring name of a choice's refresh token: "<provider>:<login name>".
    static QString secretName(const QString& provider, const QString& loginName);

    // Takes up the refresh token the keyring holds under `name` (nothing when it holds none or
    // does not answer); forgets whatever was in memory.
    void load(const QString& name);
    // Keeps freshly issued tokens under `name`, the refresh token in the keyring if it takes it.
    void keep(const QString& name, const GrantedTokens& tokens);
    // A refreshed access token; `rotatedRefreshToken`, when not empty, replaces the kept one.
    void refreshed(const QByteArray& accessToken, const QDateTime& expiry,
                   const QByteArray& rotatedRefreshToken);
    // Forgets every token, in memory and (under the name they were kept by) in the keyring.
    void forget();

    bool hasRefreshToken() const { return !m_refreshToken.isEmpty(); }
    const QByteArray& refreshToken() const { return m_refreshToken; }
    const QByteArray& accessToken() const { return m_accessToken; }
    const QDateTime& expiry() const { return m_expiry; }
    bool inKeyring() const { return m_inKeyring; }
    // False once the keyring failed to answer; true again when it answers.
    bool keyringAvailable() const { return m_keyringAvailable; }
    // The keyring's own words when it last failed.
    const QString& keyringDetail() const { return m_keyringDetail; }

private:
    void clearMemory();
    void storeRefreshToken();

    platform::SecretStore& m_secrets;
    QString m_name;
    QByteArray m_refreshToken;
    QByteArray m_accessToken;
    QDateTime m_expiry;
    bool m_inKeyring = false;
    bool m_keyringAvailable = false;
    QString m_keyringDetail;
};

} // namespace pelmora::signin
