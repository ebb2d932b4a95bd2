#pragma once

#include "platform/ports/SecretStore.h"

#include <chrono>

namespace pelmora::platform {

// Secrets in the desktop keyring through QtKeychain (the Secret Service over D-Bus on Linux, e.g.
// GNOME Keyring or KWallet), under the service name "Pelmora". Each call runs the keyring's job
// with a local event loop and gives up after `patience`: a keyring that does not answer (a locked
// keyring waiting for a prompt nobody sees, a hung daemon) counts as unavailable. Nothing is ever
// written to a file in the keyring's stead.
class KeychainSecretStore final : public SecretStore {
public:
    explicit KeychainSecretStore(std::chrono::milliseconds patience = std::chrono::seconds(10));

    Result read(const QString& name) override;
    Result write(const QString& name, const QByteArray& secret) override;
    Result remove(const QString& name) override;

private:
    std::chrono::milliseconds m_patience;
};

} // namespace pelmora::platform
