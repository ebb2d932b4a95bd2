#pragma once

// Sound for the tests: the PulseAudio fixture (tests/servers/pulseaudio-fixture) writes where its
// server listens into the file named by PELMORA_PULSE_INFO. A test class calls
// connectToPulseAudioFixture() from its static initMain(), which QTEST_MAIN runs before anything
// of Qt Multimedia looks for a server; test functions that need sound then begin with
// PELMORA_REQUIRE_SOUND(): without the fixture's server they fail under CI and are skipped
// elsewhere.

#include <QFile>
#include <QString>
#include <QTest>
#include <QtGlobal>

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

// For a test class's cleanupTestCase(). Qt Multimedia reads sound files on a loader thread of its
// own and lets that thread delete each file's reader afterwards; its sample cache stops the
// thread when the process exits. A reader whose deletion is still queued then is never freed, and
// LeakSanitizer reports it (seen once in a few dozen runs when a test ended right after opening a
// file). Giving the loader a moment before the end lets it finish its queue.
inline void letSoundLoaderFinish()
{
    QTest::qWait(300);
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

