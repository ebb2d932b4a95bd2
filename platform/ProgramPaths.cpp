#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

QString programFolder()
{
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
