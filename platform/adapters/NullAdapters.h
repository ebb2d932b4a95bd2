#pragma once

// Adapters that do nothing and answer with each call's failure value. The program is wired with
// them wherever the platform offers no such service (and until a real adapter exists), so every
// caller still runs its documented failure path.

#include "platform/ports/MailLibrary.h"
#include "platform/ports/Multimedia.h"
#include "platform/ports/RemoteAccess.h"
#include "platform/ports/TrayIcon.h"

namespace pelmora::platform {

class NullMailLibrary final : public MailLibrary {
public:
    std::int32_t NMailInitializeWinSock() override;
    std::int32_t NMailSetOption(std::int32_t option, std::int32_t value) override;
    std::int32_t NMailEndWinSock() override;
    std::int32_t NMailPop3Connect(const QByteArray& server) override;
    std::int32_t NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                       const QByteArray& password, std::int32_t apop) override;
    std::int32_t NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number,
                                        MailBuffer& subject, MailBuffer& from, MailBuffer& date,
                                        MailBuffer& header, std::int32_t flag) override;
    std::int32_t NMailPop3GetMailSize(std::int32_t handle, std::int32_t number) override;
    std::int32_t NMailPop3GetMail(std::int32_t handle, std::int32_t number, MailBuffer& subject,
                                  MailBuffer& from, MailBuffer& date, MailBuffer& header,
                                  MailBuffer& body, std::int32_t flag,
                                  std::int32_t reserved) override;
    std::int32_t NMailGetMessage(std::int32_t id, MailBuffer& buffer,
                                 std::int32_t& capacity) override;
    std::int32_t NMailPop3Close(std::int32_t handle) override;
};

class NullMultimedia final : public Multimedia {
public:
    // MCIERR_DEVICE_NOT_INSTALLED: there is no device to act on.
    static constexpr std::uint32_t kNoDevice = 306;
    std::uint32_t mciSendString(const QString& command, QString* reply,
                                std::uint32_t replyCapacity) override;
};

class NullRemoteAccess final : public RemoteAccess {
public:
    // ERROR_NOT_SUPPORTED: no remote-access service on this system.
    static constexpr std::uint32_t kUnavailable = 50;
    std::uint32_t rasEnumConnections(std::span<RasConnection> table, std::uint32_t& bufferSize,
                                     std::uint32_t& count) override;
    std::uint32_t rasHangUp(std::uint32_t handle) override;
};

class NullTrayIcon final : public TrayIcon {
public:
    void setIcon(const QIcon& icon) override;
    void setTipText(const QString& tip) override;
    void showIcon() override;
    bool isAvailable() const override;
    void setEventHandler(EventHandler handler) override;
};

} // namespace pelmora::platform
