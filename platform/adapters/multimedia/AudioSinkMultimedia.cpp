#include "platform/adapters/multimedia/AudioSinkMultimedia.h"

#include "platform/adapters/multimedia/WaveVoice.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QRegularExpression>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {

bool is(const QString& word, QLatin1StringView expected)
{
    return word.compare(expected, Qt::CaseInsensitive) == 0;
}

QStringList words(const QString& text)
{
    static const QRegularExpression blanks(u"\\s+"_s);
    return text.split(blanks, Qt::SkipEmptyParts);
}

void writeReply(QString* reply, std::uint32_t capacity, const QString& text)
{
    if (!reply)
        return;
    *reply = capacity > 0 ? text.left(qsizetype(capacity) - 1) : QString();
}

} // namespace

AudioSinkMultimedia::AudioSinkMultimedia() = default;
AudioSinkMultimedia::~AudioSinkMultimedia() = default;

std::uint32_t AudioSinkMultimedia::mciSendString(const QString& command, QString* reply,
                                                 std::uint32_t replyCapacity)
{
    writeReply(reply, replyCapacity, QString());
    const QString trimmed = command.trimmed();
    const QStringList parts = words(trimmed);
    if (parts.isEmpty())
        return kUnrecognizedCommand;
    const QString& verb = parts.first();

    if (is(verb, "open"_L1))
        return open(trimmed.mid(verb.size()).trimmed());

    if (!is(verb, "play"_L1) && !is(verb, "stop"_L1) && !is(verb, "close"_L1) &&
        !is(verb, "status"_L1))
        return kUnrecognizedCommand;
    if (parts.size() < 2)
        return kMissingParameter;
    const QString alias = parts.at(1).toLower();
    WaveVoice* voice = device(alias);
    if (!voice)
        return kInvalidDeviceName;
    const QStringList rest = parts.mid(2);

    if (is(verb, "play"_L1)) {
        bool fromStart = false;
        if (!rest.isEmpty()) {
            if (rest.size() != 2 || !is(rest.at(0), "from"_L1))
                return kUnrecognizedKeyword;
            bool number = false;
            const qlonglong position = rest.at(1).toLongLong(&number);
            if (!number)
                return kUnrecognizedKeyword;
            // Only the beginning is a place to start from: no other position is kept.
            if (position != 0)
                return kOutOfRange;
            fromStart = true;
        }
        if (voice->isPlaying() && !fromStart)
            return kSuccess; // it simply carries on
        voice->playFromStart();
        return kSuccess;
    }
    if (is(verb, "stop"_L1)) {
        if (!rest.isEmpty())
            return kUnrecognizedKeyword;
        voice->stop();
        return kSuccess;
    }
    if (is(verb, "close"_L1)) {
        if (!rest.isEmpty())
            return kUnrecognizedKeyword;
        m_devices.erase(alias);
        return kSuccess;
    }
    // status
    if (rest.size() != 1 || !is(rest.at(0), "mode"_L1))
        return kUnrecognizedKeyword;
    writeReply(reply, replyCapacity, voice->isPlaying() ? u"playing"_s : u"stopped"_s);
    return kSuccess;
}

std::uint32_t AudioSinkMultimedia::open(const QString& arguments)
{
    QString path;
    QString tail;
    if (arguments.startsWith(u'"')) {
        // Nothing after the file name holds a quote, so the last quote closes it: a path may
        // itself contain quotes.
        const qsizetype closing = arguments.lastIndexOf(u'"');
        if (closing == 0)
            return kNoClosingQuote;
        path = arguments.mid(1, closing - 1);
        tail = arguments.mid(closing + 1);
        if (!tail.isEmpty() && !tail.front().isSpace())
            return kUnrecognizedKeyword;
    } else {
        const QStringList parts = words(arguments);
        if (parts.isEmpty())
            return kMissingParameter;
        path = parts.first();
        tail = arguments.mid(path.size());
    }
    if (path.isEmpty())
        return kMissingParameter;

    QString alias;
    const QStringList options = words(tail);
    for (qsizetype i = 0; i < options.size(); i += 2) {
        if (i + 1 >= options.size())
            return kMissingParameter;
        if (is(options.at(i), "alias"_L1) && alias.isEmpty())
            alias = options.at(i + 1).toLower();
        else if (is(options.at(i), "type"_L1) && is(options.at(i + 1), "waveaudio"_L1))
            continue;
        else
            return kUnrecognizedKeyword;
    }
    if (alias.isEmpty())
        return kMissingParameter;
    if (device(alias))
        return kDuplicateAlias;
    if (!QFileInfo(path).isFile())
        return kFileNotFound;
    WaveSound sound;
    switch (readWaveFile(path, sound)) {
    case WaveError::None:
        break;
    case WaveError::TooLarge:
        return kOutOfMemory;
    case WaveError::NotPlayable:
        return kInvalidFile;
    }
    // Without an audio output nothing could ever be heard: the open fails rather than leaving a
    // sound that cannot play.
    if (QMediaDevices::audioOutputs().isEmpty())
        return kDeviceNotInstalled;
    if (!QMediaDevices::defaultAudioOutput().isFormatSupported(sound.format))
        return kInvalidFile;
    m_devices.emplace(alias, std::make_unique<WaveVoice>(std::move(sound), m_sinkOwner));
    return kSuccess;
}

WaveVoice* AudioSinkMultimedia::device(const QString& alias) const
{
    const auto found = m_devices.find(alias.toLower());
    return found == m_devices.end() ? nullptr : found->second.get();
}

} // namespace pelmora::platform
