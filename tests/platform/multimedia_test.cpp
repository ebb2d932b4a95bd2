// The alert sound's command strings, played for real through the PulseAudio fixture's null sink:
// a sound ends and plays again from the start, and whatever cannot be played fails at once,
// leaving nothing open.

#include "platform/adapters/AudioSinkMultimedia.h"

#include "tests/servers/PulseAudioFixture.h"

#include <QTemporaryDir>
#include <QTest>

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
} // namespace

class MultimediaTest : public pelmora::tests::SoundTestCase {
    Q_OBJECT

private Q_SLOTS:
    void soundEndsAndPlaysAgainFromTheStart();
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
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"playing"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);
    QCOMPARE(mci.mciSendString(u"PLAY BGM FROM 0"_s), Multimedia::kSuccess);
    QString cut;
    mci.mciSendString(u"status bgm mode"_s, &cut, 5); // the reply fits the capacity given
    QCOMPARE(cut, u"play"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);

    // Closed, the alias answers nothing and is free for the next alert.
    QCOMPARE(mci.mciSendString(u"close bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), QString());
    QVERIFY(mci.mciSendString(u"play bgm"_s) != Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"open \""_s + path + u"\" alias bgm"_s), Multimedia::kSuccess);
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
