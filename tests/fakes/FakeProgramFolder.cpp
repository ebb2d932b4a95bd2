#include "tests/fakes/FakeProgramFolder.h"

#include <QDir>
#include <QFile>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;

FakeProgramFolder::FakeProgramFolder(DataFolder dataFolder) : m_previousDir(QDir::currentPath())
{
    if (dataFolder == DataFolder::Present)
        QDir(m_programDir.path()).mkdir(u"★MailData"_s);
    QDir::setCurrent(m_workDir.path());
}

FakeProgramFolder::~FakeProgramFolder()
{
    QDir::setCurrent(m_previousDir);
}

QString FakeProgramFolder::dataFolder() const
{
    return m_programDir.path() + u"/★MailData"_s;
}

QString FakeProgramFolder::mainProfile() const
{
    return dataFolder() + u"/ini.ini"_s;
}

QString FakeProgramFolder::accountProfile() const
{
    return dataFolder() + u"/iniIdPass.ini"_s;
}

QString FakeProgramFolder::serverFile() const
{
    return m_workDir.path() + u"/vbmail.ini"_s;
}

void FakeProgramFolder::storeServerAndAccount() const
{
    writeFile(serverFile(), kStoredServerFile);
    writeFile(accountProfile(), kStoredAccountFile);
}

QByteArray FakeProgramFolder::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<MISSING>";
    return file.readAll();
}

void FakeProgramFolder::writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace pelmora::fakes
