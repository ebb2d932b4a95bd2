#pragma once

#include "platform/ports/SecretStore.h"

#include <chrono>

namespace pelmora::platform {

// Secrets in the desktop keyring through QtKeychain (the Secret Service over D-Bus on Linux, e.g.
// GNOME Keyring or KWallet), under the service name "Pelmora". Each call starts the keyring's job
// and answers when it finishes, or after `patience`: a keyring that does not answer (a locked
// keyring waiting for a prompt nobody sees, a hung daemon) counts as unavailable. Nothing is ever
// written to a file in the keyring's stead.
class KeychainSecretStore final : public SecretStore {
public:
    explicit KeychainSecretStore(std::chrono::milliseconds patience = std::chrono::seconds(10));

    void read(const QString& name, QObject* context, Answer answer) override;
    void write(const QString& name, const QByteArray& secret, QObject* context,
               Answer answer) override;
    void remove(const QString& name, QObject* context, Answer answer) override;

private:
    std::chrono::milliseconds m_patience;
};

} // namespace pelmora::platform
