// The settings store on real files: profile keys through the profile engine, vbmail.ini, and the
// numeric reading of texts. Covers hand-edited and carried-over (Shift-JIS) files.

#include "settings/ServerSettingsFile.h"
#include "settings/SettingsStore.h"
#include "settings/TextValue.h"

#include "tests/fakes/FakeProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::fakes::FakeProgramFolder;
using pelmora::settings::ProfileFile;
using pelmora::settings::ProgramValues;
using pelmora::settings::ServerSettingsFile;
using pelmora::settings::SettingsStore;
using pelmora::settings::TextValue;

namespace {
// "未設定" and a Windows path with Japanese characters, as CP932 (Shift-JIS) bytes.
const QByteArray kNotSetSjis = "\x96\xa2\x90\xdd\x92\xe8";
const QByteArray kMailerPathSjis = "C:\\\x83\x81\x81\x5b\x83\x8b\\Mailer.exe"; // C:\メール\Mailer.exe
} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textValueReadsTheLeadingNumber_data();
    void textValueReadsTheLeadingNumber();
    void roundingIsHalfToEvenAndClamped();

    void missingDataFolderGivesDefaultsAndCreatesNothing();
    void readsKeysWrittenByHand_data();
    void readsKeysWrittenByHand();
    void emptyTextValueGivesTheValueWhenEmpty();
    void longTextValueIsCutTo255BytesAtACharacterBoundary();
    void shiftJisFileFromWindowsReadsCorrectly();
    void japanesePathSurvivesWriteAndRead();
    void newProfileFileHasWindowsLayoutAndOwnerOnlyMode();
    void savingThePasswordMakesTheAccountFileOwnerOnly();

    void missingOrEmptyServerFileChangesNothing();
    void serverFileLinesAreMatchedExactly();
    void serverFileValuesAreCutTo100Characters();
    void serverFileAcceptsAnyLineEnd();
    void apopLineIsReadAsANumber_data();
    void apopLineIsReadAsANumber();
    void savedServerFileIsFourCrLfLinesAndLoadsBack();
    void serverFileSaveIsAtomicAndOwnerOnly();
    void shiftJisServerFileReadsCorrectly();
};

void SettingsStoreTest::textValueReadsTheLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("digits") << u"15"_s << 15.0;
    QTest::newRow("leading zeros") << u"007"_s << 7.0;
    QTest::newRow("unit after the number") << u"15分"_s << 15.0;
    QTest::newRow("letters after the number") << u"5abc"_s << 5.0;
    QTest::newRow("letters only") << u"abc"_s << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("leading blanks") << u"  \t12"_s << 12.0;
    QTest::newRow("fraction kept") << u"1.5"_s << 1.5;
    QTest::newRow("fraction only") << u".5"_s << 0.5;
    QTest::newRow("negative") << u"-3"_s << -3.0;
    QTest::newRow("plus sign") << u"+4"_s << 4.0;
    QTest::newRow("sign alone") << u"-"_s << 0.0;
    QTest::newRow("blank inside ends the number") << u"1 2"_s << 1.0;
    QTest::newRow("full-width digits are not digits") << u"１５"_s << 0.0;
    QTest::newRow("huge") << u"99999999999999999999"_s << 1e20;
}

void SettingsStoreTest::textValueReadsTheLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(TextValue(text), value);
}

void SettingsStoreTest::roundingIsHalfToEvenAndClamped()
{
    using pelmora::settings::roundToInt16;
    using pelmora::settings::roundToInt32;
    QCOMPARE(roundToInt32(1.5), 2);
    QCOMPARE(roundToInt32(2.5), 2);
    QCOMPARE(roundToInt32(-0.5), 0);
    QCOMPARE(roundToInt32(1e20), std::numeric_limits<int>::max());
    QCOMPARE(roundToInt16(70000.0), std::numeric_limits<short>::max());
    QCOMPARE(roundToInt16(-70000.0), std::numeric_limits<short>::min());
}

void SettingsStoreTest::missingDataFolderGivesDefaultsAndCreatesNothing()
{
    FakeProgramFolder fake(FakeProgramFolder::DataFolder::Missing);
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());

    QCOMPARE(store.readNumber(ProfileFile::Main, "NUMBER2"), 0);
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", u"未設定"_s), u"未設定"_s);
    QCOMPARE(store.readText(ProfileFile::Account, "NAME", QString()), QString());

    store.writeKey(ProfileFile::Main, "NAME", u"/usr/bin/thunderbird"_s);
    store.writeFlag(ProfileFile::Account, "NAME3", true);
    QVERIFY(!QFileInfo::exists(fake.dataFolder()));
    QCOMPARE(QDir(fake.programFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
}

void SettingsStoreTest::readsKeysWrittenByHand_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("number2");
    QTest::addColumn<QString>("name");

    QTest::newRow("windows layout") << QByteArray("[EXEINI]\r\nNUMBER2=15\r\nNAME=/usr/bin/mutt\r\n")
                                    << 15 << u"/usr/bin/mutt"_s;
    QTest::newRow("spaces around = and value")
        << QByteArray("[EXEINI]\r\n  NUMBER2 =  7  \r\nNAME =  /usr/bin/mutt  \r\n") << 7
        << u"/usr/bin/mutt"_s;
    QTest::newRow("quoted value") << QByteArray("[EXEINI]\r\nNAME=\"/opt/My Mail/mail\"\r\n") << 0
                                  << u"/opt/My Mail/mail"_s;
    QTest::newRow("lower-case section and keys")
        << QByteArray("[exeini]\r\nnumber2=3\r\nname=x\r\n") << 3 << u"x"_s;
    QTest::newRow("duplicate keys: the first wins")
        << QByteArray("[EXEINI]\r\nNUMBER2=1\r\nNUMBER2=2\r\nNAME=a\r\nNAME=b\r\n") << 1 << u"a"_s;
    QTest::newRow("CR-only line ends") << QByteArray("[EXEINI]\rNUMBER2=9\rNAME=cr\r") << 9
                                       << u"cr"_s;
    QTest::newRow("LF line ends") << QByteArray("[EXEINI]\nNUMBER2=9\nNAME=lf\n") << 9 << u"lf"_s;
    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xEF\xBB\xBF[EXEINI]\r\nNUMBER2=4\r\nNAME=bom\r\n") << 4 << u"bom"_s;
    QTest::newRow("number that is not a number")
        << QByteArray("[EXEINI]\r\nNUMBER2=abc\r\n") << 0 << u"未設定"_s;
    QTest::newRow("number followed by text") << QByteArray("[EXEINI]\r\nNUMBER2=5abc\r\n") << 5
                                             << u"未設定"_s;
    QTest::newRow("key in another section only")
        << QByteArray("[OTHER]\r\nNUMBER2=5\r\nNAME=x\r\n") << 0 << u"未設定"_s;
    QTest::newRow("garbage lines") << QByteArray("junk\r\n[EXEINI]\r\n;comment\r\n=x\r\nNUMBER2=8\r\n")
                                   << 8 << u"未設定"_s;
}

void SettingsStoreTest::readsKeysWrittenByHand()
{
    QFETCH(QByteArray, file);
    QFETCH(int, number2);
    QFETCH(QString, name);

    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.mainProfile(), file);
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    QCOMPARE(store.readNumber(ProfileFile::Main, "NUMBER2"), number2);
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", u"未設定"_s), name);
}

void SettingsStoreTest::emptyTextValueGivesTheValueWhenEmpty()
{
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.mainProfile(), "[EXEINI]\r\nNAME=\r\n");
    FakeProgramFolder::writeFile(fake.accountProfile(), "[EXEINI]\r\nNAME=\r\nNAME2=\r\n");
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", u"未設定"_s), u"未設定"_s);
    QCOMPARE(store.readText(ProfileFile::Account, "NAME2", QString()), QString());
}

void SettingsStoreTest::longTextValueIsCutTo255BytesAtACharacterBoundary()
{
    FakeProgramFolder fake;
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());

    const QString ascii(300, u'a');
    store.writeKey(ProfileFile::Main, "NAME", ascii);
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", QString()), QString(255, u'a'));

    // 100 × "あ" is 300 bytes of UTF-8: 85 whole characters fit in 255 bytes.
    const QString japanese(100, u'あ');
    store.writeKey(ProfileFile::Main, "NAME", japanese);
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", QString()), QString(85, u'あ'));
}

void SettingsStoreTest::shiftJisFileFromWindowsReadsCorrectly()
{
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNAME=" + kMailerPathSjis + "\r\nNUMBER3=1\r\n");
    FakeProgramFolder::writeFile(fake.accountProfile(),
                            "[EXEINI]\r\nNAME=" + kNotSetSjis + "\r\nNAME2=\x83\x70\x83\x58\r\n");
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", u"未設定"_s), u"C:\\メール\\Mailer.exe"_s);
    QCOMPARE(store.readText(ProfileFile::Account, "NAME", QString()), u"未設定"_s);
    QCOMPARE(store.readText(ProfileFile::Account, "NAME2", QString()), u"パス"_s);
    QCOMPARE(store.readNumber(ProfileFile::Main, "NUMBER3"), 1);
}

void SettingsStoreTest::japanesePathSurvivesWriteAndRead()
{
    FakeProgramFolder fake;
    // Written back into a file that still holds other Shift-JIS text from Windows.
    FakeProgramFolder::writeFile(fake.mainProfile(), "[EXEINI]\r\nNAME=" + kMailerPathSjis + "\r\n");
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    const QString path = u"/home/花子/メール/起動.sh"_s;
    store.writeKey(ProfileFile::Main, "NAME", path);
    QCOMPARE(store.readText(ProfileFile::Main, "NAME", u"未設定"_s), path);
}

void SettingsStoreTest::newProfileFileHasWindowsLayoutAndOwnerOnlyMode()
{
    FakeProgramFolder fake;
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    store.writeKey(ProfileFile::Account, "NAME", u"taro"_s);
    store.writeKey(ProfileFile::Account, "NAME2", u"secret"_s);
    store.writeFlag(ProfileFile::Account, "NAME3", true);
    QCOMPARE(FakeProgramFolder::readFile(fake.accountProfile()),
             QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n"));
    QCOMPARE(QFileInfo(fake.accountProfile()).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// A file left readable by everyone (copied in, or made by hand) is closed at the first save;
// the other profile file keeps the mode its user gave it.
void SettingsStoreTest::savingThePasswordMakesTheAccountFileOwnerOnly()
{
    FakeProgramFolder fake;
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                          QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    for (const QString& path : {fake.accountProfile(), fake.mainProfile()}) {
        FakeProgramFolder::writeFile(path, "[EXEINI]\r\nNAME=x\r\n");
        QVERIFY(QFile::setPermissions(path, readable));
    }
    SettingsStore store(fake.profileFiles, fake.codec, fake.programFolder());
    store.writeKey(ProfileFile::Account, "NAME2", u"secret"_s);
    store.writeKey(ProfileFile::Main, "NAME", u"/usr/bin/mutt"_s);
    QCOMPARE(FakeProgramFolder::readFile(fake.accountProfile()),
             QByteArray("[EXEINI]\r\nNAME=x\r\nNAME2=secret\r\n"));
    QCOMPARE(QFileInfo(fake.accountProfile()).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QFileInfo(fake.mainProfile()).permissions(), readable);
}

void SettingsStoreTest::missingOrEmptyServerFileChangesNothing()
{
    FakeProgramFolder fake;
    ServerSettingsFile file(fake.codec);
    ProgramValues values;
    values.Pop3Server = u"kept"_s;
    file.load(values);
    QCOMPARE(values.Pop3Server, u"kept"_s);

    FakeProgramFolder::writeFile(fake.serverFile(), QByteArray());
    file.load(values);
    QCOMPARE(values.Pop3Server, u"kept"_s);
    QCOMPARE(values.ApopFlag, short(0));

    // A folder of that name is not the file.
    QFile::remove(fake.serverFile());
    QDir().mkdir(fake.serverFile());
    file.load(values);
    QCOMPARE(values.Pop3Server, u"kept"_s);
}

void SettingsStoreTest::serverFileLinesAreMatchedExactly()
{
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.serverFile(), "pop3=lower.example\r\n"
                                               " POP3=blank.example\r\n"
                                               "POP3=mail.example\r\n"
                                               "MAIL=first@example\r\n"
                                               "MAIL=second@example\r\n"
                                               "SMTP=\r\n"
                                               "junk line\r\n"
                                               "APOP=1\r\n");
    ProgramValues values;
    values.SmtpServer = u"before"_s;
    ServerSettingsFile(fake.codec).load(values);
    QCOMPARE(values.Pop3Server, u"mail.example"_s);
    QCOMPARE(values.MailAddress, u"second@example"_s);
    QCOMPARE(values.SmtpServer, QString());
    QCOMPARE(values.ApopFlag, short(1));
}

void SettingsStoreTest::serverFileValuesAreCutTo100Characters()
{
    FakeProgramFolder fake;
    const QString longName = QString(140, u'x') + u".example"_s;
    const QString longJapanese = QString(150, u'日');
    ProgramValues values;
    values.Pop3Server = longName;
    values.MailAddress = longJapanese;
    ServerSettingsFile file(fake.codec);
    QVERIFY(file.save(values));
    // Saved whole…
    QVERIFY(FakeProgramFolder::readFile(fake.serverFile()).contains(longName.toUtf8()));

    ProgramValues loaded;
    file.load(loaded);
    // …and loaded back as the first 100 characters.
    QCOMPARE(loaded.Pop3Server, longName.left(100));
    QCOMPARE(loaded.MailAddress, QString(100, u'日'));
}

void SettingsStoreTest::serverFileAcceptsAnyLineEnd()
{
    for (const QByteArray& end : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r")}) {
        FakeProgramFolder fake;
        FakeProgramFolder::writeFile(fake.serverFile(),
                                "SMTP=s" + end + "POP3=p" + end + "MAIL=m" + end + "APOP=1");
        ProgramValues values;
        ServerSettingsFile(fake.codec).load(values);
        QCOMPARE(values.SmtpServer, u"s"_s);
        QCOMPARE(values.Pop3Server, u"p"_s);
        QCOMPARE(values.MailAddress, u"m"_s);
        QCOMPARE(values.ApopFlag, short(1));
    }
}

void SettingsStoreTest::apopLineIsReadAsANumber_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<short>("flag");
    QTest::newRow("1") << QByteArray("APOP=1") << short(1);
    QTest::newRow("0") << QByteArray("APOP=0") << short(0);
    QTest::newRow("empty") << QByteArray("APOP=") << short(0);
    QTest::newRow("blank then 1") << QByteArray("APOP=  1") << short(1);
    QTest::newRow("letters") << QByteArray("APOP=yes") << short(0);
    QTest::newRow("fraction rounds half to even") << QByteArray("APOP=2.5") << short(2);
    QTest::newRow("too large for 16 bits") << QByteArray("APOP=99999") << short(32767);
    QTest::newRow("negative") << QByteArray("APOP=-1") << short(-1);
}

void SettingsStoreTest::apopLineIsReadAsANumber()
{
    QFETCH(QByteArray, line);
    QFETCH(short, flag);
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.serverFile(), line + "\r\n");
    ProgramValues values;
    values.ApopFlag = 5;
    ServerSettingsFile(fake.codec).load(values);
    QCOMPARE(values.ApopFlag, flag);
}

void SettingsStoreTest::savedServerFileIsFourCrLfLinesAndLoadsBack()
{
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.serverFile(), "old contents that must go\r\nPOP3=old\r\n");
    ProgramValues values;
    values.SmtpServer = u" smtp.example "_s; // kept exactly as typed
    values.Pop3Server = u"pop3s://メール.example:995"_s;
    values.MailAddress = QString();
    values.ApopFlag = 1;
    ServerSettingsFile file(fake.codec);
    QVERIFY(file.save(values));
    QCOMPARE(FakeProgramFolder::readFile(fake.serverFile()),
             QByteArray("SMTP= smtp.example \r\nPOP3=pop3s://") + u"メール"_s.toUtf8() +
                 QByteArray(".example:995\r\nMAIL=\r\nAPOP=1\r\n"));

    ProgramValues loaded;
    file.load(loaded);
    QCOMPARE(loaded.SmtpServer, values.SmtpServer);
    QCOMPARE(loaded.Pop3Server, values.Pop3Server);
    QCOMPARE(loaded.MailAddress, QString());
    QCOMPARE(loaded.ApopFlag, short(1));
}

void SettingsStoreTest::serverFileSaveIsAtomicAndOwnerOnly()
{
    FakeProgramFolder fake;
    ProgramValues values;
    values.Pop3Server = u"mail.example"_s;
    ServerSettingsFile file(fake.codec);
    QVERIFY(file.save(values));
    QCOMPARE(QFileInfo(fake.serverFile()).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

    // A folder that cannot be written: the save fails and the old file stays whole. (As root the
    // folder's mode does not stop writes, so a name that is a folder stands in for the failure.)
    ServerSettingsFile blocked(fake.codec, QDir::current().filePath(u"sub/vbmail.ini"_s));
    values.Pop3Server = u"new.example"_s;
    QVERIFY(!blocked.save(values));
    ProgramValues loaded;
    file.load(loaded);
    QCOMPARE(loaded.Pop3Server, u"mail.example"_s);
    const QStringList leftovers = QDir::current().entryList(QDir::Files);
    QCOMPARE(leftovers, QStringList{u"vbmail.ini"_s});
}

void SettingsStoreTest::shiftJisServerFileReadsCorrectly()
{
    FakeProgramFolder fake;
    FakeProgramFolder::writeFile(fake.serverFile(),
                            "SMTP=smtp.example\r\nPOP3=pop.example\r\nMAIL=" + kNotSetSjis +
                                "@example.jp\r\nAPOP=0\r\n");
    ProgramValues values;
    ServerSettingsFile(fake.codec).load(values);
    QCOMPARE(values.MailAddress, u"未設定@example.jp"_s);
}

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "settings_store_test.moc"
