#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace pelmora::platform {

// Secrets kept for the user by the desktop (the Secret Service keyring on Linux), by name. No call
// waits: each answers exactly once, later from the thread's event loop or at once, and within a
// bounded time (a keyring that does not answer in time counts as Unavailable). An answer is never
// given once `context` is gone.
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

    using Answer = std::function<void(const Result&)>;

    virtual ~SecretStore() = default;
    virtual void read(const QString& name, QObject* context, Answer answer) = 0;
    virtual void write(const QString& name, const QByteArray& secret, QObject* context,
                       Answer answer) = 0;
    virtual void remove(const QString& name, QObject* context, Answer answer) = 0;
};

} // namespace pelmora::platform
