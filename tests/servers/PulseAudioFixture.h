#pragma once

// Sound for the tests: the PulseAudio fixture (tests/servers/pulseaudio-fixture) writes where its
// server listens into the file named by PELMORA_PULSE_INFO. A test class derives from
// SoundTestCase, whose static initMain() QTEST_MAIN runs before anything of Qt Multimedia looks
// for a server; each test function then needs that server: without it the functions fail under
// CI and are skipped elsewhere.

#include <QFile>
#include <QString>
#include <QTest>
#include <QtGlobal>

namespace pelmora::tests {

// The source that hears everything the fixture's server plays (its null sink's monitor).
inline QString& soundMonitorSource()
{
    static QString source;
    return source;
}

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
        else if (line.startsWith(QStringLiteral("MONITOR=")))
            soundMonitorSource() = line.mid(8);
    }
    if (status != QStringLiteral("ready") || server.isEmpty()) {
        soundUnavailableReason() = QStringLiteral("PulseAudio unavailable: %1").arg(reason);
        return;
    }
    qputenv("PULSE_SERVER", server.toUtf8());
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

namespace pelmora::tests {

// The base of a test class that plays real sound: it connects to the fixture's server before Qt
// Multimedia starts, and each test function needs that server.
class SoundTestCase : public QObject {
    Q_OBJECT
public:
    static void initMain() { connectToPulseAudioFixture(); }

private Q_SLOTS:
    void init() { PELMORA_REQUIRE_SOUND(); }
    // Qt Multimedia reads sound files on a loader thread of its own and lets that thread delete
    // each file's reader afterwards; its sample cache stops the thread when the process exits. A
    // reader whose deletion is still queued then is never freed, and LeakSanitizer reports it
    // (about one run in 25 when a test ended right after opening a file). Giving the loader a
    // moment before the end lets it finish its queue.
    void cleanupTestCase() { QTest::qWait(300); }
};

} // namespace pelmora::tests
