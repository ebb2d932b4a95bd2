// Without any audio output (no sound server to reach), the alert sound cannot be opened: the
// open fails at once and nothing reports a sound that plays for ever.

#include "platform/adapters/SoundEffectMultimedia.h"

#include "tests/servers/PulseAudioFixture.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::Multimedia;
using pelmora::platform::SoundEffectMultimedia;

class MultimediaNoOutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nothingOpensWithoutAnAudioOutput();
};

void MultimediaNoOutputTest::nothingOpensWithoutAnAudioOutput()
{
    QVERIFY2(QMediaDevices::audioOutputs().isEmpty(),
             "this test runs with PULSE_SERVER naming no server");
    QTemporaryDir dir;
    QFile file(dir.filePath(u"Kouka.wav"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(pelmora::tests::toneWave(300));
    file.close();

    SoundEffectMultimedia mci;
    QCOMPARE(mci.mciSendString(u"open \""_s + file.fileName() + u"\" alias bgm"_s),
             SoundEffectMultimedia::kDeviceNotInstalled);
    QVERIFY(mci.mciSendString(u"play bgm"_s) != Multimedia::kSuccess);
    QString reply = u"(untouched)"_s;
    QVERIFY(mci.mciSendString(u"status bgm mode"_s, &reply, 255) != Multimedia::kSuccess);
    QCOMPARE(reply, QString());
}

QTEST_MAIN(MultimediaNoOutputTest)
#include "multimedia_no_output_test.moc"
