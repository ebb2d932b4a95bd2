#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

QString programFolder()
{
    // The executable's folder as the system reports it has every symlink resolved, so a launcher
    // that gives each user a folder of links to one shared installation names that folder here.
    const QString named = qEnvironmentVariable("PELMORA_PROGRAM_FOLDER");
    const QFileInfo folder(named);
    if (!named.isEmpty() && folder.isAbsolute() && folder.isDir())
        return QDir::cleanPath(folder.absoluteFilePath());
    return QCoreApplication::applicationDirPath();
}

QString toNativePath(const QString& backslashPath)
{
    QString path = backslashPath;
    path.replace(u'\\', u'/');
    return QDir::toNativeSeparators(path);
}

QString programFilePath(const QString& folder, const QString& backslashLiteral)
{
    return toNativePath(folder + backslashLiteral);
}

QString localFileFromFileUrl(const QString& url)
{
    static const QString scheme = u"file://"_s;
    if (!url.startsWith(scheme, Qt::CaseInsensitive))
        return {};
    return toNativePath(url.mid(scheme.size()));
}

} // namespace pelmora::platform
