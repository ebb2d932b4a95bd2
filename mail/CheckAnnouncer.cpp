#include "mail/CheckAnnouncer.h"

#include "settings/SettingsStore.h"

#include "platform/WaitMilliseconds.h"

namespace pelmora::mail {

using namespace Qt::StringLiterals;

namespace {
constexpr std::int32_t kBoardMilliseconds = 1000;

// Leading and trailing blanks (spaces only) removed.
QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}
} // namespace

CheckAnnouncer::CheckAnnouncer(Ports ports, MailProgramView& mailProgram, NoticeBoardView& board,
                               alert::AlertPresenter& alert,
                               const settings::Preferences& preferences)
    : m_ports(ports), m_mailProgram(mailProgram), m_board(board), m_alert(alert),
      m_preferences(preferences)
{
}

void CheckAnnouncer::failed(const QString& text)
{
    m_ports.messageBox.msgBox(text, platform::msgbox::kOkOnly, u"エラー"_s);
}

void CheckAnnouncer::newMail(const NewMail& mail)
{
    if (m_mailProgram.startsMailProgram()) {
        const QString path = m_mailProgram.mailProgramPath();
        if (path != QString::fromUtf16(settings::kMailProgramNotSet))
            startMailProgram(trimSpaces(path));
        return;
    }
    m_board.setMessage(u"新着メールが有ります"_s);
    m_board.setCount(QString::number(mail.count));
    const bool eraseAfterASecond = m_preferences.boardErasesItself;
    m_board.show();
    if (eraseAfterASecond) {
        platform::WaitMilliseconds(m_ports.ticks, kBoardMilliseconds);
        m_board.unload();
    }
    m_alert.start();
}

void CheckAnnouncer::startMailProgram(const QString& path)
{
    if (m_ports.launcher.shell(path, platform::ProgramLauncher::kNormalFocus))
        return;
    // Told without stopping the check: a balloon at the tray icon, else a box that does not wait.
    const QString title = u"Pelmora"_s;
    const QString text = u"設定したメーラーを起動できませんでした。\n%1"_s.arg(path);
    if (!m_ports.tray.showMessage(title, text))
        m_ports.messageBox.msgBoxModeless(text, platform::msgbox::kExclamation, title);
}

} // namespace pelmora::mail
