#pragma once

#include "platform/ports/Multimedia.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>

namespace pelmora::platform {

class WaveVoice;

// The multimedia command strings, played from wave files decoded into memory through Qt
// Multimedia's QAudioSink (WaveVoice says why not QSoundEffect). Understood:
//   open "<path>" alias <name>     (the path may also stand unquoted when it has no blank)
//   play <name>  /  play <name> from 0
//   stop <name>  /  close <name>
//   status <name> mode             (reply "playing" or "stopped")
// Verbs, keywords and aliases are case-insensitive. An open fails at once, leaving nothing open,
// when the file is missing, is not a PCM wave file Qt can play, is too large to hold in memory,
// when the alias is taken, or when the system has no audio output; everything else then fails
// harmlessly on the unknown alias. "play" on a sound that is playing lets it carry on;
// "play … from 0" starts it again. A sound holds a stream of the sound server only while it
// plays. Every failure answers a nonzero error number and an empty reply.
class AudioSinkMultimedia final : public Multimedia {
public:
    // The error numbers answered.
    static constexpr std::uint32_t kUnrecognizedKeyword = 259;
    static constexpr std::uint32_t kUnrecognizedCommand = 261;
    static constexpr std::uint32_t kInvalidDeviceName = 263;
    static constexpr std::uint32_t kOutOfMemory = 264;
    static constexpr std::uint32_t kMissingParameter = 273;
    static constexpr std::uint32_t kFileNotFound = 275;
    static constexpr std::uint32_t kOutOfRange = 282;
    static constexpr std::uint32_t kDuplicateAlias = 289;
    static constexpr std::uint32_t kNoClosingQuote = 294;
    static constexpr std::uint32_t kInvalidFile = 296;
    static constexpr std::uint32_t kDeviceNotInstalled = 306;

    AudioSinkMultimedia();
    ~AudioSinkMultimedia() override;

    std::uint32_t mciSendString(const QString& command, QString* reply = nullptr,
                                std::uint32_t replyCapacity = 0) override;

private:
    std::uint32_t open(const QString& arguments);
    WaveVoice* device(const QString& alias) const;

    QObject m_sinkOwner; // declared first: it outlives the voices
    std::map<QString, std::unique_ptr<WaveVoice>> m_devices; // by lower-case alias
};

} // namespace pelmora::platform
