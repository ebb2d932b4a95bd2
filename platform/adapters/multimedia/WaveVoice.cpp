#include "platform/adapters/multimedia/WaveVoice.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

namespace pelmora::platform {

namespace {
// Often enough to keep a buffer of the server's default size (about a tenth of a second) full.
constexpr int kFeedIntervalMs = 20;
// A play whose samples the server will not take (a stalled server) counts as ended this long
// after it should have ended, so the next play gets a fresh stream. A sink that sleeps through
// its latency before it reads a new stream (PulseAudio's null sink waits up to 2 s) is slow, not
// stalled.
constexpr qint64 kStallGraceMs = 5000;
} // namespace

WaveVoice::WaveVoice(WaveSound sound, QObject& sinkOwner)
    : m_sound(std::move(sound)), m_sinkOwner(sinkOwner)
{
    m_feeder.setInterval(kFeedIntervalMs);
    QObject::connect(&m_feeder, &QTimer::timeout, [this] { feed(); });
}

WaveVoice::~WaveVoice()
{
    releaseSink();
}

void WaveVoice::playFromStart()
{
    releaseSink();
    m_sink = new QAudioSink(QMediaDevices::defaultAudioOutput(), m_sound.format, &m_sinkOwner);
    m_input = m_sink->start();
    m_written = 0;
    m_clock.start();
    if (!m_input)
        return; // the sink is stopped with its error: the play has ended
    feed();
    m_feeder.start();
}

void WaveVoice::stop()
{
    releaseSink();
}

bool WaveVoice::isPlaying() const
{
    if (!m_sink || m_sink->state() == QAudio::StoppedState)
        return false;
    const qint64 elapsed = m_clock.elapsed();
    const qint64 duration = m_sound.durationMs();
    if (elapsed >= duration + kStallGraceMs)
        return false;
    // The server may report the end late (a sink with a long latency drains slowly); by the
    // clock the sound has been heard once its duration has passed after a complete write.
    const bool allWritten = m_written == m_sound.samples.size();
    return !(allWritten && (m_sink->state() == QAudio::IdleState || elapsed >= duration));
}

void WaveVoice::feed()
{
    if (!m_sink || !m_input || m_written == m_sound.samples.size() ||
        m_sink->state() == QAudio::StoppedState) {
        m_feeder.stop();
        return;
    }
    const qsizetype room = qMin<qsizetype>(m_sink->bytesFree(), m_sound.samples.size() - m_written);
    if (room <= 0)
        return;
    const qint64 taken = m_input->write(m_sound.samples.constData() + m_written, room);
    if (taken > 0)
        m_written += taken;
}

void WaveVoice::releaseSink()
{
    m_feeder.stop();
    m_input = nullptr;
    if (!m_sink)
        return;
    // stop() closes the stream at once. Deleting the sink waits for the event loop: Qt's
    // PulseAudio sink dispatches events while it is destroyed, which must not happen in the
    // middle of a command (a click dispatched there could close this very voice).
    m_sink->stop();
    m_sink->deleteLater();
    m_sink = nullptr;
}

} // namespace pelmora::platform
