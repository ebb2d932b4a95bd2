#pragma once

#include <QList>
#include <QString>

// Files and folders that cannot be written, for real and even for root, whom permission bits do
// not stop: read-only bind mounts and a tiny full file system, in a mount namespace private to
// the test's main thread (which does all file work), so nothing shows outside the test.
class PrivateMounts {
public:
    PrivateMounts();
    ~PrivateMounts(); // undoes every mount, latest first
    PrivateMounts(const PrivateMounts&) = delete;
    PrivateMounts& operator=(const PrivateMounts&) = delete;

    // Why mounts cannot be made here; empty when they can.
    const QString& unavailable() const { return m_unavailable; }

    // Makes a folder or a file read-only where it is.
    bool makeReadOnly(const QString& path);
    // Puts a full disk in place of `folder`, holding copies of the files it had.
    bool makeFullDisk(const QString& folder);
    // Gives the full disk room again.
    bool freeSpace(const QString& folder);
    // Makes the latest mount on `path` writable again by removing it.
    bool undo(const QString& path);

private:
    QString m_unavailable;
    QList<QString> m_mounted;
};

// Mounts are the test's precondition: in CI a missing one fails the test, elsewhere it skips.
#define PELMORA_REQUIRE_MOUNTS(mounts)                                                             \
    do {                                                                                           \
        if (!(mounts).unavailable().isEmpty()) {                                                   \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable((mounts).unavailable()));                                         \
            QSKIP(qPrintable((mounts).unavailable()));                                             \
        }                                                                                          \
    } while (false)
