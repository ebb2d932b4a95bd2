#pragma once

// What reaches the sound server, as a listener would hear it: records the PulseAudio fixture's
// monitor source with parec (8 kHz mono, 16-bit) while the test's event loop runs, and counts
// this process's streams playing into the server with pactl.

#include "tests/servers/PulseAudioFixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtEndian>

#include <cmath>

namespace pelmora::tests {

class SoundMonitor {
public:
    static constexpr int kRate = 8000;

    SoundMonitor()
    {
        QObject::connect(&m_parec, &QProcess::readyReadStandardOutput,
                         [this] { m_bytes += m_parec.readAllStandardOutput(); });
    }
    ~SoundMonitor()
    {
        m_parec.kill(); // our own child, by its own handle
        m_parec.waitForFinished(5000);
    }

    // Starts recording; true once the first sound (silence counts) has arrived.
    [[nodiscard]] bool start()
    {
        // A short latency: the server then hands over what it plays as it plays it.
        m_parec.start(QStringLiteral("parec"),
                      {QStringLiteral("--device=") + soundMonitorSource(),
                       QStringLiteral("--latency-msec=20"), QStringLiteral("--raw"),
                       QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                       QStringLiteral("--rate=%1").arg(kRate)});
        return m_parec.waitForStarted(5000) && QTest::qWaitFor([this] { return seconds() > 0.1; });
    }
    // How many streams this test process plays into the server now (its sink inputs), by asking
    // the server. Other tests may play into the same server at the same time; their streams
    // carry their own process ids and are not counted.
    static int playingStreams()
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
        if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
            return -1;
        const QByteArray ours =
            "application.process.id = \"" + QByteArray::number(QCoreApplication::applicationPid())
            + '"';
        int count = 0;
        for (const QByteArray& line : pactl.readAllStandardOutput().split('\n'))
            count += line.trimmed() == ours;
        return count;
    }
    // How much has been recorded, in seconds.
    double seconds() const { return double(m_bytes.size() / 2) / kRate; }
    // The root mean square of the samples between two times of the recording, in sample units
    // (full scale 32768).
    double rms(double from, double to) const
    {
        const qsizetype first = qsizetype(from * kRate);
        const qsizetype last = qMin(qsizetype(to * kRate), qsizetype(m_bytes.size() / 2));
        double sum = 0;
        for (qsizetype i = first; i < last; ++i) {
            const double sample = qFromLittleEndian<qint16>(m_bytes.constData() + 2 * i);
            sum += sample * sample;
        }
        return last > first ? std::sqrt(sum / double(last - first)) : 0.0;
    }

private:
    QProcess m_parec;
    QByteArray m_bytes;
};

} // namespace pelmora::tests
