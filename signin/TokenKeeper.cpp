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
    m_loading = false;
    ++m_memoryGeneration;
}

void TokenKeeper::noteKeyring(const platform::SecretStore::Result& result)
{
    m_keyringAvailable = result.outcome != Outcome::Unavailable;
    m_keyringDetail = m_keyringAvailable ? QString() : plainText(result.detail);
}

void TokenKeeper::load(const QString& name, std::function<void()> loaded)
{
    clearMemory();
    m_name = name;
    m_loading = true;
    const quint64 generation = m_memoryGeneration;
    m_keyring.read(name, [this, generation, loaded](const platform::SecretStore::Result& result) {
        noteKeyring(result);
        if (generation == m_memoryGeneration) {
            m_loading = false;
            if (result.outcome == Outcome::Done && !result.secret.isEmpty()) {
                m_refreshToken = result.secret;
                m_inKeyring = true;
            }
        }
        if (loaded)
            loaded();
    });
}

void TokenKeeper::storeRefreshToken(std::function<void()> stored)
{
    const quint64 generation = m_memoryGeneration;
    m_keyring.write(m_name, m_refreshToken,
                    [this, generation, stored](const platform::SecretStore::Result& result) {
                        noteKeyring(result);
                        if (generation == m_memoryGeneration)
                            m_inKeyring = result.outcome == Outcome::Done;
                        if (stored)
                            stored();
                    });
}

void TokenKeeper::keep(const QString& name, const GrantedTokens& tokens, std::function<void()> stored)
{
    clearMemory();
    m_name = name;
    m_refreshToken = tokens.refreshToken;
    m_accessToken = tokens.accessToken;
    m_expiry = tokens.expiry;
    storeRefreshToken(std::move(stored));
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
        ++m_memoryGeneration;
        storeRefreshToken({});
    }
}

void TokenKeeper::forget()
{
    clearMemory();
    if (m_name.isEmpty())
        return;
    m_keyring.remove(m_name, [this](const platform::SecretStore::Result& result) { noteKeyring(result); });
}

} // namespace pelmora::signin
