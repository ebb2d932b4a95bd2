#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

namespace pelmora::platform {

// The samples of a wave file, decoded into memory once so that every replay starts from them.
struct WaveSound {
    QAudioFormat format;
    QByteArray samples; // whole frames only

    // How long the samples last, in milliseconds.
    qint64 durationMs() const { return format.durationForBytes(qint32(samples.size())) / 1000; }
};

enum class WaveError { None, NotPlayable, TooLarge };

// Reads a RIFF/WAVE file: a "fmt " chunk with 8-, 16- or 32-bit integer PCM or 32-bit float
// samples, then a non-empty "data" chunk that lies wholly inside the file. Anything else (other
// encodings, 24-bit samples, a truncated file) is NotPlayable; a data chunk above
// kMaxSampleBytes is TooLarge and is never read. The header is walked chunk by chunk, so the
// time taken grows with the file's size at most.
WaveError readWaveFile(const QString& path, WaveSound& sound);

// About six minutes of CD-quality stereo; the alert sound is about 100 KB.
inline constexpr qint64 kMaxSampleBytes = 64 * 1024 * 1024;

} // namespace pelmora::platform
