// The alert as the user hears it: "吠える♪" and "戻す" on the running program, with the real sound
// adapter playing through the PulseAudio fixture's null sink.

#include "tests/alert/AlertProgram.h"
#include "tests/servers/PulseAudioFixture.h"
#include "tests/servers/SoundMonitor.h"

#include "platform/adapters/multimedia/AudioSinkMultimedia.h"

#include <QAbstractButton>

using namespace Qt::StringLiterals;
using pelmora::platform::Multimedia;

namespace {
struct SoundingProgram : pelmora::tests::AlertProgram {
    SoundingProgram() { fake.multimedia.passTo = &sound; }
    // Presses the button; answers the answer to the first command string it sent.
    std::uint32_t press(const char* name)
    {
        const qsizetype first = fake.multimedia.results.size();
        window().findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
        return fake.multimedia.results.value(first, 0xFFFF);
    }
    QString mode()
    {
        QString reply;
        sound.mciSendString(u"status bgm mode"_s, &reply, 255);
        return reply;
    }
    qsizetype replays() const { return fake.log.calls().count(u"mci: play bgm from 0"_s); }
    bool alerting() const { return fake.animationPane.currentUrl.endsWith(u"ShintyakuMove.gif"_s); }

    pelmora::platform::AudioSinkMultimedia sound;
};
} // namespace

class AlertSoundTest : public pelmora::tests::SoundTestCase {
    Q_OBJECT

private Q_SLOTS:
    void barkingTwiceKeepsOneSoundAndStopBringsRest();
    void theBarkIsHeardUntilStopped();
    void withoutTheLoopFlagEachAlertPlaysOnce();
};

void AlertSoundTest::barkingTwiceKeepsOneSoundAndStopBringsRest()
{
    SoundingProgram program;
    QVERIFY(program.start());
    QCOMPARE(program.press("Command2"), Multimedia::kSuccess); // the open
    QCOMPARE(program.mode(), u"playing"_s);
    QCOMPARE(program.fake.log.calls().first(),
             u"mci: open \""_s + program.asset(u"Sound/Kouka.wav"_s) + u"\" alias bgm"_s);

    // The second bark cannot open a second sound: the alias is taken, the first plays on.
    QVERIFY(program.press("Command2") != Multimedia::kSuccess);
    QCOMPARE(program.mode(), u"playing"_s);
    QCOMPARE(program.fake.log.withPrefix(u"navigate: "_s).size(), 2);
    QVERIFY(program.alerting());

    // "戻す": silence and the resting dog; "戻す" again changes nothing.
    for (int press = 0; press < 2; ++press) {
        program.press("Command3");
        QCOMPARE(program.mode(), QString());
        QVERIFY(program.fake.animationPane.currentUrl.endsWith(u"MoveDog.gif"_s));
    }
    // Nothing open is left to watch: the watch rests, and nothing plays again.
    QVERIFY(!program.window().soundWatchTimer().isRunning());
    QTest::qWait(500);
    QCOMPARE(program.replays(), 0);
    QVERIFY(!program.fake.processExit.ended);
}

void AlertSoundTest::theBarkIsHeardUntilStopped()
{
    // Loudness (root mean square) of a stretch with some bark in it, and of silence: the bark
    // peaks near full scale and a 2-second stretch of it measures about 2000; nothing playing
    // records as zeros.
    constexpr double kHeard = 300;
    constexpr double kSilent = 30;
    constexpr int kListenSeconds = 60;
    SoundingProgram program;
    QVERIFY(program.start());
    pelmora::tests::SoundMonitor monitor;
    QVERIFY(monitor.start());

    const double barked = monitor.seconds();
    program.press("Command2");
    QTRY_VERIFY_WITH_TIMEOUT(monitor.seconds() >= barked + kListenSeconds,
                             (kListenSeconds + 30) * 1000);
    for (double from = barked; from < barked + kListenSeconds; from += 2) {
        const double loudness = monitor.rms(from, from + 2);
        QVERIFY2(loudness > kHeard, qPrintable(u"nothing heard %1 s after the bark started (%2)"_s
                                                   .arg(from - barked)
                                                   .arg(loudness)));
    }

    const double stopped = monitor.seconds();
    program.press("Command3");
    QTRY_VERIFY_WITH_TIMEOUT(monitor.seconds() >= stopped + 3, 10000);
    QVERIFY2(monitor.rms(stopped + 1, stopped + 3) < kSilent,
             qPrintable(QString::number(monitor.rms(stopped + 1, stopped + 3))));
    QCOMPARE(program.mode(), QString());
}

void AlertSoundTest::withoutTheLoopFlagEachAlertPlaysOnce()
{
    SoundingProgram program;
    QVERIFY(program.start());
    program.window().setSoundLoopFlag(0);
    for (int alert = 1; alert <= 2; ++alert) {
        program.press("Command2");
        QCOMPARE(program.mode(), u"playing"_s);
        // Played to its end, the sound is closed and the watch stops.
        QTRY_VERIFY_WITH_TIMEOUT(!program.window().soundWatchTimer().isRunning(), 10000);
        QCOMPARE(program.mode(), QString());
        QCOMPARE(program.fake.log.calls().count(u"mci: close bgm"_s), alert);
    }
    QCOMPARE(program.replays(), 0);
    QVERIFY(program.alerting()); // until "戻す"
}

QTEST_MAIN(AlertSoundTest)
#include "alert_sound_test.moc"
