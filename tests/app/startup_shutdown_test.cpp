// Start-up and shut-down of the whole program against recording fakes and real settings files:
// the order of every platform call, what the stored settings do to the windows, which dialogs
// open by themselves, and what shut-down writes.

#include "app/Application.h"

#include "settings/forms/AccountDialog.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"

#include "tests/fakes/FakePlatform.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::app::Application;
using pelmora::fakes::FakePlatform;
using pelmora::settings::AccountDialog;
using pelmora::settings::ServerDialog;
using pelmora::settings::PreferencesDialog;

namespace {
QString text(QWidget& window, const char* name)
{
    if (auto* label = window.findChild<QLabel*>(QString::fromLatin1(name)))
        return label->text();
    if (auto* box = window.findChild<QLineEdit*>(QString::fromLatin1(name)))
        return box->text();
    return u"<no such control>"_s;
}

bool checked(QWidget& window, const char* name)
{
    auto* box = window.findChild<QCheckBox*>(QString::fromLatin1(name));
    return box && box->isChecked();
}

// The calls in `expected` occur in `calls` in this order (other calls may come between them).
void verifyInOrder(const QStringList& calls, const QStringList& expected)
{
    qsizetype from = 0;
    for (const QString& call : expected) {
        const qsizetype at = calls.indexOf(call, from);
        QVERIFY2(at >= 0, qPrintable(u"missing or out of order: "_s + call + u"\nin:\n"_s +
                                     calls.join(u'\n')));
        from = at + 1;
    }
}
} // namespace

class StartupShutdownTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startupCallsThePlatformInOrder();
    void startupReadsTheSettingsInOrder();
    void firstRunOpensBothDialogsAndShutdownWritesWindowsLayout();
    void storedSettingsReachTheWindows();
    void unknownFlagValuesLeaveOptionsAsTheyWere();
    void emptyMailProgramReadsAsNotSetAndIsSavedSo();
    void emptyPop3ServerLineCountsAsMissing();
    void japaneseMailProgramPathSurvivesRestarts();
    void shutdownRunsInOrderAndEndsTheProcessLast();
    void missingDataFolderStartsWithDefaultsAndCreatesNothing();
    void closingTheMainWindowRunsShutdown();
};

void StartupShutdownTest::startupCallsThePlatformInOrder()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    Application app(fake.services());
    app.start();

    const QString resting =
        u"file://"_s + fake.programFolder() + u"\\画像データ\\MoveDog.gif"_s;
    QCOMPARE(fake.log.calls().first(), u"SetWindowPos(MainForm, -1, 0, 0, 0, 0, 0x43)"_s);
    verifyInOrder(fake.log.calls(), {
                                        u"SetWindowPos(MainForm, -1, 0, 0, 0, 0, 0x43)"_s,
                                        u"navigate: "_s + resting,
                                        u"mci: stop bgm"_s,
                                        u"mci: close bgm"_s,
                                    });
    QCOMPARE(fake.log.withPrefix(u"mail:"_s).size(), 0); // nothing talks to the server yet
    QCOMPARE(fake.log.withPrefix(u"mci:"_s).size(), 2);

    // Everything needed is stored: only the main window is on screen. The preferences need no
    // dialog.
    QVERIFY(!app.forms().peek<PreferencesDialog>());
    QVERIFY(app.forms().peek<AccountDialog>() && !app.forms().peek<AccountDialog>()->isVisible());
    QVERIFY(!app.forms().peek<ServerDialog>());
    QVERIFY(fake.log.withPrefix(u"MsgBox"_s).isEmpty());
}

void StartupShutdownTest::startupReadsTheSettingsInOrder()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(), "[EXEINI]\r\nNUMBER2=5\r\n");
    fake.profileFiles.recordReads = true;
    Application app(fake.services());
    app.start();

    QStringList reads = fake.log.withPrefix(u"profile: read"_s);
    QCOMPARE(reads, (QStringList{
                        u"profile: read int ini.ini EXEINI NUMBER"_s,
                        // the preferences dialog loads itself
                        u"profile: read int ini.ini EXEINI NUMBER"_s,
                        u"profile: read int ini.ini EXEINI NUMBER2"_s,
                        u"profile: read int ini.ini EXEINI NUMBER4"_s,
                        // the account dialog loads itself
                        u"profile: read text iniIdPass.ini EXEINI NAME"_s,
                        u"profile: read text iniIdPass.ini EXEINI NAME2"_s,
                        u"profile: read int ini.ini EXEINI NUMBER2"_s,
                        u"profile: read text ini.ini EXEINI NAME"_s,
                        u"profile: read int ini.ini EXEINI NUMBER3"_s,
                    }));
    // An interval above 0 is not stored again at start-up.
    QVERIFY(fake.log.withPrefix(u"profile: write"_s).isEmpty());
}

void StartupShutdownTest::firstRunOpensBothDialogsAndShutdownWritesWindowsLayout()
{
    FakePlatform fake;
    Application app(fake.services());
    app.start();

    auto* server = app.forms().peek<ServerDialog>();
    auto* account = app.forms().peek<AccountDialog>();
    QVERIFY(server && server->isVisible() && !server->isModal());
    QVERIFY(account && account->isVisible() && !account->isModal());
    // Opened together, they do not cover each other.
    QVERIFY(!server->frameGeometry().intersects(account->frameGeometry()));
    QVERIFY(!app.forms().peek<PreferencesDialog>());
    // The server dialog puts itself above other windows when it loads.
    QVERIFY(fake.log.calls().contains(u"SetWindowPos(OptionForm, -1, 0, 0, 0, 0, 0x43)"_s));

    app.mainWindow().quit();
    // Start-up stored the interval 0 (the preferences dialog stores a zero interval at once);
    // shut-down adds the mail program and its flag.
    QCOMPARE(FakePlatform::readFile(fake.mainProfile()),
             QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=") + u"未設定"_s.toUtf8() +
                 QByteArray("\r\nNUMBER3=0\r\n"));
    QCOMPARE(fake.log.calls().last(), u"end process"_s);
    QVERIFY(!QFileInfo::exists(fake.serverFile()));
    QVERIFY(!QFileInfo::exists(fake.accountProfile()));
}

void StartupShutdownTest::storedSettingsReachTheWindows()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNUMBER=1\r\nNUMBER2=015\r\nNUMBER3=1\r\nNUMBER4=1\r\n"
                            "NAME=/usr/bin/mutt\r\n");
    Application app(fake.services());
    app.start();

    const auto& preferences = app.preferences();
    QVERIFY(preferences.hangUpAfterCheck);
    QCOMPARE(preferences.interval, u"15"_s);
    QVERIFY(preferences.boardErasesItself);
    // The preferences dialog, opened, shows them as they are used.
    PreferencesDialog& prefs = app.forms().show<PreferencesDialog>();
    QVERIFY(prefs.hangsUpAfterCheck());
    QCOMPARE(prefs.intervalText(), u"15"_s);
    QVERIFY(prefs.boardErasesItself());
    auto& main = app.mainWindow();
    QVERIFY(main.startsMailProgram());
    QCOMPARE(main.mailProgramPath(), u"/usr/bin/mutt"_s);
    QCOMPARE(text(main, "Label4"), u"ON"_s);
    QVERIFY(checked(main, "Check3"));
    QCOMPARE(text(main, "Text5"), u"15"_s);
    // Interval checking is on: the seconds really count.
    QTRY_VERIFY_WITH_TIMEOUT(app.scheduler().seconds() != u"0"_s, 5000);
    QCOMPARE(main.windowTitle(), u"ペルモラ　Ver 1.0"_s);
}

void StartupShutdownTest::unknownFlagValuesLeaveOptionsAsTheyWere()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNUMBER=2\r\nNUMBER3=2\r\nNUMBER4=-1\r\n");
    Application app(fake.services());
    app.start();
    QVERIFY(!app.preferences().hangUpAfterCheck);
    QVERIFY(!app.preferences().boardErasesItself);
    QVERIFY(!app.mainWindow().startsMailProgram());

    app.mainWindow().quit();
    QVERIFY(FakePlatform::readFile(fake.mainProfile()).contains("NUMBER3=0\r\n"));
}

void StartupShutdownTest::emptyMailProgramReadsAsNotSetAndIsSavedSo()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(), "[EXEINI]\r\nNAME=\r\n");
    Application app(fake.services());
    app.start();
    QCOMPARE(app.mainWindow().mailProgramPath(), u"未設定"_s);
    app.mainWindow().quit();
    QVERIFY(FakePlatform::readFile(fake.mainProfile()).contains(u"NAME=未設定\r\n"_s.toUtf8()));
}

void StartupShutdownTest::emptyPop3ServerLineCountsAsMissing()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.serverFile(), "SMTP=smtp.example\r\nPOP3=\r\n");
    Application app(fake.services());
    app.start();
    QVERIFY(app.forms().peek<ServerDialog>() && app.forms().peek<ServerDialog>()->isVisible());
    QVERIFY(!app.forms().peek<AccountDialog>()->isVisible());
}

void StartupShutdownTest::japaneseMailProgramPathSurvivesRestarts()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    // Carried over from Windows: "C:\メール\Mailer.exe" in Shift-JIS.
    FakePlatform::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNAME=C:\\\x83\x81\x81\x5b\x83\x8b\\Mailer.exe\r\n");
    const QString carried = u"C:\\メール\\Mailer.exe"_s;
    const QString chosen = u"/home/花子/メール ソフト/起動"_s;
    {
        Application app(fake.services());
        app.start();
        QCOMPARE(app.mainWindow().mailProgramPath(), carried);
        app.mainWindow().quit();
    }
    {
        Application app(fake.services());
        app.start();
        QCOMPARE(app.mainWindow().mailProgramPath(), carried);
        app.mainWindow().setMailProgramPath(chosen);
        app.mainWindow().quit();
    }
    Application app(fake.services());
    app.start();
    QCOMPARE(app.mainWindow().mailProgramPath(), chosen);
}

void StartupShutdownTest::shutdownRunsInOrderAndEndsTheProcessLast()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    Application app(fake.services());
    app.start();
    fake.log.clear();

    app.mainWindow().setMailProgramPath(u"/opt/メール/mailer"_s);
    app.mainWindow().setStartsMailProgram(true);
    app.mainWindow().startAlert();
    QSignalSpy soundWatchTicks(&app.mainWindow().soundWatchTimer(), &pelmora::platform::VbTimer::ticked);
    QTRY_VERIFY(!soundWatchTicks.isEmpty()); // the alert's sound watch runs until shut-down
    fake.log.clear(); // what the timers asked meanwhile
    app.mainWindow().quit();

    QCOMPARE(fake.log.calls(), (QStringList{
                                   u"mci: stop bgm"_s,
                                   u"mci: close bgm"_s,
                                   u"profile: write ini.ini [EXEINI] NAME=/opt/メール/mailer"_s,
                                   u"profile: write ini.ini [EXEINI] NUMBER3=1"_s,
                                   u"mail: closeAll"_s,
                                   u"end process"_s,
                               }));
    QVERIFY(fake.processExit.ended);
    soundWatchTicks.clear();
    QTest::qWait(500);
    QVERIFY(soundWatchTicks.isEmpty()); // and stops with it

    // A second close request (the close box after the tray's "終了") does not run it again.
    app.mainWindow().quit();
    QCOMPARE(fake.log.calls().size(), 6);
}

void StartupShutdownTest::missingDataFolderStartsWithDefaultsAndCreatesNothing()
{
    FakePlatform fake(FakePlatform::DataFolder::Missing);
    FakePlatform::writeFile(fake.serverFile(), "POP3=pop.example\r\n");
    Application app(fake.services());
    app.start();

    QCOMPARE(app.mainWindow().mailProgramPath(), u"未設定"_s);
    QVERIFY(!app.mainWindow().startsMailProgram());
    QCOMPARE(app.preferences().interval, u"0"_s);
    QCOMPARE(text(app.mainWindow(), "Label4"), u"OFF"_s);
    // No account can be stored: the account dialog asks for it; nothing else is shown.
    QVERIFY(app.forms().peek<AccountDialog>()->isVisible());
    QVERIFY(fake.log.withPrefix(u"MsgBox"_s).isEmpty());

    app.mainWindow().quit();
    QVERIFY(!QFileInfo::exists(fake.dataFolder()));
    QCOMPARE(QDir(fake.programFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
}

void StartupShutdownTest::closingTheMainWindowRunsShutdown()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    Application app(fake.services());
    app.start();
    app.mainWindow().show();
    app.mainWindow().close();
    QVERIFY(fake.processExit.ended);
    QCOMPARE(fake.log.calls().last(), u"end process"_s);
}

QTEST_MAIN(StartupShutdownTest)
#include "startup_shutdown_test.moc"
