#pragma once

#include "app/FormHost.h"
#include "platform/ports/PlatformServices.h"
#include "platform/VbTimer.h"

#include "alert/AlertWindowView.h"
#include "mail/MailViews.h"

#include "settings/MainWindowIntervalView.h"
#include "settings/ProgramValues.h"
#include "settings/ServerSettingsFile.h"
#include "settings/SettingsStore.h"

#include <QMainWindow>
#include <QUrl>

#include <cstdint>
#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace pelmora::platform {
class CaptionLabel;
class PictureFrame;
}

namespace pelmora::app {

// The routines that other parts of the program run when a button, menu item or timer of the main
// window calls them. A routine that is not wired does nothing.
struct MainWindowRoutines {
    std::function<void()> checkMail;          // mcheck: one mail check
    std::function<void()> chooseMailProgram;  // mset: choose the mail program
    std::function<void()> startAlert;         // Command2: "吠える♪"
    std::function<void()> stopAlert;          // Command3: "戻す"
    std::function<void()> showSignIn;         // msignin: the sign-in window
    // The caption timer's ticks that fell due while the window could not be seen (it rests then).
    std::function<void(std::int64_t)> catchUpCaption;
    // Start-up: the stored preferences take effect (they switch interval checking and show on
    // this window); later the stored interval once more, should it differ from the one in use.
    std::function<void()> loadPreferences;
    std::function<void()> reloadInterval;
    // Shut-down: no check is started again.
    std::function<void()> stopChecking;
    std::function<void()> showOptions; // moptions: the window "オプション"
};

// What the main window needs from the rest of the application.
struct MainWindowContext {
    platform::PlatformServices& platform;
    settings::SettingsStore& store;
    settings::ServerSettingsFile& serverFile;
    settings::ProgramValues& values;
    FormHost& forms;
};

// The main window "ペルモラ　Ver 1.0": the program's only permanent window. Creating it and running
// startUp() starts the program; quit() ends it. Besides its visible controls it holds the
// program's running state in hidden controls, kept here as plain members. It shows whether
// interval checking is on and its minutes; the scheduler that counts them is the mail check's.
class MainWindow : public QMainWindow,
                   public settings::MainWindowIntervalView,
                   public alert::AlertWindowView,
                   public alert::LampWindowView,
                   public alert::MailProgramWindowView,
                   public mail::MailProgramView {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowContext context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: topmost and visible, settings and preferences loaded, the account dialog created,
    // resting animation started.
    void startUp();
    // Shut-down: sound stopped, two settings saved, mailbox sessions closed, process ended.
    void quit();

    void setRoutines(MainWindowRoutines routines) { m_routines = std::move(routines); }
    MainWindowRoutines& routines() { return m_routines; }

    // Buttons and menu items.
    void moveToTray();        // mtask: "タスクトレイに常駐"
    void startAlert();        // Command2: "吠える♪"
    void stopAlert();         // Command3: "戻す"
    void chooseMailProgram(); // mset: "起動メーラーの設定"
    void checkNow();          // mcheck: "メールチェック（手動）"
    void showPreferences();   // mset2: "設定"
    void offerHomepage();     // mhp: "作者のホームページ"
    void keepOnTop();         // mzenmen: "常に前面表示"
    void stopKeepingOnTop();  // mkaijyo: "前面表示解除"
    void showFromTray();      // mnu_Popup0: "メイン画面を表示"
    void showAbout();         // a double click on Label2: the about box

    // The tray icon's event: 0 a click, 1 the pop-up menu, anything else nothing.
    void onTrayEvent(std::int16_t code);

    QMenu& trayMenu() { return *m_trayMenu; }

    // The tip text of the tray icon for a moment: short date, then long time.
    static QString trayTipText(const QDateTime& moment);

    // The address the homepage prompt opens: the user guide in the program folder.
    QUrl homepageAddress() const;

    // Hidden state: the mail program's path (or "未設定") and its file title, and "ループ",
    // whether the alert sound repeats.
    QString mailProgramPath() const override { return m_mailProgramPath; }
    void setMailProgramPath(const QString& path) override { m_mailProgramPath = path; }
    QString mailProgramTitle() const override { return m_mailProgramTitle; }
    void setMailProgramTitle(const QString& title) override { m_mailProgramTitle = title; }
    int soundLoopFlag() const override { return m_soundLoopFlag; }
    void setSoundLoopFlag(int value) { m_soundLoopFlag = value; }

    // Check2: new mail starts the mail program instead of the board and the alert.
    bool startsMailProgram() const override;
    void setStartsMailProgram(bool on);

    platform::VbTimer& soundWatchTimer() { return m_soundWatchTimer; }
    platform::VbTimer& captionTimer() { return m_captionTimer; }
    platform::VbTimer& lampTimer() { return m_lampTimer; }

    // settings::MainWindowIntervalView
    void setIntervalLabel(const QString& text) override;
    void setIntervalFlag(bool on) override;
    void setIntervalText(const QString& text) override;

    // alert::AlertWindowView, LampWindowView, MailProgramWindowView
    void navigateAnimation(const QString& url) override;
    void setSoundWatchEnabled(bool on) override { m_soundWatchTimer.setEnabled(on); }
    int intervalCheckingFlag() const override;
    void setLampPicture(const QString& pictureFile) override;
    void restartLampTimer() override { m_lampTimer.restart(); }
    bool isShownOnScreen() const override;
    void setCaption(const QString& caption) override;
    int captionLeft() const override { return m_captionLeft; }
    void setCaptionLeft(int twips) override;
    QWidget* dialogOwner() override { return this; }

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildClientArea();
    void buildMenus();
    static void run(const std::function<void()>& routine);
    void paintCaption(); // Label1 as kept, once the window is on screen
    // The caption and lamp timers would tick for a window nobody sees while it is hidden or
    // minimised: they rest then, so the process can sleep, and the caption catches up when the
    // window comes back.
    void restOrWakeTimers();

    MainWindowContext m_context;
    MainWindowRoutines m_routines;

    QWidget* m_client = nullptr;
    QFrame* m_animationFrame = nullptr;
    platform::AnimationPane* m_animation = nullptr;
    QLabel* m_intervalLabel = nullptr;
    QCheckBox* m_intervalFlag = nullptr;
    QLineEdit* m_intervalMinutes = nullptr;
    QCheckBox* m_startsMailProgramBox = nullptr;
    QPushButton* m_startAlertButton = nullptr;
    QPushButton* m_stopAlertButton = nullptr;
    platform::PictureFrame* m_strip = nullptr;
    QLabel* m_lamp = nullptr;
    platform::CaptionLabel* m_caption = nullptr;
    QLabel* m_minutesLabel = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_trayMenu = nullptr;

    QString m_mailProgramPath;
    QString m_mailProgramTitle;
    int m_soundLoopFlag = 1;
    QString m_captionText;
    int m_captionLeft = 0; // twips

    platform::VbTimer m_soundWatchTimer; // 100 ms while a sound is open: the alert sound watch
    platform::VbTimer m_captionTimer;    // 20 ms: the scrolling caption
    platform::VbTimer m_lampTimer;       // 1000 ms: the status lamp
    bool m_unloading = false;
    bool m_screenLocked = false;
};

} // namespace pelmora::app
