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
                               const settings::Preferences& preferences,
                               const settings::NoticeOptionsFile& options)
    : m_ports(ports), m_mailProgram(mailProgram), m_board(board), m_alert(alert),
      m_preferences(preferences), m_options(options)
{
}

void CheckAnnouncer::failed(const QString& text)
{
    m_ports.messageBox.msgBox(text, platform::msgbox::kOkOnly, u"エラー"_s);
}

bool CheckAnnouncer::newMail(const NewMail& mail)
{
    bool told = false;
    if (m_mailProgram.startsMailProgram()) {
        const std::optional<QString> path = chosenMailProgram();
        told = path && startMailProgram(*path);
    } else {
        m_board.setMessage(u"新着メールが有ります"_s);
        m_board.setCount(QString::number(mail.count));
        const bool eraseAfterASecond = m_preferences.boardErasesItself;
        m_board.show();
        if (eraseAfterASecond) {
            platform::WaitMilliseconds(m_ports.ticks, kBoardMilliseconds);
            m_board.unload();
        }
        m_alert.start();
        told = true;
    }
    if (told && m_options.read().notifySenders)
        notifySenders(mail);
    return told;
}

void CheckAnnouncer::withoutMessageIds()
{
    if (m_toldWithoutIds)
        return;
    m_toldWithoutIds = true;
    tellWithoutWaiting(u"このサーバーはメールを見分ける ID を返さないため、「新着だけを知らせる」は"
                       "使えません。メールボックスにあるメールをすべて新着として知らせます。"_s);
}

std::optional<QString> CheckAnnouncer::chosenMailProgram() const
{
    const QString path = m_mailProgram.mailProgramPath();
    if (path == QString::fromUtf16(settings::kMailProgramNotSet))
        return std::nullopt;
    return trimSpaces(path);
}

// The newest messages first, each as "sender — subject"; the notifications port bounds and shows
// them as plain text.
void CheckAnnouncer::notifySenders(const NewMail& mail)
{
    QStringList lines;
    for (qsizetype i = mail.headers.size() - 1; i >= 0 && lines.size() < kMaxMessagesNamed; --i) {
        const platform::MailHeader& header = mail.headers[i];
        const QString sender = header.sender.isEmpty() ? u"(差出人なし)"_s : header.sender;
        const QString subject = header.subject.isEmpty() ? u"(件名なし)"_s : header.subject;
        lines.append(sender + u" — "_s + subject);
    }
    std::function<void()> onClicked;
    // The program chosen when the user clicks, which may have changed meanwhile.
    if (chosenMailProgram())
        onClicked = [this] {
            if (const std::optional<QString> path = chosenMailProgram())
                startMailProgram(*path);
        };
    m_ports.notifications.notify(u"新着メール %1 通"_s.arg(mail.count), lines,
                                 std::move(onClicked));
}

bool CheckAnnouncer::startMailProgram(const QString& path)
{
    if (m_ports.launcher.shell(path, platform::ProgramLauncher::kNormalFocus))
        return true;
    tellWithoutWaiting(u"設定したメーラーを起動できませんでした。\n%1"_s.arg(path));
    return false;
}

void CheckAnnouncer::tellWithoutWaiting(const QString& text)
{
    const QString title = u"Pelmora"_s;
    if (!m_ports.tray.showMessage(title, text))
        m_ports.messageBox.msgBoxModeless(text, platform::msgbox::kExclamation, title);
}

} // namespace pelmora::mail
