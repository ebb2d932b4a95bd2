#include "platform/profile/AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace pelmora::platform {

bool writeFileAtomically(const QString& path, QByteArrayView bytes)
{
    const bool isNew = !QFileInfo::exists(path);
    QSaveFile file(path);
    // Writing in place would defeat the point when the folder refuses a temporary file.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // QSaveFile gives a new file the default mode (0666 less the umask); restrict it before any
    // byte is written. An existing file's mode is carried over by QSaveFile itself.
    if (isNew && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace pelmora::platform
