#pragma once

// Sound for the tests: the PulseAudio fixture (tests/servers/pulseaudio-fixture) writes where its
// server listens into the file named by PELMORA_PULSE_INFO. A test class calls
// connectToPulseAudioFixture() from its static initMain(), which QTEST_MAIN runs before anything
// of Qt Multimedia looks for a server; test functions that need sound then begin with
// PELMORA_REQUIRE_SOUND(): without the fixture's server they fail under CI and are skipped
// elsewhere.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>
#include <QtGlobal>

#include <cmath>

namespace pelmora::tests {

// Empty while the fixture's server is in use; otherwise why not.
inline QString& soundUnavailableReason()
{
    static QString reason;
    return reason;
}

inline void connectToPulseAudioFixture()
{
    const QString path = qEnvironmentVariable("PELMORA_PULSE_INFO");
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        soundUnavailableReason() =
            QStringLiteral("no PulseAudio fixture information at '%1'").arg(path);
        return;
    }
    QString status, server, reason;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("STATUS=")))
            status = line.mid(7);
        else if (line.startsWith(QStringLiteral("PULSE_SERVER=")))
            server = line.mid(13);
        else if (line.startsWith(QStringLiteral("REASON=")))
            reason = line.mid(7);
    }
    if (status != QStringLiteral("ready") || server.isEmpty()) {
        soundUnavailableReason() = QStringLiteral("PulseAudio unavailable: %1").arg(reason);
        return;
    }
    qputenv("PULSE_SERVER", server.toUtf8());
}

// A short wave file: a quiet 440 Hz tone, 16-bit PCM mono at 22050 Hz.
inline QByteArray toneWave(int milliseconds)
{
    constexpr quint32 rate = 22050;
    const quint32 samples = rate * quint32(milliseconds) / 1000;
    QByteArray data(qsizetype(samples) * 2, Qt::Uninitialized);
    for (quint32 i = 0; i < samples; ++i) {
        const auto value = qint16(3000 * std::sin(2 * M_PI * 440 * double(i) / rate));
        qToLittleEndian(value, data.data() + 2 * i);
    }
    QByteArray wave;
    const auto add32 = [&wave](quint32 v) { char b[4]; qToLittleEndian(v, b); wave.append(b, 4); };
    const auto add16 = [&wave](quint16 v) { char b[2]; qToLittleEndian(v, b); wave.append(b, 2); };
    wave.append("RIFF");
    add32(quint32(36 + data.size()));
    wave.append("WAVEfmt ");
    add32(16);
    add16(1);        // PCM
    add16(1);        // mono
    add32(rate);
    add32(rate * 2); // bytes per second
    add16(2);        // bytes per sample frame
    add16(16);       // bits per sample
    wave.append("data");
    add32(quint32(data.size()));
    return wave + data;
}

} // namespace pelmora::tests

#define PELMORA_REQUIRE_SOUND()                                                                    \
    do {                                                                                           \
        const QString& reason_ = pelmora::tests::soundUnavailableReason();                         \
        if (!reason_.isEmpty()) {                                                                  \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable(reason_));                                                        \
            QSKIP(qPrintable(reason_));                                                            \
        }                                                                                          \
    } while (false)

