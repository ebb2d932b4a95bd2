// Without any audio output (no sound server to reach) the alert sound cannot be opened: the open
// fails at once, so nothing reports a sound that plays for ever.

#include "platform/adapters/multimedia/AudioSinkMultimedia.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::AudioSinkMultimedia;

class MultimediaNoOutputTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nothingOpensWithoutAnAudioOutput()
    {
        QVERIFY2(QMediaDevices::audioOutputs().isEmpty(), "PULSE_SERVER must name no server");
        AudioSinkMultimedia mci;
        QCOMPARE(mci.mciSendString(u"open \""_s + QString::fromUtf8(PELMORA_DIST_DIR) +
                                   u"/Sound/Kouka.wav\" alias bgm"_s),
                 AudioSinkMultimedia::kDeviceNotInstalled);
        QString reply = u"(untouched)"_s;
        QVERIFY(mci.mciSendString(u"status bgm mode"_s, &reply, 255) != 0);
        QCOMPARE(reply, QString());
    }
};

QTEST_MAIN(MultimediaNoOutputTest)
#include "multimedia_no_output_test.moc"
