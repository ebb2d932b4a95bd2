#include "tests/fakes/FakePlatform.h"

#include <QDir>
#include <QFile>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;

FakePlatform::FakePlatform(DataFolder dataFolder, Replacements real)
    : m_previousDir(QDir::currentPath())
{
    if (dataFolder == DataFolder::Present)
        QDir(m_programDir.path()).mkdir(u"★MailData"_s);
    QDir::setCurrent(m_workDir.path());

    m_services.reset(new app::PlatformServices{
        real.mailLibrary ? *real.mailLibrary : mailLibrary, profileFiles, codec, multimedia,
        tickCounter, windowPositioner, real.remoteAccess ? *real.remoteAccess : remoteAccess,
        trayIcon, fileDialog, fileTitle, real.messageBox ? *real.messageBox : messageBox,
        real.programLauncher ? *real.programLauncher : programLauncher, homepageBrowser,
        processExit, [this](QWidget*) -> platform::AnimationPane& { return animationPane; },
        m_programDir.path(), real.timerPace});
}

FakePlatform::~FakePlatform()
{
    QDir::setCurrent(m_previousDir);
}

QString FakePlatform::dataFolder() const
{
    return m_programDir.path() + u"/★MailData"_s;
}

QString FakePlatform::mainProfile() const
{
    return dataFolder() + u"/ini.ini"_s;
}

QString FakePlatform::accountProfile() const
{
    return dataFolder() + u"/iniIdPass.ini"_s;
}

QString FakePlatform::serverFile() const
{
    return m_workDir.path() + u"/vbmail.ini"_s;
}

void FakePlatform::storeServerAndAccount() const
{
    writeFile(serverFile(), kStoredServerFile);
    writeFile(accountProfile(), kStoredAccountFile);
}

QByteArray FakePlatform::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<MISSING>";
    return file.readAll();
}

void FakePlatform::writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace pelmora::fakes
