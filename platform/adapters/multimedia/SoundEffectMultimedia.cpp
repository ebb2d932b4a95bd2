#include "platform/adapters/multimedia/SoundEffectMultimedia.h"

#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QRegularExpression>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>

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

SoundEffectMultimedia::SoundEffectMultimedia() = default;
SoundEffectMultimedia::~SoundEffectMultimedia() = default;

std::uint32_t SoundEffectMultimedia::mciSendString(const QString& command, QString* reply,
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
    QSoundEffect* effect = device(alias);
    if (!effect)
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
            // A wave played through QSoundEffect can only start at its beginning.
            if (position != 0)
                return kOutOfRange;
            fromStart = true;
        }
        if (effect->status() == QSoundEffect::Error)
            return kInvalidFile;
        if (effect->isPlaying() && !fromStart)
            return kSuccess; // it simply carries on
        effect->stop();
        effect->play();
        return kSuccess;
    }
    if (is(verb, "stop"_L1)) {
        if (!rest.isEmpty())
            return kUnrecognizedKeyword;
        effect->stop();
        return kSuccess;
    }
    if (is(verb, "close"_L1)) {
        if (!rest.isEmpty())
            return kUnrecognizedKeyword;
        effect->stop();
        m_devices.erase(alias);
        return kSuccess;
    }
    // status
    if (rest.size() != 1 || !is(rest.at(0), "mode"_L1))
        return kUnrecognizedKeyword;
    writeReply(reply, replyCapacity, effect->isPlaying() ? u"playing"_s : u"stopped"_s);
    return kSuccess;
}

std::uint32_t SoundEffectMultimedia::open(const QString& arguments)
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
    // Qt would keep a broken file "loading" for ever, and without an audio output it would call
    // the sound "playing" for ever: both must fail here, before anything is open.
    if (!isPlayableWave(path))
        return kInvalidFile;
    if (QMediaDevices::audioOutputs().isEmpty())
        return kDeviceNotInstalled;

    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    if (effect->status() == QSoundEffect::Error)
        return kInvalidFile;
    m_devices.emplace(alias, std::move(effect));
    return kSuccess;
}

QSoundEffect* SoundEffectMultimedia::device(const QString& alias) const
{
    const auto found = m_devices.find(alias.toLower());
    return found == m_devices.end() ? nullptr : found->second.get();
}

bool SoundEffectMultimedia::isPlayableWave(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const auto readAt = [&file](qint64 offset, qint64 length) {
        return file.seek(offset) ? file.read(length) : QByteArray();
    };
    const QByteArray riff = readAt(0, 12);
    if (riff.size() != 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return false;

    bool formatOk = false;
    qint64 offset = 12;
    while (offset + 8 <= size) {
        const QByteArray header = readAt(offset, 8);
        if (header.size() != 8)
            return false;
        const QByteArray id = header.left(4);
        const quint32 length = qFromLittleEndian<quint32>(header.constData() + 4);
        const qint64 body = offset + 8;
        if (id == "fmt ") {
            if (length < 16)
                return false;
            const QByteArray fmt = readAt(body, 16);
            if (fmt.size() != 16)
                return false;
            const char* p = fmt.constData();
            quint16 tag = qFromLittleEndian<quint16>(p);
            const quint16 channels = qFromLittleEndian<quint16>(p + 2);
            const quint32 rate = qFromLittleEndian<quint32>(p + 4);
            const quint16 blockAlign = qFromLittleEndian<quint16>(p + 12);
            const quint16 bits = qFromLittleEndian<quint16>(p + 14);
            if (tag == 0xFFFE) { // WAVE_FORMAT_EXTENSIBLE: the real tag opens the sub-format
                if (length < 40)
                    return false;
                const QByteArray extension = readAt(body + 24, 2);
                if (extension.size() != 2)
                    return false;
                tag = qFromLittleEndian<quint16>(extension.constData());
            }
            // Qt's decoder knows integer PCM of these sizes only; it fails on float samples.
            formatOk = tag == 1 && (bits == 8 || bits == 16 || bits == 32) && channels > 0 &&
                       rate > 0 && blockAlign == channels * (bits / 8);
            if (!formatOk)
                return false;
        } else if (id == "data") {
            return formatOk && length > 0 && body + qint64(length) <= size;
        }
        offset = body + qint64(length) + (length & 1); // chunks are padded to an even size
    }
    return false;
}

} // namespace pelmora::platform
