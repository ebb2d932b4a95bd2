// The alert sound's command strings, played for real through the PulseAudio fixture's null sink:
// a sound ends and plays again from the start, holding a stream of the server only while it
// plays, waves of every sample format Qt plays are played, and whatever cannot be played fails
// at once, leaving nothing open.

#include "platform/adapters/multimedia/AudioSinkMultimedia.h"
#include "platform/adapters/multimedia/WaveFile.h"

#include "tests/servers/PulseAudioFixture.h"
#include "tests/servers/SoundMonitor.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;
using pelmora::platform::Multimedia;
using pelmora::platform::AudioSinkMultimedia;

namespace {
const QString kSound = QString::fromUtf8(PELMORA_DIST_DIR) + u"/Sound/Kouka.wav"_s;

QString mode(Multimedia& mci)
{
    QString reply = u"(untouched)"_s;
    mci.mciSendString(u"status bgm mode"_s, &reply, 255);
    return reply;
}

int streams()
{
    return pelmora::tests::SoundMonitor::playingStreams();
}

// A wave of a quarter-second tone; `sample` writes one sample of value -1..1 at the end of the
// data.
template <typename WriteSample>
QByteArray tone(quint16 tag, quint16 channels, quint32 rate, quint16 bits, WriteSample sample)
{
    QByteArray data;
    for (quint32 i = 0; i < rate / 4; ++i)
        for (quint16 c = 0; c < channels; ++c)
            sample(data, 0.5 * std::sin(double(i) * 0.1));
    const auto u16 = [](quint16 v) { QByteArray b(2, 0); qToLittleEndian(v, b.data()); return b; };
    const auto u32 = [](quint32 v) { QByteArray b(4, 0); qToLittleEndian(v, b.data()); return b; };
    const quint16 block = quint16(channels * bits / 8);
    return "RIFF" + u32(quint32(36 + data.size())) + "WAVEfmt " + u32(16) + u16(tag) +
           u16(channels) + u32(rate) + u32(rate * block) + u16(block) + u16(bits) + "data" +
           u32(quint32(data.size())) + data;
}
} // namespace

class MultimediaTest : public pelmora::tests::SoundTestCase {
    Q_OBJECT

private Q_SLOTS:
    void soundEndsAndPlaysAgainFromTheStart();
    void everySampleFormatPlays();
    void whatCannotBePlayedLeavesNothingOpen();
};

void MultimediaTest::soundEndsAndPlaysAgainFromTheStart()
{
    // A folder name with a blank, Japanese and a quote in it.
    QTemporaryDir dir;
    const QString path = dir.path() + u"/効果 \"音\".wav"_s;
    QVERIFY(QFile::copy(kSound, path));
    AudioSinkMultimedia mci;
    QCOMPARE(mci.mciSendString(u"open \""_s + path + u"\" alias bgm"_s), Multimedia::kSuccess);
    QCOMPARE(streams(), 0); // opened, it holds no stream yet
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"playing"_s);
    QCOMPARE(streams(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);
    QCOMPARE(mci.mciSendString(u"PLAY BGM FROM 0"_s), Multimedia::kSuccess);
    QString cut;
    mci.mciSendString(u"status bgm mode"_s, &cut, 5); // the reply fits the capacity given
    QCOMPARE(cut, u"play"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);

    // Stopped in the middle, the sound gives its stream back at once.
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"stop bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"stopped"_s);
    QTRY_COMPARE(streams(), 0);

    // Closed, the alias answers nothing and is free for the next alert.
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"close bgm"_s), Multimedia::kSuccess);
    QTRY_COMPARE(streams(), 0);
    QCOMPARE(mode(mci), QString());
    QVERIFY(mci.mciSendString(u"play bgm"_s) != Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"open \""_s + path + u"\" alias bgm"_s), Multimedia::kSuccess);
}

void MultimediaTest::everySampleFormatPlays()
{
    const auto uint8 = [](QByteArray& d, double v) { d += char(quint8(128 + v * 127)); };
    const auto int32 = [](QByteArray& d, double v) {
        QByteArray b(4, 0);
        qToLittleEndian(qint32(v * 2147483647.0), b.data());
        d += b;
    };
    const auto float32 = [](QByteArray& d, double v) {
        QByteArray b(4, 0);
        qToLittleEndian(float(v), b.data());
        d += b;
    };
    QTemporaryDir dir;
    const QList<QByteArray> waves{tone(1, 2, 22050, 8, uint8), tone(1, 1, 48000, 32, int32),
                                  tone(3, 2, 44100, 32, float32)};
    for (const QByteArray& wave : waves) {
        QFile file(dir.filePath(u"tone.wav"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(wave);
        file.close();
        AudioSinkMultimedia mci;
        QCOMPARE(mci.mciSendString(u"open \""_s + file.fileName() + u"\" alias bgm"_s),
                 Multimedia::kSuccess);
        QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
        QCOMPARE(mode(mci), u"playing"_s);
        QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);
    }
}

void MultimediaTest::whatCannotBePlayedLeavesNothingOpen()
{
    QTemporaryDir dir;
    QFile original(kSound);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray good = original.readAll();
    QByteArray compressed = good;
    compressed[20] = 2; // ADPCM
    AudioSinkMultimedia mci;
    for (const QByteArray& bytes : {QByteArray(), QByteArray("RIFFgarbage"), good.left(40),
                                    good.left(good.size() / 2), compressed}) {
        QFile file(dir.filePath(u"broken.wav"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QVERIFY(mci.mciSendString(u"open \""_s + file.fileName() + u"\" alias bgm"_s) != 0);
        QCOMPARE(mode(mci), QString());
    }
    QCOMPARE(mci.mciSendString(u"open \""_s + dir.path() + u"\" alias bgm"_s),
             AudioSinkMultimedia::kFileNotFound);

    // Samples beyond what is kept in memory are refused before they are read (the file is
    // sparse: it takes no room on the disk).
    QByteArray header = good.left(44);
    qToLittleEndian(quint32(pelmora::platform::kMaxSampleBytes + 2), header.data() + 40);
    QFile huge(dir.filePath(u"huge.wav"_s));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    huge.write(header);
    QVERIFY(huge.resize(44 + pelmora::platform::kMaxSampleBytes + 2));
    huge.close();
    QCOMPARE(mci.mciSendString(u"open \""_s + huge.fileName() + u"\" alias bgm"_s),
             AudioSinkMultimedia::kOutOfMemory);

    // Commands it does not know fail with an empty reply and leave the open sound alone.
    QCOMPARE(mci.mciSendString(u"open \""_s + kSound + u"\" alias bgm"_s), Multimedia::kSuccess);
    const QStringList unknown{u""_s, u"seek bgm to start"_s, u"play nothing"_s,
                              u"play bgm from 500"_s, u"status bgm length"_s,
                              u"open \""_s + kSound + u"\""_s};
    for (const QString& command : unknown) {
        QString reply = u"(untouched)"_s;
        QVERIFY2(mci.mciSendString(command, &reply, 255) != 0, qPrintable(command));
        QCOMPARE(reply, QString());
    }
    QCOMPARE(mode(mci), u"stopped"_s);
}

QTEST_MAIN(MultimediaTest)
#include "multimedia_test.moc"
