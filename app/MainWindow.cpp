#include "app/MainWindow.h"

#include "alert/AlertAssets.h"
#include "settings/forms/AccountDialog.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"
#include "settings/Preferences.h"

#include "platform/forms/CaptionLabel.h"
#include "platform/forms/JapaneseFont.h"
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
using settings::kHangUpKey;
using settings::kIntervalKey;
using settings::kLaunchFlagKey;
using settings::kMailProgramKey;

const QColor kWindowColor(0x40, 0x40, 0x40);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kCyan(0x00, 0xFF, 0xFF);
const QColor kButtonFace(0xC0, 0xC0, 0xC0);

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
      m_timer1(100, nullptr, this, context.platform.timerPace),
      m_timer2(100, nullptr, this, context.platform.timerPace),
      m_timer3(0, nullptr, this, context.platform.timerPace),
      m_timer4(20, nullptr, this, context.platform.timerPace),
      m_timer5(1000, nullptr, this, context.platform.timerPace)
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"ペルモラ　Ver 1.0"_s);
    setWindowIcon(QIcon(kProgramIconFile));
    buildClientArea();
    buildMenus();
    // The window keeps the size of its client area and menu bar: it cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_context.platform.trayIcon.setEventHandler(
        [this](std::int16_t code) { TrayControl1_TrayEvent(code); });
    connect(m_command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(m_command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
}

MainWindow::~MainWindow() = default;

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
    m_picture2 = new QFrame(m_client);
    placeControl(m_picture2, u"Picture2"_s, {0, 0, 1335, 1215});
    m_picture2->setFrameShape(QFrame::NoFrame);
    m_webBrowser1 = &m_context.platform.createAnimationPane(m_picture2);

    m_label4 = makeLabel(m_client, u"Label4"_s, u"Label4"_s, {1400, 120, 495, 255});
    platform::setTextColor(m_label4, kYellow);

    m_check3 = platform::makeCheckBox(m_client, u"Check3"_s, QString(), {1920, 120, 255, 180});
    platform::setBackgroundColor(m_check3, QColor(0x00, 0x40, 0x00));
    platform::setTextColor(m_check3, Qt::white);
    makeDisplayOnly(m_check3);

    m_text5 = platform::makeTextBox(m_client, u"Text5"_s, {2160, 80, 495, 270});
    m_text5->setAlignment(Qt::AlignRight);
    m_text5->setReadOnly(true);
    makeDisplayOnly(m_text5);

    m_label2 = makeLabel(m_client, u"Label2"_s, u"分"_s, {2760, 120, 375, 255});
    platform::setBackgroundColor(m_label2, kWindowColor);
    platform::setTextColor(m_label2, Qt::white);
    m_label2->installEventFilter(this);
    m_check3->setAccessibleName(u"インターバルチェック"_s);
    m_text5->setAccessibleName(m_label2->text());

    platform::makeHorizontalLine(m_client, u"Line1"_s, 1320, 3000, 360, Qt::white);

    QLabel* launchLabel =
        makeLabel(m_client, u"Label3"_s, u"新着有りで設定メーラーを起動"_s, {1440, 480, 1320, 375});
    launchLabel->setWordWrap(true);
    platform::setTextColor(launchLabel, kCyan);
    m_check2 = platform::makeCheckBox(m_client, u"Check2"_s, QString(), {2700, 600, 255, 255});
    platform::setBackgroundColor(m_check2, kWindowColor);
    m_check2->setAccessibleName(launchLabel->text());

    m_command2 = platform::makeButton(m_client, u"Command2"_s, u"吠える♪"_s, {1440, 900, 855, 300});
    platform::setButtonFace(m_command2, kButtonFace);
    m_command3 = platform::makeButton(m_client, u"Command3"_s, u"戻す"_s, {2280, 900, 615, 300});
    platform::setButtonFace(m_command3, kButtonFace);

    // The bottom strip, holding the lamp and the scrolling caption.
    m_picture5 = new QFrame(m_client);
    placeControl(m_picture5, u"Picture5"_s, {0, 1200, 3015, 300});
    m_picture5->setFrameShape(QFrame::NoFrame);
    auto* strip = new QLabel(m_picture5);
    strip->setObjectName(u"Picture5Bitmap"_s);
    const QPixmap stripPicture(u":/pelmora/strip.png"_s);
    strip->setPixmap(stripPicture);
    strip->setGeometry(0, 0, 397, 65);
    // The strip's picture has no transparency and covers the whole strip: nothing beneath it
    // shows, so Qt need not paint the window's background there each time the caption moves, nor
    // the animation frame, which reaches a pixel under the strip. Only while the picture is there:
    // without it the strip would keep the trail of the moving caption.
    if (!stripPicture.isNull() && !stripPicture.hasAlpha()
        && stripPicture.rect().contains(QRect(QPoint(0, 0), m_picture5->size()))) {
        strip->setAttribute(Qt::WA_OpaquePaintEvent);
        m_picture5->setAttribute(Qt::WA_OpaquePaintEvent);
    }

    m_image1 = new QLabel(m_picture5);
    placeControl(m_image1, u"Image1"_s, {0, 0, 240, 240});
    m_image1->setPixmap(QPixmap(u":/pelmora/lamp-green.gif"_s));

    m_label1Caption = u"インターバルチェック"_s;
    m_label1Left = 2760;
    // Moved every 20 ms: a label that keeps its laid-out text (QLabel lays it out at every paint).
    m_label1 = new platform::CaptionLabel(m_label1Caption, m_picture5);
    placeControl(m_label1, u"Label1"_s, {m_label1Left, 0, 2415, 255});
    m_label1->setFont(platform::japaneseGothicFont(11.25, true));
    platform::setTextColor(m_label1, kYellow);
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

    m_mfile = menuBar()->addMenu(u"ファイル(&F)"_s);
    m_mfile->setObjectName(u"mfile"_s);
    addItem(m_mfile, "mcheck", u"メールチェック（手動）"_s, [this] { Command8_Click(); });
    addSeparator(m_mfile, "mline");
    addItem(m_mfile, "mset", u"起動メーラーの設定"_s, [this] { Command7_Click(); });
    addItem(m_mfile, "mtask", u"タスクトレイに常駐"_s, [this] { Command1_Click(); });
    addItem(m_mfile, "mset2", u"設定"_s, [this] { Command9_Click(); });
    // Sign-in with the mailbox's provider, for mailboxes that no longer take a password.
    addItem(m_mfile, "msignin", u"サインイン"_s, [this] { run(m_routines.showSignIn); });
    addSeparator(m_mfile, "mline2");
    addItem(m_mfile, "mzenmen", u"常に前面表示"_s, [this] { mzenmen_Click(); });
    addItem(m_mfile, "mkaijyo", u"前面表示解除"_s, [this] { mkaijyo_Click(); });
    addSeparator(m_mfile, "mline4");
    addItem(m_mfile, "mhp", u"作者のホームページ"_s, [this] { Command10_Click(); });

    // The tray icon's pop-up menu; it never appears on the menu bar.
    m_mnuPopup = new QMenu(u"popup"_s, this);
    m_mnuPopup->setObjectName(u"mnuPopup"_s);
    addItem(m_mnuPopup, "mnu_Popup0", u"メイン画面を表示"_s, [this] { mnuPopup_Show(); });
    addSeparator(m_mnuPopup, "mnu_Popup1");
    addItem(m_mnuPopup, "mnu_Popup2", u"終了"_s, [this] { Form_Unload(); });
}

void MainWindow::Form_Load()
{
    auto& services = m_context.platform;
    auto& forms = m_context.forms;
    auto& store = m_context.store;

    // 1. Topmost and visible.
    services.windowPositioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0, 0,
                                           platform::kSwpKeepGeometryAndShow);

    // 2. The hang-up flag, read first and applied once the preferences have been loaded (loading
    // the interval gives the interval display and the one-second tick their first state).
    auto& preferences = m_context.preferences;
    settings::PreferenceRules preferenceRules(preferences, store, *this);
    const std::int32_t hangUp = store.readNumber(ProfileFile::Main, kHangUpKey);
    preferenceRules.load();
    preferences.hangUpAfterCheck = settings::applyStoredFlag(hangUp, preferences.hangUpAfterCheck);

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
    m_webBrowser1->navigate(
        alert::animationUrl(services.programFolder, alert::kRestingAnimationLiteral));

    // 9. No alert sound left open.
    services.multimedia.mciSendString(u"stop bgm"_s);
    services.multimedia.mciSendString(u"close bgm"_s);

    // 10. The stored interval; it takes effect again only if the text really changes.
    const QString interval = QString::number(store.readNumber(ProfileFile::Main, kIntervalKey));
    if (interval != preferences.interval)
        preferenceRules.setInterval(interval);

    // 11. The mail program's path.
    m_text7 = store.readText(ProfileFile::Main, kMailProgramKey,
                             QString::fromUtf16(settings::kMailProgramNotSet));

    // 12. Whether new mail starts the mail program. Any value but 0 or 1 leaves it unticked.
    setCheck2(settings::applyStoredFlag(store.readNumber(ProfileFile::Main, kLaunchFlagKey), false));
}

void MainWindow::Form_Unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    auto& services = m_context.platform;

    services.multimedia.mciSendString(u"stop bgm"_s);
    services.multimedia.mciSendString(u"close bgm"_s);
    m_timer2.setEnabled(false);
    m_context.store.writeKey(ProfileFile::Main, kMailProgramKey, m_text7);
    m_context.store.writeFlag(ProfileFile::Main, kLaunchFlagKey, Check2());
    // No session may wait on the network once the program ends.
    services.mailbox.closeAll();
    // Ends at once: no other window runs its unload handling, so an open preferences dialog
    // saves nothing, and no timer ticks again.
    for (platform::VbTimer* timer : {&m_timer1, &m_timer3, &m_timer4, &m_timer5})
        timer->setEnabled(false);
    services.processExit.endProcess();
}

void MainWindow::run(const std::function<void()>& routine)
{
    if (routine)
        routine();
}

void MainWindow::Command1_Click()
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

void MainWindow::Command2_Click() { run(m_routines.startAlert); }
void MainWindow::Command3_Click() { run(m_routines.stopAlert); }
void MainWindow::Command5_Click() { run(m_routines.hangUp); }
void MainWindow::Command7_Click() { run(m_routines.chooseMailProgram); }
void MainWindow::Command8_Click() { run(m_routines.checkMail); }
void MainWindow::Picture7_Click() { run(m_routines.checkMail); }

void MainWindow::Command9_Click()
{
    m_context.forms.show<settings::PreferencesDialog>();
}

void MainWindow::Command10_Click()
{
    Picture10_Click();
}

void MainWindow::Picture10_Click()
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

void MainWindow::mzenmen_Click()
{
    m_context.platform.windowPositioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0,
                                                     0, platform::kSwpKeepGeometryAndShow);
}

void MainWindow::mkaijyo_Click()
{
    m_context.platform.windowPositioner.setWindowPos(this, platform::InsertAfter::NoTopmost, 0, 0,
                                                     0, 0, platform::kSwpKeepGeometryAndShow);
}

void MainWindow::mnuPopup_Show()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::TrayControl1_TrayEvent(std::int16_t code)
{
    if (code == 0) {
        m_context.platform.messageBox.msgBox(u"Clicked!"_s, platform::msgbox::kExclamation,
                                             u"Pelmora"_s);
    } else if (code == 1) {
        m_mnuPopup->popup(QCursor::pos());
    }
}

void MainWindow::Label2_DblClick()
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
    if (watched == m_label2 && event->type() == QEvent::MouseButtonDblClick) {
        Label2_DblClick();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore(); // the process ends inside Form_Unload
    Form_Unload();
}

bool MainWindow::Check2() const
{
    return m_check2->isChecked();
}

void MainWindow::setCheck2(bool on)
{
    m_check2->setChecked(on);
}

void MainWindow::setIntervalLabel(const QString& text)
{
    m_label4->setText(text);
}

void MainWindow::setIntervalFlag(bool on)
{
    m_check3->setChecked(on);
}

void MainWindow::setIntervalText(const QString& text)
{
    m_text5->setText(text);
}

void MainWindow::setSecondTickInterval(int milliseconds)
{
    m_timer3.setInterval(milliseconds);
}

void MainWindow::navigateAnimation(const QString& url)
{
    m_webBrowser1->navigate(url);
}

int MainWindow::Check3() const
{
    return m_check3->isChecked() ? 1 : 0;
}

void MainWindow::setImage1Picture(const QString& pictureFile)
{
    QPixmap picture;
    if (!picture.load(pictureFile))
        return;
    // The lamp is loaded anew at every tick, mostly the picture already shown: setting it again
    // would repaint the lamp for nothing.
    if (m_image1->pixmap().toImage() == picture.toImage())
        return;
    m_image1->setPixmap(picture);
}

bool MainWindow::isShownOnScreen() const
{
    return isVisible() && !isMinimized();
}

void MainWindow::setLabel1Caption(const QString& caption)
{
    m_label1Caption = caption;
    paintCaption();
}

void MainWindow::setLabel1Left(int twips)
{
    m_label1Left = twips;
    paintCaption();
}

void MainWindow::paintCaption()
{
    // Hidden in the tray or minimised, the caption moves on without being drawn.
    if (!isShownOnScreen())
        return;
    if (m_label1->text() != m_label1Caption)
        m_label1->setText(m_label1Caption);
    m_label1->move(platform::twipsToPixels(m_label1Left), m_label1->y());
}

void MainWindow::restOrWakeCaptionTimer()
{
    if (!isShownOnScreen()) {
        m_timer4.rest();
        return;
    }
    const std::int64_t missed = m_timer4.wake();
    if (missed > 0 && m_routines.catchUpCaption)
        m_routines.catchUpCaption(missed);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    restOrWakeCaptionTimer();
    paintCaption();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    restOrWakeCaptionTimer();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        restOrWakeCaptionTimer();
        paintCaption();
    }
}

} // namespace pelmora::app
