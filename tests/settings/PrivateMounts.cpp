#include "PrivateMounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char kFiller[] = "filler";

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// The first call moves this thread into a mount namespace of its own.
QString enterPrivateNamespace()
{
    static const QString why = ::unshare(CLONE_NEWNS) == 0
        ? QString()
        : u"cannot make a private mount namespace (unshare: %1); run as root"_s.arg(
              qt_error_string(errno));
    return why;
}

// A new mount is copied to every namespace that shares the mount it is made on, unless that one
// is private here: makes the mount holding `path` private, so nothing reaches the rest of the
// system. (Its mount point need not be "/": under chroot, "/" may be no mount point at all.)
bool makeHoldingMountPrivate(const QString& path)
{
    for (QString at = path;; at = QFileInfo(at).path()) {
        if (::mount(nullptr, native(at).constData(), nullptr, MS_PRIVATE, nullptr) == 0)
            return true;
        if (errno != EINVAL || at == u"/"_s) {
            qWarning("no private mount holds %s (%s)", qPrintable(path),
                     qPrintable(qt_error_string(errno)));
            return false;
        }
    }
}

// A process whose current directory is `path` keeps working in what was there before a mount
// (or unmount) there, unless it enters the folder anew.
template <typename Change>
bool changeAndReenter(const QString& path, Change change)
{
    const bool current = QDir::currentPath() == path;
    const bool changed = change();
    if (current)
        QDir::setCurrent(path);
    return changed;
}

} // namespace

PrivateMounts::PrivateMounts() : m_unavailable(enterPrivateNamespace()) {}

PrivateMounts::~PrivateMounts()
{
    while (!m_mounted.isEmpty())
        undo(m_mounted.last());
}

bool PrivateMounts::makeReadOnly(const QString& path)
{
    const QByteArray target = native(path);
    return changeAndReenter(path, [&] {
        if (!makeHoldingMountPrivate(path) ||
            ::mount(target.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        m_mounted.append(path);
        return ::mount(nullptr, target.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                       nullptr) == 0;
    });
}

bool PrivateMounts::makeFullDisk(const QString& folder)
{
    QList<std::pair<QString, QByteArray>> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        files.append({name, file.readAll()});
    }
    if (!makeHoldingMountPrivate(folder) ||
        ::mount("tmpfs", native(folder).constData(), "tmpfs", 0, "size=16k") != 0)
        return false;
    m_mounted.append(folder);
    for (const auto& [name, bytes] : files) {
        QFile file(folder + u'/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    // Fill every block that is left.
    QFile filler(folder + u'/' + QLatin1StringView(kFiller));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
    return true;
}

bool PrivateMounts::freeSpace(const QString& folder)
{
    return QFile::remove(folder + u'/' + QLatin1StringView(kFiller));
}

bool PrivateMounts::undo(const QString& path)
{
    const qsizetype at = m_mounted.lastIndexOf(path);
    if (at < 0)
        return false;
    m_mounted.removeAt(at);
    return changeAndReenter(path,
                            [&] { return ::umount2(native(path).constData(), MNT_DETACH) == 0; });
}
