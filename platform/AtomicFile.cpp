#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// POSIX calls rather than QSaveFile: QSaveFile (Qt 6.4) commits a file cut short when a write
// stops part way (e.g. at the file size limit), renaming the torn file over the original. Every
// step here is checked before the rename.
namespace pelmora::platform {

namespace {

// 0, or the errno value of the failure.
int writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return ENOSPC; // nothing more fits
        data += written;
        left -= written;
    }
    return 0;
}

// Makes the rename itself survive a crash: the folder's entry must reach the disk too.
void syncFolder(const QByteArray& file)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? file.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

WriteResult writeFileAtomically(const QString& path, QByteArrayView bytes, FileAccess access)
{
    const QFileInfo info(path);
    const QString resolved = info.isSymLink() && !info.canonicalFilePath().isEmpty()
        ? info.canonicalFilePath()
        : path;
    const QByteArray target = QFile::encodeName(resolved);

    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return WriteResult::failedWithError(S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
    // Writing in place would be refused; replacing the file must be too.
    if (exists && ::access(target.constData(), W_OK) != 0)
        return WriteResult::failedWithError(errno);

    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // created with mode 600
    if (fd < 0)
        return WriteResult::failedWithError(errno);
    int error = writeAll(fd, bytes);
    // The temporary file is 600 from its creation; an owner-only file stays so.
    if (!error && exists && access == FileAccess::KeepMode) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0)
            error = errno;
    }
    if (!error && exists) {
        // Only a privileged process may hand the file back to its owner; anyone else owns it
        // already.
        [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return WriteResult::failedWithError(error);
    }
    syncFolder(target);
    return WriteResult::done();
}

} // namespace pelmora::platform
