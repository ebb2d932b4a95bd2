// The alert as the user hears it: "吠える♪" and "戻す" on the running program, with the real sound
// adapter playing through the PulseAudio fixture's null sink.

#include "tests/alert/AlertProgram.h"
#include "tests/servers/PulseAudioFixture.h"

#include "platform/adapters/SoundEffectMultimedia.h"

#include <QAbstractButton>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using pelmora::platform::Multimedia;

namespace {
struct SoundingProgram : pelmora::tests::AlertProgram {
    // A short bark by default, so that the sound ends many times within a test.
    explicit SoundingProgram(int milliseconds = 300)
    {
        QFile sound(asset(u"Sound/Kouka.wav"_s));
        if (sound.open(QIODevice::WriteOnly | QIODevice::Truncate))
            sound.write(pelmora::tests::toneWave(milliseconds));
        fake.multimedia.passTo = &sound_;
    }
    // Presses the button; answers what the first command string it caused was answered.
    std::uint32_t press(const char* name)
    {
        const qsizetype first = fake.multimedia.results.size();
        window().findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
        return fake.multimedia.results.value(first, 0xFFFF);
    }
    QString mode()
    {
        QString reply;
        sound_.mciSendString(u"status bgm mode"_s, &reply, 255);
        return reply;
    }
    qsizetype sent(const QString& command) const { return fake.log.calls().count(u"mci: "_s + command); }
    bool showsAlertAnimation() const
    {
        return fake.animationPane.currentUrl.endsWith(u"\\画像データ\\ShintyakuMove.gif"_s);
    }
    // Lets the sound watch look `ticks` more times.
    void watch(int ticks)
    {
        QSignalSpy spy(&window().Timer2(), &pelmora::platform::VbTimer::ticked);
        QTRY_VERIFY(spy.size() >= ticks);
    }

    pelmora::platform::SoundEffectMultimedia sound_;
};
} // namespace

class AlertSoundTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { pelmora::tests::connectToPulseAudioFixture(); }

private Q_SLOTS:
    void init() { PELMORA_REQUIRE_SOUND(); }
    void barkingTwiceKeepsOneSoundAndStopBringsRest();
    void theSoundRepeatsUntilStopped();
    void withoutTheLoopFlagEachAlertPlaysOnce();
};

void AlertSoundTest::barkingTwiceKeepsOneSoundAndStopBringsRest()
{
    SoundingProgram program(5000);
    QVERIFY(program.start());
    QCOMPARE(program.press("Command2"), Multimedia::kSuccess); // the open
    QCOMPARE(program.mode(), u"playing"_s);
    QVERIFY(program.showsAlertAnimation());
    QCOMPARE(program.fake.log.withPrefix(u"mci: open"_s),
             QStringList{u"mci: open \""_s + program.asset(u"Sound/Kouka.wav"_s) +
                         u"\" alias bgm"_s});

    // The second bark cannot open a second sound: the alias is taken, one sound plays on.
    QVERIFY(program.press("Command2") != Multimedia::kSuccess);
    QCOMPARE(program.mode(), u"playing"_s);
    QCOMPARE(program.fake.log.withPrefix(u"navigate: "_s).size(), 2);
    QVERIFY(program.showsAlertAnimation());

    // "戻す": silence and the resting dog; the watch then finds nothing to replay.
    program.press("Command3");
    QCOMPARE(program.mode(), QString());
    QVERIFY(program.fake.animationPane.currentUrl.endsWith(u"\\画像データ\\MoveDog.gif"_s));
    const qsizetype replays = program.sent(u"play bgm from 0"_s);
    program.watch(5);
    QCOMPARE(program.sent(u"play bgm from 0"_s), replays);

    // "戻す" while resting: nothing breaks, the resting dog stays.
    program.press("Command3");
    QVERIFY(program.fake.animationPane.currentUrl.endsWith(u"\\画像データ\\MoveDog.gif"_s));
    QVERIFY(!program.fake.processExit.ended);
}

void AlertSoundTest::theSoundRepeatsUntilStopped()
{
    SoundingProgram program;
    QVERIFY(program.start());
    program.press("Command2");
    QTRY_VERIFY_WITH_TIMEOUT(program.sent(u"play bgm from 0"_s) >= 3, 30000);
    QVERIFY(program.window().Timer2().isRunning());
    program.press("Command3");
    const qsizetype replays = program.sent(u"play bgm from 0"_s);
    program.watch(10);
    QCOMPARE(program.sent(u"play bgm from 0"_s), replays);
    QCOMPARE(program.mode(), QString());
}

void AlertSoundTest::withoutTheLoopFlagEachAlertPlaysOnce()
{
    SoundingProgram program;
    QVERIFY(program.start());
    program.window().setCheck1(0);
    for (int alert = 1; alert <= 2; ++alert) {
        program.press("Command2");
        QCOMPARE(program.mode(), u"playing"_s);
        QVERIFY(program.window().Timer2().isRunning());
        // Played to its end, the sound is closed and the watch stops.
        QTRY_VERIFY_WITH_TIMEOUT(!program.window().Timer2().isRunning(), 10000);
        QCOMPARE(program.mode(), QString());
        QCOMPARE(program.sent(u"close bgm"_s), alert);
    }
    QCOMPARE(program.sent(u"play bgm from 0"_s), 0);
    QVERIFY(program.showsAlertAnimation()); // until "戻す"
}

QTEST_MAIN(AlertSoundTest)
#include "alert_sound_test.moc"
