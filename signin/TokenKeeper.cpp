#include "signin/TokenKeeper.h"

#include "platform/ports/SecretStore.h"
#include "signin/TokenReply.h"

namespace pelmora::signin {

using namespace Qt::StringLiterals;
using Outcome = platform::SecretStore::Outcome;

namespace {

// Overwrites a token before letting it go, so it does not linger in freed memory.
void wipe(QByteArray& token)
{
    token.fill('\0');
    token.clear();
}

} // namespace

TokenKeeper::~TokenKeeper()
{
    clearMemory();
}

QString TokenKeeper::secretName(const QString& provider, const QString& loginName)
{
    return provider + u':' + loginName;
}

void TokenKeeper::clearMemory()
{
    wipe(m_refreshToken);
    wipe(m_accessToken);
    m_expiry = {};
    m_inKeyring = false;
}

void TokenKeeper::load(const QString& name)
{
    clearMemory();
    m_name = name;
    const platform::SecretStore::Result result = m_secrets.read(name);
    m_keyringAvailable = result.outcome != Outcome::Unavailable;
    m_keyringDetail = m_keyringAvailable ? QString() : plainText(result.detail);
    if (result.outcome == Outcome::Done && !result.secret.isEmpty()) {
        m_refreshToken = result.secret;
        m_inKeyring = true;
    }
}

void TokenKeeper::storeRefreshToken()
{
    const platform::SecretStore::Result result = m_secrets.write(m_name, m_refreshToken);
    m_inKeyring = result.outcome == Outcome::Done;
    m_keyringAvailable = m_inKeyring;
    m_keyringDetail = m_inKeyring ? QString() : plainText(result.detail);
}

void TokenKeeper::keep(const QString& name, const GrantedTokens& tokens)
{
    clearMemory();
    m_name = name;
    m_refreshToken = tokens.refreshToken;
    m_accessToken = tokens.accessToken;
    m_expiry = tokens.expiry;
    storeRefreshToken();
}

void TokenKeeper::refreshed(const QByteArray& accessToken, const QDateTime& expiry,
                            const QByteArray& rotatedRefreshToken)
{
    wipe(m_accessToken);
    m_accessToken = accessToken;
    m_expiry = expiry;
    if (!rotatedRefreshToken.isEmpty() && rotatedRefreshToken != m_refreshToken) {
        wipe(m_refreshToken);
        m_refreshToken = rotatedRefreshToken;
        storeRefreshToken();
    }
}

void TokenKeeper::forget()
{
    clearMemory();
    if (m_name.isEmpty())
        return;
    const platform::SecretStore::Result result = m_secrets.remove(m_name);
    if (result.outcome == Outcome::Unavailable) {
        m_keyringAvailable = false;
        m_keyringDetail = plainText(result.detail);
    } else {
        m_keyringAvailable = true;
        m_keyringDetail.clear();
    }
}

} // namespace pelmora::signin
