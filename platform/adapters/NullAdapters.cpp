#include "platform/adapters/NullAdapters.h"

namespace pelmora::platform {

namespace {
constexpr std::int32_t kFailed = -1;

void writeNulTerminated(MailBuffer& buffer, std::int32_t capacity, std::string_view text)
{
    const auto room = std::min<std::size_t>(buffer.size(), capacity > 0 ? std::size_t(capacity) : 0);
    if (room == 0)
        return;
    const auto n = std::min(text.size(), room - 1);
    buffer.replace(0, n, text.substr(0, n));
    buffer[n] = '\0';
}
} // namespace

std::int32_t NullMailLibrary::NMailInitializeWinSock() { return kFailed; }
std::int32_t NullMailLibrary::NMailSetOption(std::int32_t, std::int32_t) { return kFailed; }
std::int32_t NullMailLibrary::NMailEndWinSock() { return kFailed; }
std::int32_t NullMailLibrary::NMailPop3Connect(const QByteArray&) { return kNoConnection; }
std::int32_t NullMailLibrary::NMailPop3Authenticate(std::int32_t, const QByteArray&,
                                                    const QByteArray&, std::int32_t)
{
    return kFailed;
}
std::int32_t NullMailLibrary::NMailPop3GetMailStatus(std::int32_t, std::int32_t, MailBuffer&,
                                                     MailBuffer&, MailBuffer&, MailBuffer&,
                                                     std::int32_t)
{
    return kFailed;
}
std::int32_t NullMailLibrary::NMailPop3GetMailSize(std::int32_t, std::int32_t) { return kFailed; }
std::int32_t NullMailLibrary::NMailPop3GetMail(std::int32_t, std::int32_t, MailBuffer&,
                                               MailBuffer&, MailBuffer&, MailBuffer&, MailBuffer&,
                                               std::int32_t, std::int32_t)
{
    return kFailed;
}
std::int32_t NullMailLibrary::NMailGetMessage(std::int32_t, MailBuffer& buffer,
                                              std::int32_t& capacity)
{
    writeNulTerminated(buffer, capacity, "This program was built without a POP3 library.");
    return kFailed;
}
std::int32_t NullMailLibrary::NMailPop3Close(std::int32_t) { return kFailed; }

std::uint32_t NullMultimedia::mciSendString(const QString&, QString* reply, std::uint32_t)
{
    if (reply)
        reply->clear();
    return kNoDevice;
}

std::uint32_t NullRemoteAccess::rasEnumConnections(std::span<RasConnection>, std::uint32_t&,
                                                   std::uint32_t& count)
{
    count = 0;
    return kUnavailable;
}
std::uint32_t NullRemoteAccess::rasHangUp(std::uint32_t) { return kUnavailable; }

void NullTrayIcon::setIcon(const QIcon&) {}
void NullTrayIcon::setTipText(const QString&) {}
void NullTrayIcon::showIcon() {}
bool NullTrayIcon::isAvailable() const { return false; }
void NullTrayIcon::setEventHandler(EventHandler) {}

} // namespace pelmora::platform
