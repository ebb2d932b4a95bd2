#pragma once

#include "platform/adapters/multimedia/WaveFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAudioSink;
class QIODevice;

namespace pelmora::platform {

// One opened sound, played from memory through a QAudioSink of its own for each play.
//
// Qt Multimedia 6.4's PulseAudio sink must not be started twice: every start asks the server for
// the latency the previous stream ended up with, so the buffer shrinks with each replay until the
// sink never writes enough to get past the server's pre-buffering; from then on the stream stays
// silent and the sink reports itself active for ever. (QSoundEffect restarts one sink that way,
// and went silent after four plays of the alert.) A fresh sink per play starts from the server's
// default every time. The samples are pushed in as much as the server accepts at once, for the
// same reason: a sink that pulls them in fixed 20 ms pieces can still stop short of the
// pre-buffering amount.
class WaveVoice {
public:
    // `sinkOwner` outlives the voice and deletes the sinks whose deferred deletion never ran.
    WaveVoice(WaveSound sound, QObject& sinkOwner);
    ~WaveVoice();
    WaveVoice(const WaveVoice&) = delete;
    WaveVoice& operator=(const WaveVoice&) = delete;

    // Plays from the first sample, ending any play still running.
    void playFromStart();
    // Ends the play and gives the stream back to the sound server.
    void stop();
    // Whether a play runs: it ends when its last sample has had time to be heard, when the sound
    // server has played everything written, or when the server fails.
    bool isPlaying() const;

private:
    void feed();
    void releaseSink();

    WaveSound m_sound;
    QObject& m_sinkOwner;
    QPointer<QAudioSink> m_sink;
    QIODevice* m_input = nullptr; // owned by m_sink
    qsizetype m_written = 0;
    QElapsedTimer m_clock; // since the play started
    QTimer m_feeder;
};

} // namespace pelmora::platform
