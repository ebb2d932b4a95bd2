#include "app/MainWindow.h"

#include "alert/AlertAssets.h"
#include "settings/forms/AccountDialog.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/forms/CaptionLabel.h"
#include "platform/forms/JapaneseFont.h"
#include "platform/forms/PictureFrame.h"
#include "platform/ProgramPaths.h"
#include "platform/forms/Twips.h"
#include "platform/forms/Widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>

namespace pelmora::app {

using namespace Qt::StringLiterals;
using settings::ProfileFile;

namespace {
// The program's icon, compiled into it: the window's and the tray's.
const QString kProgramIconFile = QStringLiteral(":/pelmora/pelmora.png");
using settings::kLaunchFlagKey;
using settings::kMailProgramKey;

const QColor kWindowColor(0x40, 0x40, 0x40);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kCyan(0x00, 0xFF, 0xFF);
const QColor kButtonFace(0xC0, 0xC0, 0xC0);

// The scrolling caption's width, in twips: its text is cut off beyond it.
constexpr int kCaptionWidth = 2415;

// Controls that only display state: no mouse, no keyboard focus.
void makeDisplayOnly(QWidget* widget)
{
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
}
} // namespace

MainWindow::MainWindow(MainWindowContext context, QWidget* parent)
    : QMainWindow(parent),
      m_context(context),
      m_soundWatchTimer(100, nullptr, this, context.platform.timerPace),
      m_captionTimer(20, nullptr, this, context.platform.timerPace),
      m_lampTimer(1000, nullptr, this, context.platform.timerPace)
{
    // The sound watch runs only while an alert has a sound open (the alert starts it).
    m_soundWatchTimer.setEnabled(false);
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"ペルモラ　Ver 1.0"_s);
    setWindowIcon(QIcon(kProgramIconFile));
    buildClientArea();
    buildMenus();
    // The window keeps the size of its client area and menu bar: it cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_context.platform.trayIcon.setEventHandler(
        [this](std::int16_t code) { onTrayEvent(code); });
    // Locked, the screen shows nothing of the window: it rests as if hidden.
    m_context.platform.screenLock.setListener([this](bool locked) {
        m_screenLocked = locked;
        m_animation->setScreenLocked(locked);
        restOrWakeTimers();
        paintCaption();
    });
    connect(m_startAlertButton, &QPushButton::clicked, this, [this] { startAlert(); });
    connect(m_stopAlertButton, &QPushButton::clicked, this, [this] { stopAlert(); });
}

MainWindow::~MainWindow()
{
    m_context.platform.screenLock.setListener({});
}

void MainWindow::buildClientArea()
{
    using platform::makeLabel;
    using platform::placeControl;

    m_client = new QWidget(this);
    m_client->setObjectName(u"ClientArea"_s);
    m_client->setFixedSize(platform::twipsToPixels(2955), platform::twipsToPixels(1470));
    platform::setBackgroundColor(m_client, kWindowColor);
    setCentralWidget(m_client);

    // The animation frame clips the animation pane inside it.
    m_animationFrame = new QFrame(m_client);
    placeControl(m_animationFrame, u"Picture2"_s, {0, 0, 1335, 1215});
    m_animationFrame->setFrameShape(QFrame::NoFrame);
    m_animation = &m_context.platform.createAnimationPane(m_animationFrame);

    m_intervalLabel = makeLabel(m_client, u"Label4"_s, u"Label4"_s, {1400, 120, 495, 255});
    platform::setTextColor(m_intervalLabel, kYellow);

    m_intervalFlag = platform::makeCheckBox(m_client, u"Check3"_s, QString(), {1920, 120, 255, 180});
    platform::setBackgroundColor(m_intervalFlag, QColor(0x00, 0x40, 0x00));
    platform::setTextColor(m_intervalFlag, Qt::white);
    makeDisplayOnly(m_intervalFlag);

    m_intervalMinutes = platform::makeTextBox(m_client, u"Text5"_s, {2160, 80, 495, 270});
    m_intervalMinutes->setAlignment(Qt::AlignRight);
    m_intervalMinutes->setReadOnly(true);
    makeDisplayOnly(m_intervalMinutes);

    m_minutesLabel = makeLabel(m_client, u"Label2"_s, u"分"_s, {2760, 120, 375, 255});
    platform::setBackgroundColor(m_minutesLabel, kWindowColor);
    platform::setTextColor(m_minutesLabel, Qt::white);
    m_minutesLabel->installEventFilter(this);
    m_intervalFlag->setAccessibleName(u"インターバルチェック"_s);
    m_intervalMinutes->setAccessibleName(m_minutesLabel->text());

    platform::makeHorizontalLine(m_client, u"Line1"_s, 1320, 3000, 360, Qt::white);

    QLabel* launchLabel =
        makeLabel(m_client, u"Label3"_s, u"新着有りで設定メーラーを起動"_s, {1440, 480, 1320, 375});
    launchLabel->setWordWrap(true);
    platform::setTextColor(launchLabel, kCyan);
    m_startsMailProgramBox = platform::makeCheckBox(m_client, u"Check2"_s, QString(), {2700, 600, 255, 255});
    platform::setBackgroundColor(m_startsMailProgramBox, kWindowColor);
    m_startsMailProgramBox->setAccessibleName(launchLabel->text());

    m_startAlertButton = platform::makeButton(m_client, u"Command2"_s, u"吠える♪"_s, {1440, 900, 855, 300});
    platform::setButtonFace(m_startAlertButton, kButtonFace);
    m_stopAlertButton = platform::makeButton(m_client, u"Command3"_s, u"戻す"_s, {2280, 900, 615, 300});
    platform::setButtonFace(m_stopAlertButton, kButtonFace);

    // The bottom strip, holding the lamp and the scrolling caption over its picture.
    m_strip = new platform::PictureFrame(m_client);
    placeControl(m_strip, u"Picture5"_s, {0, 1200, 3015, 300});
    m_strip->setPicture(QPixmap(u":/pelmora/strip.png"_s));

    m_lamp = new QLabel(m_strip);
    placeControl(m_lamp, u"Image1"_s, {0, 0, 240, 240});
    m_lamp->setPixmap(QPixmap(u":/pelmora/lamp-green.gif"_s));

    m_captionText = u"インターバルチェック"_s;
    m_captionLeft = 2760;
    // Moved every 20 ms: a label that keeps its laid-out text (QLabel lays it out at every paint).
    // The label spans the strip and its text, in a box as wide as the caption, runs through it:
    // the box moves, not the label (see CaptionLabel).
    m_caption = new platform::CaptionLabel(m_captionText, m_strip);
    placeControl(m_caption, u"Label1"_s, {0, 0, 3015, 255});
    m_caption->setTextBox(platform::twipsToPixels(m_captionLeft),
                          platform::twipsToPixels(kCaptionWidth));
    m_caption->setFont(platform::japaneseGothicFont(11.25, true));
    platform::setTextColor(m_caption, kYellow);
}

void MainWindow::buildMenus()
{
    const auto addItem = [this](QMenu* menu, const char* name, const QString& caption,
                                auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    const auto addSeparator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    m_fileMenu = menuBar()->addMenu(u"ファイル(&F)"_s);
    m_fileMenu->setObjectName(u"mfile"_s);
    addItem(m_fileMenu, "mcheck", u"メールチェック（手動）"_s, [this] { checkNow(); });
    addSeparator(m_fileMenu, "mline");
    addItem(m_fileMenu, "mset", u"起動メーラーの設定"_s, [this] { chooseMailProgram(); });
    addItem(m_fileMenu, "mtask", u"タスクトレイに常駐"_s, [this] { moveToTray(); });
    addItem(m_fileMenu, "mset2", u"設定"_s, [this] { showPreferences(); });
    // Sign-in with the mailbox's provider, for mailboxes that no longer take a password.
    addItem(m_fileMenu, "msignin", u"サインイン"_s, [this] { run(m_routines.showSignIn); });
    // What new mail is told, beyond the program's own rule.
    addItem(m_fileMenu, "moptions", u"オプション"_s, [this] { run(m_routines.showOptions); });
    addSeparator(m_fileMenu, "mline2");
    addItem(m_fileMenu, "mzenmen", u"常に前面表示"_s, [this] { keepOnTop(); });
    addItem(m_fileMenu, "mkaijyo", u"前面表示解除"_s, [this] { stopKeepingOnTop(); });
    addSeparator(m_fileMenu, "mline4");
    addItem(m_fileMenu, "mhp", u"作者のホームページ"_s, [this] { offerHomepage(); });

    // The tray icon's pop-up menu; it never appears on the menu bar.
    m_trayMenu = new QMenu(u"popup"_s, this);
    m_trayMenu->setObjectName(u"mnuPopup"_s);
    addItem(m_trayMenu, "mnu_Popup0", u"メイン画面を表示"_s, [this] { showFromTray(); });
    addSeparator(m_trayMenu, "mnu_Popup1");
    addItem(m_trayMenu, "mnu_Popup2", u"終了"_s, [this] { quit(); });
}

void MainWindow::startUp()
{
    auto& services = m_context.platform;
    auto& forms = m_context.forms;
    auto& store = m_context.store;

    // 1. Topmost and visible.
    services.windowPositioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0, 0,
                                           platform::kSwpKeepGeometryAndShow);

    // 2. The preferences (loading the interval gives the interval display and the scheduler
    // their first state).
    run(m_routines.loadPreferences);

    // 3. The server settings from vbmail.ini in the current directory.
    m_context.serverFile.load(m_context.values);

    // 6. No POP3 server: ask for one, without waiting.
    if (m_context.values.Pop3Server.isEmpty())
        forms.show<settings::ServerDialog>();

    // 7. No stored account: ask for it, without waiting.
    auto& account = forms.get<settings::AccountDialog>();
    if (account.IdText().isEmpty() || account.PassText().isEmpty())
        forms.show<settings::AccountDialog>();

    // 8. The resting animation.
    m_animation->navigate(
        alert::animationUrl(services.programFolder, alert::kRestingAnimationLiteral));

    // 9. No alert sound left open.
    services.multimedia.mciSendString(u"stop bgm"_s);
    services.multimedia.mciSendString(u"close bgm"_s);

    // 10. The stored interval; it takes effect again only if the text really changes.
    run(m_routines.reloadInterval);

    // 11. The mail program's path.
    m_mailProgramPath = store.readText(ProfileFile::Main, kMailProgramKey,
                                       QString::fromUtf16(settings::kMailProgramNotSet));

    // 12. Whether new mail starts the mail program. Any value but 0 or 1 leaves it unticked.
    setStartsMailProgram(
        settings::applyStoredFlag(store.readNumber(ProfileFile::Main, kLaunchFlagKey), false));
}

void MainWindow::quit()
{
    if (m_unloading)
        return;
    m_unloading = true;
    auto& services = m_context.platform;

    services.multimedia.mciSendString(u"stop bgm"_s);
    services.multimedia.mciSendString(u"close bgm"_s);
    m_soundWatchTimer.setEnabled(false);
    m_context.store.writeKey(ProfileFile::Main, kMailProgramKey, m_mailProgramPath);
    m_context.store.writeFlag(ProfileFile::Main, kLaunchFlagKey, startsMailProgram());
    // No session may wait on the network once the program ends.
    services.mailbox.closeAll();
    // Ends at once: no other window runs its unload handling, so an open preferences dialog
    // saves nothing, and no timer ticks again.
    run(m_routines.stopChecking);
    for (platform::VbTimer* timer : {&m_captionTimer, &m_lampTimer})
        timer->setEnabled(false);
    services.processExit.endProcess();
}

void MainWindow::run(const std::function<void()>& routine)
{
    if (routine)
        routine();
}

void MainWindow::moveToTray()
{
    auto& tray = m_context.platform.trayIcon;
    tray.setIcon(kProgramIconFile);
    tray.setTipText(trayTipText(QDateTime::currentDateTime()));
    tray.showIcon();
    if (tray.isAvailable()) {
        hide();
    } else {
        // Without a notification area a hidden window could never come back: minimise it, so
        // it stays reachable from the desktop's task bar.
        showMinimized();
    }
}

void MainWindow::startAlert() { run(m_routines.startAlert); }
void MainWindow::stopAlert() { run(m_routines.stopAlert); }
void MainWindow::chooseMailProgram() { run(m_routines.chooseMailProgram); }
void MainWindow::checkNow() { run(m_routines.checkMail); }

void MainWindow::showPreferences()
{
    m_context.forms.show<settings::PreferencesDialog>();
}

void MainWindow::offerHomepage()
{
    using namespace platform::msgbox;
    const int answer = m_context.platform.messageBox.msgBox(
        u"「ミルテ堂」作者のホームページです。ちょっと見てみますか？"_s, kYesNo | kQuestion,
        u"確認"_s);
    if (answer == kAnswerYes)
        m_context.platform.homepageBrowser.navigate(homepageAddress());
}

QUrl MainWindow::homepageAddress() const
{
    return QUrl::fromLocalFile(
        platform::programFilePath(m_context.platform.programFolder, u"\\docs\\guide.html"_s));
}

void MainWindow::keepOnTop()
{
    m_context.platform.windowPositioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0,
                                                     0, platform::kSwpKeepGeometryAndShow);
}

void MainWindow::stopKeepingOnTop()
{
    m_context.platform.windowPositioner.setWindowPos(this, platform::InsertAfter::NoTopmost, 0, 0,
                                                     0, 0, platform::kSwpKeepGeometryAndShow);
}

void MainWindow::showFromTray()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::onTrayEvent(std::int16_t code)
{
    if (code == 0) {
        m_context.platform.messageBox.msgBox(u"Clicked!"_s, platform::msgbox::kExclamation,
                                             u"Pelmora"_s);
    } else if (code == 1) {
        m_trayMenu->popup(QCursor::pos());
    }
}

void MainWindow::showAbout()
{
    const auto& store = m_context.store;
    const QString text =
        u"ペルモラ（Pelmora）Ver 1.0\n"
        "POP3 のメールボックスを見張り、メールが届いていれば知らせます。\n\n"
        "設定ファイル / Settings files:\n%1\n%2\n%3"_s.arg(
            QDir::toNativeSeparators(store.path(settings::ProfileFile::Main)),
            QDir::toNativeSeparators(store.path(settings::ProfileFile::Account)),
            QDir::toNativeSeparators(QDir::current().absoluteFilePath(u"vbmail.ini"_s)));
    m_context.platform.messageBox.msgBox(text, platform::msgbox::kInformation,
                                         u"Pelmora について"_s);
}

QString MainWindow::trayTipText(const QDateTime& moment)
{
    // The general date format: the short date followed by the long time. Qt's long time format
    // carries the time zone, which the tip leaves out.
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(u"\\s*\\bt+\\b\\s*"_s));
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(moment.time(), timeFormat.trimmed());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_minutesLabel && event->type() == QEvent::MouseButtonDblClick) {
        showAbout();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore(); // the process ends inside quit()
    quit();
}

bool MainWindow::startsMailProgram() const
{
    return m_startsMailProgramBox->isChecked();
}

void MainWindow::setStartsMailProgram(bool on)
{
    m_startsMailProgramBox->setChecked(on);
}

void MainWindow::setIntervalLabel(const QString& text)
{
    m_intervalLabel->setText(text);
}

void MainWindow::setIntervalFlag(bool on)
{
    m_intervalFlag->setChecked(on);
}

void MainWindow::setIntervalText(const QString& text)
{
    m_intervalMinutes->setText(text);
}

void MainWindow::navigateAnimation(const QString& url)
{
    m_animation->navigate(url);
}

int MainWindow::intervalCheckingFlag() const
{
    return m_intervalFlag->isChecked() ? 1 : 0;
}

void MainWindow::setLampPicture(const QString& pictureFile)
{
    QPixmap picture;
    if (!picture.load(pictureFile))
        return;
    // The lamp is loaded anew at every tick, mostly the picture already shown: setting it again
    // would repaint the lamp for nothing.
    if (m_lamp->pixmap().toImage() == picture.toImage())
        return;
    m_lamp->setPixmap(picture);
}

bool MainWindow::isShownOnScreen() const
{
    return isVisible() && !isMinimized() && !m_screenLocked;
}

void MainWindow::setCaption(const QString& caption)
{
    m_captionText = caption;
    paintCaption();
}

void MainWindow::setCaptionLeft(int twips)
{
    m_captionLeft = twips;
    paintCaption();
}

void MainWindow::paintCaption()
{
    // Hidden in the tray or minimised, the caption moves on without being drawn.
    if (!isShownOnScreen())
        return;
    if (m_caption->text() != m_captionText)
        m_caption->setText(m_captionText);
    m_caption->setTextBox(platform::twipsToPixels(m_captionLeft),
                          platform::twipsToPixels(kCaptionWidth));
}

void MainWindow::restOrWakeTimers()
{
    if (!isShownOnScreen()) {
        m_captionTimer.rest();
        m_lampTimer.rest();
        return;
    }
    // The lamp's ticks while it could not be seen would have changed nothing: its next tick
    // comes a period after the window is back.
    m_lampTimer.wake();
    const std::int64_t missed = m_captionTimer.wake();
    if (missed > 0 && m_routines.catchUpCaption)
        m_routines.catchUpCaption(missed);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    restOrWakeTimers();
    paintCaption();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    restOrWakeTimers();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        restOrWakeTimers();
        paintCaption();
    }
}

} // namespace pelmora::app
