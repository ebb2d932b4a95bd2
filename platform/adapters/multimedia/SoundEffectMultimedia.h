#pragma once

#include "platform/ports/Multimedia.h"

#include <QString>

#include <map>
#include <memory>

class QSoundEffect;

namespace pelmora::platform {

// The multimedia command strings, played with Qt Multimedia's QSoundEffect. Understood:
//   open "<path>" alias <name>     (the path may also stand unquoted when it has no blank)
//   play <name>  /  play <name> from 0
//   stop <name>  /  close <name>
//   status <name> mode             (reply "playing" or "stopped")
// Verbs, keywords and aliases are case-insensitive. An open fails at once, leaving nothing open,
// when the file is missing, is not a PCM wave file Qt can play, when the alias is taken, or when
// the system has no audio output; everything else then fails harmlessly on the unknown alias.
// "play" on a sound that is playing lets it carry on; "play … from 0" starts it again.
// Every failure answers a nonzero error number and an empty reply.
class SoundEffectMultimedia final : public Multimedia {
public:
    // The error numbers answered.
    static constexpr std::uint32_t kUnrecognizedKeyword = 259;
    static constexpr std::uint32_t kUnrecognizedCommand = 261;
    static constexpr std::uint32_t kInvalidDeviceName = 263;
    static constexpr std::uint32_t kMissingParameter = 273;
    static constexpr std::uint32_t kFileNotFound = 275;
    static constexpr std::uint32_t kOutOfRange = 282;
    static constexpr std::uint32_t kDuplicateAlias = 289;
    static constexpr std::uint32_t kNoClosingQuote = 294;
    static constexpr std::uint32_t kInvalidFile = 296;
    static constexpr std::uint32_t kDeviceNotInstalled = 306;

    SoundEffectMultimedia();
    ~SoundEffectMultimedia() override;

    std::uint32_t mciSendString(const QString& command, QString* reply = nullptr,
                                std::uint32_t replyCapacity = 0) override;

    // Whether `path` names a wave file whose header promises sound Qt can play: RIFF/WAVE, a
    // "fmt " chunk with 8-, 16- or 32-bit integer PCM samples, then a non-empty "data" chunk
    // that lies wholly inside the file.
    static bool isPlayableWave(const QString& path);

private:
    std::uint32_t open(const QString& arguments);
    QSoundEffect* device(const QString& alias) const;

    std::map<QString, std::unique_ptr<QSoundEffect>> m_devices; // by lower-case alias
};

} // namespace pelmora::platform
