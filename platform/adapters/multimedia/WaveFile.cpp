#include "platform/adapters/multimedia/WaveFile.h"

#include <QFile>
#include <QtEndian>

namespace pelmora::platform {

namespace {

constexpr quint16 kIntegerPcm = 1;
constexpr quint16 kFloatPcm = 3;
constexpr quint16 kExtensible = 0xFFFE; // the real tag opens the sub-format GUID

QAudioFormat::SampleFormat sampleFormat(quint16 tag, quint16 bits)
{
    if (tag == kIntegerPcm && bits == 8)
        return QAudioFormat::UInt8;
    if (tag == kIntegerPcm && bits == 16)
        return QAudioFormat::Int16;
    if (tag == kIntegerPcm && bits == 32)
        return QAudioFormat::Int32;
    if (tag == kFloatPcm && bits == 32)
        return QAudioFormat::Float;
    return QAudioFormat::Unknown;
}

// The "fmt " chunk's body as an audio format; an invalid format when Qt cannot play it.
QAudioFormat parseFormat(const QByteArray& fmt)
{
    const char* p = fmt.constData();
    quint16 tag = qFromLittleEndian<quint16>(p);
    if (tag == kExtensible) {
        if (fmt.size() < 26)
            return {};
        tag = qFromLittleEndian<quint16>(p + 24);
    }
    const quint16 channels = qFromLittleEndian<quint16>(p + 2);
    const quint32 rate = qFromLittleEndian<quint32>(p + 4);
    const quint16 blockAlign = qFromLittleEndian<quint16>(p + 12);
    const quint16 bits = qFromLittleEndian<quint16>(p + 14);
    const QAudioFormat::SampleFormat sample = sampleFormat(tag, bits);
    // Rates beyond this are no wave a sound server plays; they would only overflow the maths.
    if (sample == QAudioFormat::Unknown || channels == 0 || channels > 8 || rate == 0 ||
        rate > 384000 || blockAlign != channels * (bits / 8))
        return {};
    QAudioFormat format;
    format.setSampleFormat(sample);
    format.setChannelCount(channels);
    format.setSampleRate(int(rate));
    return format;
}

} // namespace

WaveError readWaveFile(const QString& path, WaveSound& sound)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return WaveError::NotPlayable;
    const qint64 size = file.size();
    const auto readAt = [&file](qint64 offset, qint64 length) {
        return file.seek(offset) ? file.read(length) : QByteArray();
    };
    const QByteArray riff = readAt(0, 12);
    if (riff.size() != 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return WaveError::NotPlayable;

    QAudioFormat format;
    qint64 offset = 12;
    while (offset + 8 <= size) {
        const QByteArray header = readAt(offset, 8);
        if (header.size() != 8)
            return WaveError::NotPlayable;
        const QByteArray id = header.left(4);
        const quint32 length = qFromLittleEndian<quint32>(header.constData() + 4);
        const qint64 body = offset + 8;
        if (id == "fmt ") {
            const QByteArray fmt = length >= 16 ? readAt(body, qMin<qint64>(length, 40)) : QByteArray();
            if (fmt.size() < 16)
                return WaveError::NotPlayable;
            format = parseFormat(fmt);
            if (!format.isValid())
                return WaveError::NotPlayable;
        } else if (id == "data") {
            if (!format.isValid() || body + qint64(length) > size)
                return WaveError::NotPlayable;
            if (length > kMaxSampleBytes)
                return WaveError::TooLarge;
            const qint64 frames = length / format.bytesPerFrame();
            if (frames == 0)
                return WaveError::NotPlayable;
            QByteArray samples = readAt(body, frames * format.bytesPerFrame());
            if (samples.size() != frames * format.bytesPerFrame())
                return WaveError::NotPlayable;
            sound = WaveSound{format, std::move(samples)};
            return WaveError::None;
        }
        offset = body + qint64(length) + (length & 1); // chunks are padded to an even size
    }
    return WaveError::NotPlayable;
}

} // namespace pelmora::platform
