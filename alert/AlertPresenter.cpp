#include "alert/AlertPresenter.h"

#include "alert/AlertAssets.h"

#include "platform/ProgramPaths.h"

namespace pelmora::alert {

using namespace Qt::StringLiterals;

AlertPresenter::AlertPresenter(platform::Multimedia& multimedia, QString programFolder,
                               AlertWindowView& window)
    : m_multimedia(multimedia), m_programFolder(std::move(programFolder)), m_window(window)
{
}

void AlertPresenter::start()
{
    // While an earlier alert still plays, the open fails (the alias is taken) and the play lets
    // that sound carry on.
    const QString sound = platform::programFilePath(m_programFolder,
                                                    QString::fromUtf16(kAlertSoundLiteral));
    m_multimedia.mciSendString(u"open \""_s + sound + u"\" alias bgm"_s);
    m_multimedia.mciSendString(u"play bgm"_s);
    m_window.navigateAnimation(animationUrl(m_programFolder, kAlertAnimationLiteral));
    m_window.setSoundWatchEnabled(true);
}

void AlertPresenter::stop()
{
    m_multimedia.mciSendString(u"stop bgm"_s);
    m_multimedia.mciSendString(u"close bgm"_s);
    m_window.setSoundWatchEnabled(false); // nothing open is left to watch
    m_window.navigateAnimation(animationUrl(m_programFolder, kRestingAnimationLiteral));
}

void AlertPresenter::onSoundWatchTick()
{
    if (m_multimedia.mciSendString(u"status bgm mode"_s, &m_reply, kReplyCapacity) !=
        platform::Multimedia::kSuccess) {
        // Nothing open (the sound could not be opened): nothing to watch until the next alert.
        m_window.setSoundWatchEnabled(false);
        return;
    }
    if (m_reply.left(7) != u"stopped"_s)
        return; // playing
    if (m_window.soundLoopFlag() != 0) {
        m_multimedia.mciSendString(u"play bgm from 0"_s);
    } else {
        m_multimedia.mciSendString(u"stop bgm"_s);
        m_multimedia.mciSendString(u"close bgm"_s);
        m_window.setSoundWatchEnabled(false);
    }
}

} // namespace pelmora::alert
