#include "platform/adapters/system/Utf8Cp932Codec.h"

#include <QTest>

using namespace Qt::StringLiterals;

class AnsiCodecTest : public QObject {
    Q_OBJECT

private slots:
    void fromAnsi_data();
    void fromAnsi();
    void roundTrip_data();
    void roundTrip();

private:
    pelmora::platform::Utf8Cp932Codec m_codec;
};

void AnsiCodecTest::fromAnsi_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << "foo@example.com"_ba << u"foo@example.com"_s;
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("UTF-8") << "\xE6\x9C\xAA\xE8\xA8\xAD\xE5\xAE\x9A"_ba << u"未設定"_s;
    QTest::newRow("CP932 kanji") << "\x96\xA2\x90\xDD\x92\xE8"_ba << u"未設定"_s;
    QTest::newRow("CP932 path, trail bytes 0x5B and 0x5C")
        << "C:\\\x83\x81\x81\x5B\x83\x8B\\\x83\x5C\x83\x74\x83\x67\\Mailer.exe"_ba
        << u"C:\\メール\\ソフト\\Mailer.exe"_s;
    QTest::newRow("CP932 half-width katakana") << "\xB1\xB2\xB3\xDE"_ba << u"ｱｲｳﾞ"_s;
    QTest::newRow("CP932 Microsoft tilde and backslash") << "\x81\x60\x81\x5F"_ba << u"～＼"_s;
    QTest::newRow("CP932 NEC and IBM extensions") << "\x87\x40\xFA\x40"_ba << u"①ⅰ"_s;
    QTest::newRow("CP932 cut after a lead byte") << "ab\x82"_ba << u"ab\uFFFD"_s;
    QTest::newRow("bytes that are no character") << "\x82\x20x\xA0"_ba << u"\uFFFD x\uFFFD"_s;
    // An overlong UTF-8 "/" is no UTF-8; as CP932 it is two half-width katakana.
    QTest::newRow("overlong UTF-8 read as CP932") << "\xC0\xAF"_ba << u"ﾀｯ"_s;
}

void AnsiCodecTest::fromAnsi()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(m_codec.fromAnsi(bytes), text);
}

void AnsiCodecTest::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi");
    QTest::newRow("Japanese") << u"新着メール ３通"_s
                              << "\xE6\x96\xB0\xE7\x9D\x80\xE3\x83\xA1\xE3\x83\xBC\xE3\x83\xAB"
                                 " \xEF\xBC\x93\xE9\x80\x9A"_ba;
    QTest::newRow("path") << u"/home/u/★MailData/ini.ini"_s
                          << "/home/u/\xE2\x98\x85MailData/ini.ini"_ba;
}

void AnsiCodecTest::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    QCOMPARE(m_codec.toAnsi(text), ansi);
    QCOMPARE(m_codec.fromAnsi(ansi), text);
}

QTEST_GUILESS_MAIN(AnsiCodecTest)
#include "ansi_codec_test.moc"
