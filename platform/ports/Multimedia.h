#pragma once

#include <QString>

#include <cstdint>

namespace pelmora::platform {

// The multimedia command-string interface (mciSendStringA): "open \"<path>\" alias bgm",
// "play bgm", "play bgm from 0", "status bgm mode", "stop bgm", "close bgm".
class Multimedia {
public:
    static constexpr std::uint32_t kSuccess = 0;

    virtual ~Multimedia() = default;
    // Answers 0 on success, an error number otherwise. A command with a reply writes at most
    // `replyCapacity` - 1 characters of it into `reply`.
    virtual std::uint32_t mciSendString(const QString& command, QString* reply = nullptr,
                                        std::uint32_t replyCapacity = 0) = 0;
};

} // namespace pelmora::platform
