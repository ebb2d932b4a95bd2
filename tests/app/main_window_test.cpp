// The main window: its layout, menus, tray icon, always-on-top switch, homepage prompt and about
// box, driven through real widgets and recording fakes.

#include "app/Application.h"
#include "app/PlatformPlugin.h"

#include "settings/forms/PreferencesDialog.h"

#include "platform/forms/CaptionLabel.h"
#include "platform/forms/Twips.h"
#include "platform/adapters/widgets/QtDialogs.h"
#include "platform/adapters/widgets/QtWindowPositioner.h"

#include "tests/fakes/FakePlatform.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QApplication>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using pelmora::app::Application;
using pelmora::app::MainWindow;
using pelmora::fakes::FakePlatform;
using pelmora::platform::twipsRect;
using pelmora::platform::VbTimer;

namespace {
// A started program with a server and an account stored, so no dialog opens by itself, and the
// main profile given.
struct StartedProgram {
    explicit StartedProgram(const QByteArray& mainProfile = {})
    {
        fake.storeServerAndAccount();
        if (!mainProfile.isEmpty())
            FakePlatform::writeFile(fake.mainProfile(), mainProfile);
        app.start();
        fake.log.clear();
    }
    MainWindow& window() { return app.mainWindow(); }
    QAction* action(const char* name) const
    {
        return const_cast<Application&>(app).mainWindow().findChild<QAction*>(QString::fromLatin1(name));
    }

    FakePlatform fake;
    Application app{fake.services()};

};

// Counts the timer events of every object in the program's thread: each is a wake-up.
struct TimerEvents : QObject {
    TimerEvents() { QCoreApplication::instance()->installEventFilter(this); }
    ~TimerEvents() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Timer;
        return false;
    }
    qsizetype count = 0;
};

QStringList actionNames(const QMenu& menu)
{
    QStringList names;
    for (const QAction* action : menu.actions())
        names << action->objectName() + u'|' + (action->isSeparator() ? u"-"_s : action->text());
    return names;
}
} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void visibleControlsAreWhereTheyBelong_data();
    void visibleControlsAreWhereTheyBelong();
    void windowHasItsCaptionSizeAndColours();
    void hiddenControlsCannotBeSeenOrReached();
    void displayOnlyControlsCannotBeChanged();
    void menusHaveTheirCaptionsInOrder();
    void menuItemsAndButtonsRunTheirRoutines();
    void alwaysOnTopSwitchesWithoutMovingTheWindow();
    void homepagePromptOpensTheGuideOnlyOnYes();
    void movingToTheTrayHidesAndTheMenuBringsItBack();
    void withoutATrayTheWindowIsMinimisedInstead();
    void hiddenOnlyTheNextCheckOrAnAlertWakesTheProgram();
    void aLockedScreenRestsTheWindow();
    void trayEventCodes();
    void tipTextIsShortDateAndLongTime();
    void quitFromTheTrayWhileHiddenSavesAndEnds();
    void closingTheLastOtherWindowWhileHiddenKeepsRunning();
    void aboutBoxNamesTheSettingsFilesAndKeepsRunning();
    void xcbIsPreferredInAWaylandSessionWithXWayland();
};

void MainWindowTest::visibleControlsAreWhereTheyBelong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Picture2") << u"Picture2"_s << QRect(0, 0, 1335, 1215) << QString();
    QTest::newRow("Label4") << u"Label4"_s << QRect(1400, 120, 495, 255) << u"OFF"_s;
    QTest::newRow("Check3") << u"Check3"_s << QRect(1920, 120, 255, 180) << QString();
    QTest::newRow("Text5") << u"Text5"_s << QRect(2160, 80, 495, 270) << u"0"_s;
    QTest::newRow("Label2") << u"Label2"_s << QRect(2760, 120, 375, 255) << u"分"_s;
    QTest::newRow("Label3") << u"Label3"_s << QRect(1440, 480, 1320, 375)
                            << u"新着有りで設定メーラーを起動"_s;
    QTest::newRow("Check2") << u"Check2"_s << QRect(2700, 600, 255, 255) << QString();
    QTest::newRow("Command2") << u"Command2"_s << QRect(1440, 900, 855, 300) << u"吠える♪"_s;
    QTest::newRow("Command3") << u"Command3"_s << QRect(2280, 900, 615, 300) << u"戻す"_s;
    QTest::newRow("Picture5") << u"Picture5"_s << QRect(0, 1200, 3015, 300) << QString();
    QTest::newRow("Image1 in Picture5") << u"Image1"_s << QRect(0, 0, 240, 240) << QString();
    QTest::newRow("Label1 in Picture5") << u"Label1"_s << QRect(2760, 0, 2415, 255)
                                        << u"インターバルチェック"_s;
}

void MainWindowTest::visibleControlsAreWhereTheyBelong()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    StartedProgram program;
    auto* control = program.window().findChild<QWidget*>(name);
    QVERIFY(control);
    QRect placed = control->geometry();
    // The caption's label spans the strip; its text runs in a box of its own.
    if (auto* captionLabel = qobject_cast<pelmora::platform::CaptionLabel*>(control))
        placed = captionLabel->textBox().translated(captionLabel->pos());
    QCOMPARE(placed, twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    QVERIFY(control->isVisibleTo(&program.window()));
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control))
        text = label->text();
    else if (auto* box = qobject_cast<QLineEdit*>(control))
        text = box->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        text = button->text();
    QCOMPARE(text, caption);
}

void MainWindowTest::windowHasItsCaptionSizeAndColours()
{
    StartedProgram program;
    MainWindow& window = program.window();
    QCOMPARE(window.windowTitle(), u"ペルモラ　Ver 1.0"_s);
    QVERIFY(window.windowTitle().contains(QChar(0x3000)));
    QWidget* client = window.centralWidget();
    QCOMPARE(client->size(), QSize(197, 98));
    QCOMPARE(client->palette().color(QPalette::Window), QColor(0x40, 0x40, 0x40));
    auto* label4 = window.findChild<QLabel*>(u"Label4"_s);
    QCOMPARE(label4->palette().color(QPalette::WindowText), QColor(0xFF, 0xFF, 0x00));
    auto* label3 = window.findChild<QLabel*>(u"Label3"_s);
    QCOMPARE(label3->palette().color(QPalette::WindowText), QColor(0x00, 0xFF, 0xFF));
    // Not resizable: the window's smallest and largest sizes are the same.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    // The resting dog is shown.
    QVERIFY(program.fake.animationPane.currentUrl.endsWith(u"\\画像データ\\MoveDog.gif"_s));
    // The pictures built into the program are there: the window's icon, and the bottom strip's
    // picture on the screen (left of where the caption starts, right of the lamp).
    QVERIFY(!QPixmap(u":/pelmora/pelmora.png"_s).isNull());
    const QImage strip(u":/pelmora/strip.png"_s);
    QVERIFY(!strip.isNull());
    const QPoint inStrip(100, 10);
    const QPoint stripTop = window.findChild<QFrame*>(u"Picture5"_s)->pos();
    const QImage shown = client->grab().toImage();
    QCOMPARE(QColor(shown.pixel(stripTop + inStrip)), QColor(strip.pixel(inStrip)));
    QVERIFY(QColor(strip.pixel(inStrip)) != QColor(0x40, 0x40, 0x40));
}

void MainWindowTest::hiddenControlsCannotBeSeenOrReached()
{
    StartedProgram program;
    MainWindow& window = program.window();
    for (const char* name : {"Text7", "Text8", "Text1", "Text4", "Check1", "Command8", "Picture7",
                             "Command9", "Command10", "Picture10", "Command7", "Command1",
                             "Command5", "CommonDialog1", "TrayControl1"})
        QVERIFY2(!window.findChild<QWidget*>(QString::fromLatin1(name)), name);

    // Tab walks the visible, changeable controls only.
    QWidget* start = window.findChild<QWidget*>(u"Check2"_s);
    QSet<QString> reached;
    QWidget* w = start;
    do {
        reached.insert(w->objectName());
        w = w->nextInFocusChain();
        while (w != start && !(w->focusPolicy() & Qt::TabFocus && w->isVisibleTo(&window)))
            w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(reached, (QSet<QString>{u"Check2"_s, u"Command2"_s, u"Command3"_s}));
}

void MainWindowTest::displayOnlyControlsCannotBeChanged()
{
    StartedProgram program;
    MainWindow& window = program.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* check3 = window.findChild<QCheckBox*>(u"Check3"_s);
    auto* text5 = window.findChild<QLineEdit*>(u"Text5"_s);
    // Clicks go through the window, where the pointer's target is found.
    const auto clickOn = [&](QWidget* control) {
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          control->mapTo(&window, control->rect().center()));
    };
    clickOn(check3);
    QVERIFY(!check3->isChecked());
    clickOn(text5);
    QTest::keyClicks(text5, u"99"_s);
    QCOMPARE(text5->text(), u"0"_s);
}

void MainWindowTest::menusHaveTheirCaptionsInOrder()
{
    StartedProgram program;
    MainWindow& window = program.window();
    const QList<QAction*> bar = window.menuBar()->actions();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar.first()->text(), u"ファイル(&F)"_s);
    QCOMPARE(actionNames(*bar.first()->menu()),
             (QStringList{u"mcheck|メールチェック（手動）"_s, u"mline|-"_s,
                          u"mset|起動メーラーの設定"_s, u"mtask|タスクトレイに常駐"_s,
                          u"mset2|設定"_s, u"msignin|サインイン"_s, u"moptions|オプション"_s, u"mline2|-"_s, u"mzenmen|常に前面表示"_s,
                          u"mkaijyo|前面表示解除"_s, u"mline4|-"_s, u"mhp|作者のホームページ"_s}));
    QCOMPARE(actionNames(window.trayMenu()),
             (QStringList{u"mnu_Popup0|メイン画面を表示"_s, u"mnu_Popup1|-"_s,
                          u"mnu_Popup2|終了"_s}));

    // Alt+F opens the menu.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(bar.first()->menu()->isVisible());
    bar.first()->menu()->close();
}

void MainWindowTest::menuItemsAndButtonsRunTheirRoutines()
{
    StartedProgram program;
    QStringList ran;
    program.window().setRoutines({
        [&] { ran << u"check"_s; },
        [&] { ran << u"choose"_s; },
        [&] { ran << u"start alert"_s; },
        [&] { ran << u"stop alert"_s; },
        [&] { ran << u"sign in"_s; },
        {}, {}, {}, {},
        [&] { ran << u"options"_s; },
    });
    program.action("mcheck")->trigger();
    program.action("mset")->trigger();
    program.action("msignin")->trigger();
    program.action("moptions")->trigger();
    program.window().findChild<QAbstractButton*>(u"Command2"_s)->click();
    program.window().findChild<QAbstractButton*>(u"Command3"_s)->click();
    QCOMPARE(ran, (QStringList{u"check"_s, u"choose"_s, u"sign in"_s, u"options"_s, u"start alert"_s,
                               u"stop alert"_s}));

    // "設定" shows the preferences dialog, and again the same one while it is open.
    program.action("mset2")->trigger();
    auto* prefs = program.app.forms().peek<pelmora::settings::PreferencesDialog>();
    QVERIFY(prefs && prefs->isVisible());
    program.action("mset2")->trigger();
    QCOMPARE(program.app.forms().peek<pelmora::settings::PreferencesDialog>(), prefs);
}

void MainWindowTest::alwaysOnTopSwitchesWithoutMovingTheWindow()
{
    {
        StartedProgram program;
        program.action("mkaijyo")->trigger();
        program.action("mzenmen")->trigger();
        QCOMPARE(program.fake.log.calls(),
                 (QStringList{u"SetWindowPos(MainForm, -2, 0, 0, 0, 0, 0x43)"_s,
                              u"SetWindowPos(MainForm, -1, 0, 0, 0, 0, 0x43)"_s}));
    }
    // The real adapter keeps position and size while the stay-on-top state changes.
    StartedProgram program;
    MainWindow& window = program.window();
    window.move(40, 30);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect before = window.geometry();
    pelmora::platform::QtWindowPositioner positioner;
    using pelmora::platform::InsertAfter;
    positioner.setWindowPos(&window, InsertAfter::NoTopmost, 0, 0, 0, 0, 0x43);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    positioner.setWindowPos(&window, InsertAfter::Topmost, 0, 0, 0, 0, 0x43);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
}

void MainWindowTest::homepagePromptOpensTheGuideOnlyOnYes()
{
    StartedProgram program;
    using namespace pelmora::platform::msgbox;
    const QString prompt = u"MsgBox(「ミルテ堂」作者のホームページです。ちょっと見てみますか？, 36, 確認)"_s;

    program.fake.messageBox.answers.enqueue(kAnswerNo);
    program.action("mhp")->trigger();
    QCOMPARE(program.fake.log.calls(), QStringList{prompt});

    program.fake.log.clear();
    program.fake.messageBox.answers.enqueue(kAnswerYes);
    program.action("mhp")->trigger();
    const QUrl guide = QUrl::fromLocalFile(program.fake.programFolder() + u"/docs/guide.html"_s);
    QCOMPARE(program.fake.log.calls(), (QStringList{prompt, u"browser: "_s + guide.toString()}));

    // No browser could be started: nothing else happens, the program keeps running.
    program.fake.log.clear();
    program.fake.homepageBrowser.result = false;
    program.fake.messageBox.answers.enqueue(kAnswerYes);
    program.window().offerHomepage();
    QCOMPARE(program.fake.log.calls().size(), 2);
    QVERIFY(!program.fake.processExit.ended);
}

void MainWindowTest::movingToTheTrayHidesAndTheMenuBringsItBack()
{
    StartedProgram program;
    MainWindow& window = program.window();
    window.show();
    program.action("mtask")->trigger();
    QVERIFY(!window.isVisible());
    QCOMPARE(program.fake.log.withPrefix(u"tray:"_s).size(), 3);
    QCOMPARE(program.fake.log.calls().at(0), u"tray: set icon"_s);
    QVERIFY(program.fake.log.calls().at(1).startsWith(u"tray: tip "_s));
    QCOMPARE(program.fake.log.calls().at(2), u"tray: show icon"_s);

    program.window().trayMenu().actions().at(0)->trigger();
    QVERIFY(window.isVisible());
    QVERIFY(program.fake.trayIcon.iconShown); // the icon stays

    // Moving to the tray again renews the tip.
    program.fake.trayIcon.tipText.clear();
    program.action("mtask")->trigger();
    QVERIFY(!program.fake.trayIcon.tipText.isEmpty());
    QVERIFY(!program.fake.processExit.ended);
}

void MainWindowTest::withoutATrayTheWindowIsMinimisedInstead()
{
    StartedProgram program;
    program.fake.trayIcon.available = false;
    MainWindow& window = program.window();
    window.show();
    program.action("mtask")->trigger();
    QVERIFY(window.isVisible());
    QVERIFY(window.isMinimized());
    program.window().showFromTray();
    QVERIFY(!window.isMinimized());
}

void MainWindowTest::hiddenOnlyTheNextCheckOrAnAlertWakesTheProgram()
{
    constexpr int kMinutes = 5;
    StartedProgram program("[EXEINI]\r\nNUMBER2=" + QByteArray::number(kMinutes) + "\r\n");
    program.fake.tickCounter.runFrom(0);
    MainWindow& window = program.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    program.action("mtask")->trigger();
    QVERIFY(!window.isVisible());

    QTest::qWait(2100); // a green blink of the lamp begun before ends
    TimerEvents events;
    QTest::qWait(2500);
    QCOMPARE(events.count, 0);
    // The one timer left is the scheduler's, set for the first check: five minutes of 61
    // seconds after the start.
    const QTimer& nextCheck = program.app.scheduler().dueTimer();
    QVERIFY(nextCheck.isActive());
    const int firstCheckMs = kMinutes * 61 * 1000;
    QVERIFY2(nextCheck.remainingTime() > firstCheckMs - 30000 &&
                 nextCheck.remainingTime() <= firstCheckMs,
             qPrintable(QString::number(nextCheck.remainingTime())));

    // An alert while hidden is watched (the sound repeats), and nothing else ticks.
    QSignalSpy soundWatch(&window.soundWatchTimer(), &VbTimer::ticked);
    window.startAlert();
    QTest::qWait(1000);
    QVERIFY(soundWatch.size() >= 5);
    QCOMPARE(events.count, soundWatch.size());
    window.stopAlert();

    // Back on screen, the lamp and the caption tick again.
    QSignalSpy lamp(&window.lampTimer(), &VbTimer::ticked);
    QSignalSpy caption(&window.captionTimer(), &VbTimer::ticked);
    window.showFromTray();
    QTRY_VERIFY(!lamp.isEmpty() && !caption.isEmpty());
    QVERIFY(!program.fake.processExit.ended);
}

// Shown but behind a locked screen, the window rests as if hidden: no timer ticks, the animation
// rests; unlocked, the lamp and the caption tick again.
void MainWindowTest::aLockedScreenRestsTheWindow()
{
    StartedProgram program("[EXEINI]\r\nNUMBER2=5\r\n");
    program.fake.tickCounter.runFrom(0);
    MainWindow& window = program.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    program.fake.screenLock.setLocked(true);
    QVERIFY(program.fake.animationPane.screenLocked);
    QTest::qWait(2100); // a green blink of the lamp begun before ends
    TimerEvents events;
    QTest::qWait(2500);
    QCOMPARE(events.count, 0);

    QSignalSpy lamp(&window.lampTimer(), &VbTimer::ticked);
    QSignalSpy caption(&window.captionTimer(), &VbTimer::ticked);
    program.fake.screenLock.setLocked(false);
    QVERIFY(!program.fake.animationPane.screenLocked);
    QTRY_VERIFY(!lamp.isEmpty() && !caption.isEmpty());
}

void MainWindowTest::trayEventCodes()
{
    StartedProgram program;
    program.fake.trayIcon.raiseEvent(2);
    program.fake.trayIcon.raiseEvent(-1);
    QVERIFY(program.fake.log.calls().isEmpty());
    QVERIFY(!program.window().trayMenu().isVisible());

    program.fake.trayIcon.raiseEvent(0);
    QCOMPARE(program.fake.log.calls(), QStringList{u"MsgBox(Clicked!, 48, Pelmora)"_s});

    program.fake.trayIcon.raiseEvent(1);
    QTRY_VERIFY(program.window().trayMenu().isVisible());
    program.window().trayMenu().close();
}

void MainWindowTest::tipTextIsShortDateAndLongTime()
{
    const QDateTime moment(QDate(2026, 12, 7), QTime(9, 5, 3));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QCOMPARE(MainWindow::trayTipText(moment), u"2026/12/07 9時05分03秒"_s);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(MainWindow::trayTipText(moment), u"12/7/26 9:05:03 AM"_s);
    QLocale::setDefault(QLocale::system());
}

void MainWindowTest::quitFromTheTrayWhileHiddenSavesAndEnds()
{
    StartedProgram program;
    program.window().setMailProgramPath(u"/usr/bin/sylpheed"_s);
    program.window().setStartsMailProgram(true);
    program.action("mtask")->trigger();
    QVERIFY(!program.window().isVisible());
    program.window().trayMenu().actions().at(2)->trigger();
    QVERIFY(program.fake.processExit.ended);
    const QByteArray stored = FakePlatform::readFile(program.fake.mainProfile());
    QVERIFY(stored.contains("NAME=/usr/bin/sylpheed\r\n"));
    QVERIFY(stored.contains("NUMBER3=1\r\n"));
}

void MainWindowTest::closingTheLastOtherWindowWhileHiddenKeepsRunning()
{
    // In the tray, the main window is hidden; a message box closed then is the last window
    // closed, which must not end the program.
    StartedProgram program;
    program.window().show();
    program.action("mtask")->trigger();
    QVERIFY(!program.window().isVisible());

    QTimer::singleShot(0, this, [] {
        QTimer::singleShot(100, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        pelmora::platform::QtMessageBox().msgBox(u"Clicked!"_s, 48, u"Pelmora"_s);
        QTimer::singleShot(200, [] { QCoreApplication::exit(42); });
    });
    QCOMPARE(QCoreApplication::exec(), 42);
    QVERIFY(!program.fake.processExit.ended);
}

void MainWindowTest::aboutBoxNamesTheSettingsFilesAndKeepsRunning()
{
    StartedProgram program;
    MainWindow& window = program.window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseDClick(window.findChild<QLabel*>(u"Label2"_s), Qt::LeftButton);
    const QStringList boxes = program.fake.log.withPrefix(u"MsgBox"_s);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().contains(u"Ver 1.0"_s));
    QVERIFY(boxes.first().contains(program.fake.mainProfile()));
    QVERIFY(boxes.first().contains(program.fake.accountProfile()));
    QVERIFY(boxes.first().contains(u"vbmail.ini"_s));
    QVERIFY(!program.fake.processExit.ended);
    QVERIFY(window.isVisible());
}

void MainWindowTest::xcbIsPreferredInAWaylandSessionWithXWayland()
{
    using pelmora::app::preferredPlatformPlugin;
    const auto env = [](std::initializer_list<std::pair<const char*, const char*>> vars) {
        QProcessEnvironment e;
        for (const auto& [name, value] : vars)
            e.insert(QString::fromLatin1(name), QString::fromLatin1(value));
        return e;
    };
    QCOMPARE(preferredPlatformPlugin(env({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}})),
             QByteArray("xcb"));
    QCOMPARE(preferredPlatformPlugin(env({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}})),
             QByteArray("xcb"));
    // No X display: Wayland it is. An X11 session needs no choice. The user's choice stands.
    QCOMPARE(preferredPlatformPlugin(env({{"WAYLAND_DISPLAY", "wayland-0"}})), QByteArray());
    QCOMPARE(preferredPlatformPlugin(env({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}})),
             QByteArray());
    QCOMPARE(preferredPlatformPlugin(env({{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"},
                                          {"QT_QPA_PLATFORM", "wayland"}})),
             QByteArray());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
