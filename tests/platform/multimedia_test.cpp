// The alert sound's command strings, played for real through the PulseAudio fixture's null sink:
// a sound ends and can be played again, an alias serves one sound at a time, and anything the
// sound cannot be made of fails at once, leaving nothing open.

#include "platform/adapters/SoundEffectMultimedia.h"

#include "tests/servers/PulseAudioFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::Multimedia;
using pelmora::platform::SoundEffectMultimedia;

namespace {
// A sound file in a folder whose name has blanks, Japanese and a quote in it.
struct SoundFolder {
    SoundFolder()
    {
        QDir(dir.path()).mkpath(u"効果 \"音\""_s);
        write(sound, pelmora::tests::toneWave(300));
    }
    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QString file(const QString& name) const { return dir.path() + u"/効果 \"音\"/"_s + name; }

    QTemporaryDir dir;
    QString sound = file(u"Kouka.wav"_s);
};

QString mode(Multimedia& mci, const QString& alias = u"bgm"_s)
{
    QString reply = u"(untouched)"_s;
    mci.mciSendString(u"status "_s + alias + u" mode"_s, &reply, 255);
    return reply;
}
} // namespace

class MultimediaTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { pelmora::tests::connectToPulseAudioFixture(); }

private Q_SLOTS:
    void init() { PELMORA_REQUIRE_SOUND(); }
    void soundEndsAndPlaysAgainFromTheStart();
    void aTakenAliasKeepsItsSoundPlaying();
    void unplayableFilesLeaveNothingOpen();
    void unknownCommandsFailHarmlessly();
};

void MultimediaTest::soundEndsAndPlaysAgainFromTheStart()
{
    SoundFolder folder;
    SoundEffectMultimedia mci;
    QCOMPARE(mode(mci), QString()); // nothing open
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"stopped"_s);
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"playing"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);

    // Played again from the start, it ends again.
    QCOMPARE(mci.mciSendString(u"play bgm from 0"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"playing"_s);
    QTRY_COMPARE_WITH_TIMEOUT(mode(mci), u"stopped"_s, 10000);

    // Stopped by hand while playing; the reply fits the capacity the caller gives.
    QCOMPARE(mci.mciSendString(u"PLAY BGM"_s), Multimedia::kSuccess);
    QString shortReply;
    QCOMPARE(mci.mciSendString(u"status bgm mode"_s, &shortReply, 5), Multimedia::kSuccess);
    QCOMPARE(shortReply, u"play"_s);
    QCOMPARE(mci.mciSendString(u"stop bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"stopped"_s);

    // Closed, the alias is free again and every command on it fails with an empty reply.
    QCOMPARE(mci.mciSendString(u"close bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), QString());
    QVERIFY(mci.mciSendString(u"play bgm"_s) != Multimedia::kSuccess);
    QVERIFY(mci.mciSendString(u"close bgm"_s) != Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias bgm"_s), Multimedia::kSuccess);
}

void MultimediaTest::aTakenAliasKeepsItsSoundPlaying()
{
    SoundFolder folder;
    SoundFolder::write(folder.file(u"long.wav"_s), pelmora::tests::toneWave(4000));
    SoundEffectMultimedia mci;
    const QString openLong = u"open \""_s + folder.file(u"long.wav"_s) + u"\" alias bgm"_s;
    QCOMPARE(mci.mciSendString(openLong), Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);

    // A second alert opens the short sound under the same alias: refused. Its play lets the
    // long sound carry on rather than starting anything new.
    QVERIFY(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias BGM"_s) !=
            Multimedia::kSuccess);
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QTest::qWait(1000); // longer than the short sound, far shorter than the long one
    QCOMPARE(mode(mci), u"playing"_s);

    // It is the alias that is taken, not the file: under another name the short sound opens.
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias other"_s),
             Multimedia::kSuccess);
    QCOMPARE(mode(mci, u"other"_s), u"stopped"_s);
    QCOMPARE(mode(mci), u"playing"_s);
}

void MultimediaTest::unplayableFilesLeaveNothingOpen()
{
    SoundFolder folder;
    const QByteArray good = pelmora::tests::toneWave(300);
    QByteArray noData = good.left(36);
    QByteArray truncated = good.left(good.size() / 2);
    QByteArray adpcm = good;
    adpcm[20] = 2; // a compressed format
    QByteArray noFormat = good;
    noFormat.replace(12, 4, "junk");
    const QList<std::pair<const char*, QByteArray>> broken{
        {"empty.wav", QByteArray()},
        {"garbage.wav", "RIFFgarbage"},
        {"text.wav", "this is a text file, not a sound\n"},
        {"no-data.wav", noData},
        {"truncated.wav", truncated},
        {"adpcm.wav", adpcm},
        {"no-format.wav", noFormat},
    };
    SoundEffectMultimedia mci;
    for (const auto& [name, bytes] : broken) {
        const QString path = folder.file(QString::fromLatin1(name));
        SoundFolder::write(path, bytes);
        QVERIFY2(mci.mciSendString(u"open \""_s + path + u"\" alias bgm"_s) != Multimedia::kSuccess,
                 name);
        QVERIFY2(mode(mci).isEmpty(), name);
    }
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.file(u"missing.wav"_s) + u"\" alias bgm"_s),
             SoundEffectMultimedia::kFileNotFound);
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.dir.path() + u"\" alias bgm"_s),
             SoundEffectMultimedia::kFileNotFound);
    QCOMPARE(mode(mci), QString());
    // The alias was never taken by any of them.
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias bgm"_s), Multimedia::kSuccess);
}

void MultimediaTest::unknownCommandsFailHarmlessly()
{
    SoundFolder folder;
    SoundEffectMultimedia mci;
    QCOMPARE(mci.mciSendString(u"open \""_s + folder.sound + u"\" alias bgm"_s), Multimedia::kSuccess);
    const QString quoted = u"open \""_s + folder.sound;
    for (const QString& command : QStringList{
             u""_s, u"   "_s, u"seek bgm to start"_s, u"play"_s, u"play nothing"_s,
          u"play bgm from"_s, u"play bgm from 500"_s, u"play bgm notify"_s,
          u"status bgm length"_s, u"status bgm"_s, u"stop bgm now"_s,
             quoted + u"\""_s, quoted, quoted + u"\" alias"_s, quoted + u"\" shareable alias x"_s}) {
        QString reply = u"(untouched)"_s;
        QVERIFY2(mci.mciSendString(command, &reply, 255) != Multimedia::kSuccess,
                 qPrintable(command));
        QVERIFY2(reply.isEmpty(), qPrintable(command));
    }
    // The sound that was open is still there and plays.
    QCOMPARE(mode(mci), u"stopped"_s);
    QCOMPARE(mci.mciSendString(u"play bgm"_s), Multimedia::kSuccess);
    QCOMPARE(mode(mci), u"playing"_s);
}

QTEST_MAIN(MultimediaTest)
#include "multimedia_test.moc"
