#pragma once

#include <QByteArray>
#include <QString>

namespace pelmora::platform {

// Secrets kept for the user by the desktop (the Secret Service keyring on Linux), by name. Each
// call waits for the keyring with the thread's events dispatched, for a bounded time.
class SecretStore {
public:
    enum class Outcome : unsigned char {
        Done,        // read, written or removed (removing what is not there is Done too)
        NotFound,    // read: nothing kept under that name
        Unavailable, // no keyring answers, or it refused (locked, denied, timed out)
    };
    struct Result {
        Outcome outcome = Outcome::Unavailable;
        QByteArray secret; // what was read
        QString detail;    // the keyring's own reason when Unavailable, for the window to show
    };

    virtual ~SecretStore() = default;
    virtual Result read(const QString& name) = 0;
    virtual Result write(const QString& name, const QByteArray& secret) = 0;
    virtual Result remove(const QString& name) = 0;
};

} // namespace pelmora::platform
