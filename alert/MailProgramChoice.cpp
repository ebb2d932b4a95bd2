#include "alert/MailProgramChoice.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pelmora::alert {

using namespace Qt::StringLiterals;

MailProgramChoice::MailProgramChoice(platform::FileDialog& dialog, platform::FileTitle& fileTitle,
                                     const platform::AnsiCodec& codec,
                                     MailProgramWindowView& window)
    : m_dialog(dialog), m_fileTitle(fileTitle), m_codec(codec), m_window(window)
{
}

void MailProgramChoice::choose()
{
    m_window.setMailProgramPath(m_dialog.showOpen(m_window.dialogOwner()));
    m_window.setMailProgramTitle(fileTitle(m_window.mailProgramPath()));
}

void MailProgramChoice::onCaptionTick()
{
    m_window.setMailProgramTitle(fileTitleOfPath());
    m_window.setCaption(m_window.mailProgramPath().isEmpty() ? u"設定されていません。"_s
                                                         : m_window.mailProgramTitle());
    const int left = m_window.captionLeft();
    m_window.setCaptionLeft(left == kCaptionEnd ? kCaptionStart : left - kCaptionStep);
}

void MailProgramChoice::catchUpCaption(std::int64_t missedTicks)
{
    if (missedTicks <= 0)
        return;
    m_window.setCaptionLeft(captionLeftAfter(m_window.captionLeft(), missedTicks - 1));
    onCaptionTick();
}

int MailProgramChoice::captionLeftAfter(int left, std::int64_t ticks)
{
    constexpr std::int64_t lap = (kCaptionStart - kCaptionEnd) / kCaptionStep + 1;
    if (ticks <= 0)
        return left;
    std::int64_t place = left;
    const bool reachesTheEnd = place >= kCaptionEnd && (place - kCaptionEnd) % kCaptionStep == 0;
    if (reachesTheEnd) {
        // Right of the start (only a hand-set place), it first walks down to the start.
        if (place > kCaptionStart) {
            const std::int64_t toStart = (place - kCaptionStart) / kCaptionStep;
            if (ticks <= toStart)
                return int(place - ticks * kCaptionStep);
            ticks -= toStart;
            place = kCaptionStart;
        }
        const std::int64_t index = ((kCaptionStart - place) / kCaptionStep + ticks) % lap;
        return int(kCaptionStart - index * kCaptionStep);
    }
    // A place that never meets the end: each tick only moves it further left, as far as a
    // number of twips goes.
    place -= std::min<std::int64_t>(ticks, INT32_MAX) * kCaptionStep;
    return int(std::max<std::int64_t>(place, INT32_MIN));
}

QString MailProgramChoice::fileTitleOfPath()
{
    // The title depends on the path alone: worked out again only when the path has changed,
    // not at each of the caption's 50 ticks a second.
    const QString path = m_window.mailProgramPath();
    if (!m_titled || path != m_titledPath) {
        m_title = fileTitle(path);
        m_titledPath = path;
        m_titled = true;
    }
    return m_title;
}

QString MailProgramChoice::fileTitle(const QString& path) const
{
    std::array<char, 250> title{};
    const QByteArray bytes = m_codec.toAnsi(path);
    m_fileTitle.getFileTitle(std::string_view(bytes.constData(), std::size_t(bytes.size())), title);
    title.back() = '\0'; // whatever was written, the text ends inside the buffer
    return m_codec.fromAnsi(QByteArrayView(title.data(), qsizetype(std::strlen(title.data()))));
}

} // namespace pelmora::alert
