#pragma once

#include "signin/AuthorizationFlow.h"
#include "signin/KeyringQueue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace pelmora::platform {
class SecretStore;
}

namespace pelmora::signin {

// Where the tokens of the saved choice live. The refresh token is kept in the desktop keyring
// under a name made of the provider and the login name; when no keyring answers, it is kept in
// memory for this run only. It is never written to a file. The access token and its expiry are
// kept in memory only. The keyring is never waited for: its calls go through a queue in the order
// they are made, and what it answers is taken up when it comes.
class TokenKeeper {
public:
    explicit TokenKeeper(platform::SecretStore& secrets) : m_keyring(secrets) {}
    ~TokenKeeper();
    TokenKeeper(const TokenKeeper&) = delete;
    TokenKeeper& operator=(const TokenKeeper&) = delete;

    // The keyring name of a choice's refresh token: "<provider>:<login name>".
    static QString secretName(const QString& provider, const QString& loginName);

    // Forgets whatever was in memory and asks the keyring for the refresh token it holds under
    // `name`; takes it up when the keyring answers (nothing when it holds none or does not
    // answer), then calls `loaded`. Until then loading() is true.
    void load(const QString& name, std::function<void()> loaded);
    // Keeps freshly issued tokens under `name` at once in memory, and the refresh token in the
    // keyring if it takes it; calls `stored` once the keyring has answered.
    void keep(const QString& name, const GrantedTokens& tokens, std::function<void()> stored);
    // A refreshed access token; `rotatedRefreshToken`, when not empty, replaces the kept one.
    void refreshed(const QByteArray& accessToken, const QDateTime& expiry,
                   const QByteArray& rotatedRefreshToken);
    // Forgets every token, in memory at once and (under the name they were kept by) in the
    // keyring after every keyring call asked for before.
    void forget();

    bool loading() const { return m_loading; }
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
    void storeRefreshToken(std::function<void()> stored);
    void noteKeyring(const platform::SecretStore::Result& result);

    KeyringQueue m_keyring;
    // Counts the changes of what is in memory, so a keyring answer to an earlier one is not
    // taken up over a later one.
    quint64 m_memoryGeneration = 0;
    bool m_loading = false;
    QString m_name;
    QByteArray m_refreshToken;
    QByteArray m_accessToken;
    QDateTime m_expiry;
    bool m_inKeyring = false;
    bool m_keyringAvailable = false;
    QString m_keyringDetail;
};

} // namespace pelmora::signin
