#pragma once

#include "app/FormHost.h"
#include "platform/ports/PlatformServices.h"
#include "platform/VbTimer.h"

#include "alert/AlertWindowView.h"

#include "settings/MainWindowIntervalView.h"
#include "settings/Preferences.h"
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

namespace pelmora::app {

// The routines that other parts of the program run when a button, menu item or timer of the main
// window calls them. A routine that is not wired does nothing.
struct MainWindowRoutines {
    std::function<void()> checkMail;          // Command8 / Picture7: one mail check
    std::function<void()> chooseMailProgram;  // Command7: choose the mail program
    std::function<void()> hangUp;             // Command5: hang up dial-up connections
    std::function<void()> startAlert;         // Command2: "吠える♪"
    std::function<void()> stopAlert;          // Command3: "戻す"
    std::function<void()> showSignIn;         // msignin: the sign-in window
    // Timer4's ticks that fell due while the window could not be seen (Timer4 rests then).
    std::function<void(std::int64_t)> catchUpCaption;
};

// What the main window needs from the rest of the application.
struct MainWindowContext {
    platform::PlatformServices& platform;
    settings::SettingsStore& store;
    settings::ServerSettingsFile& serverFile;
    settings::ProgramValues& values;
    settings::Preferences& preferences;
    FormHost& forms;
};

// The main window "ペルモラ　Ver 1.0": the program's only permanent window. Creating it and running
// Form_Load starts the program; Form_Unload ends it. Besides its visible controls it holds the
// program's running state in hidden controls, kept here as plain members.
class MainWindow : public QMainWindow,
                 public settings::MainWindowIntervalView,
                 public alert::AlertWindowView,
                 public alert::LampWindowView,
                 public alert::MailProgramWindowView {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowContext context, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: topmost and visible, settings and preferences loaded, the account dialog created,
    // mail library opened, resting animation started.
    void Form_Load();
    // Shut-down: sound stopped, two settings saved, mail library released, process ended.
    void Form_Unload();

    void setRoutines(MainWindowRoutines routines) { m_routines = std::move(routines); }
    MainWindowRoutines& routines() { return m_routines; }

    // Buttons and pictures used as routines.
    void Command1_Click();  // move to the task tray
    void Command2_Click();  // start the alert
    void Command3_Click();  // stop the alert
    void Command5_Click();  // hang up
    void Command7_Click();  // choose the mail program
    void Command8_Click();  // one mail check
    void Command9_Click();  // show the preferences dialog
    void Command10_Click(); // the homepage prompt
    void Picture7_Click();  // one mail check (the scheduler's routine)
    void Picture10_Click(); // the homepage prompt

    // Menu commands that belong to the window itself.
    void mzenmen_Click(); // always on top
    void mkaijyo_Click(); // always on top off
    void mnuPopup_Show(); // "メイン画面を表示"
    void Label2_DblClick(); // the about box

    // The tray icon's event: 0 a click, 1 the pop-up menu, anything else nothing.
    void TrayControl1_TrayEvent(std::int16_t code);

    QMenu& mnuPopup() { return *m_mnuPopup; }

    // The tip text of the tray icon for a moment: short date, then long time.
    static QString trayTipText(const QDateTime& moment);

    // The address the homepage prompt opens: the user guide in the program folder.
    QUrl homepageAddress() const;

    // Hidden controls.
    QString Text7() const override { return m_text7; } // the mail program's path, or "未設定"
    void setText7(const QString& path) override { m_text7 = path; }
    QString Text8() const override { return m_text8; } // the file title of Text7
    void setText8(const QString& title) override { m_text8 = title; }
    int Check1() const override { return m_check1; } // "ループ": repeat the alert sound
    void setCheck1(int value) { m_check1 = value; }

    // Visible state other parts read and write.
    bool Check2() const;
    void setCheck2(bool on);

    platform::VbTimer& Timer1() { return m_timer1; }
    platform::VbTimer& Timer2() { return m_timer2; }
    platform::VbTimer& Timer3() { return m_timer3; }
    platform::VbTimer& Timer4() { return m_timer4; }
    platform::VbTimer& Timer5() { return m_timer5; }

    // settings::MainWindowIntervalView
    void setIntervalLabel(const QString& text) override;
    void setIntervalFlag(bool on) override;
    void setIntervalText(const QString& text) override;
    void setSecondTickInterval(int milliseconds) override;

    // alert::AlertWindowView, LampWindowView, MailProgramWindowView
    void navigateAnimation(const QString& url) override;
    void setSoundWatchEnabled(bool on) override { m_timer2.setEnabled(on); }
    int Check3() const override;
    void setImage1Picture(const QString& pictureFile) override;
    void restartLampTimer() override { m_timer5.restart(); }
    bool isShownOnScreen() const override;
    void setLabel1Caption(const QString& caption) override;
    int Label1Left() const override { return m_label1Left; }
    void setLabel1Left(int twips) override;
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
    // Timer4 moves a caption nobody sees while the window is hidden or minimised: it rests then,
    // and the caption catches up when the window comes back.
    void restOrWakeCaptionTimer();

    MainWindowContext m_context;
    MainWindowRoutines m_routines;

    QWidget* m_client = nullptr;
    QFrame* m_picture2 = nullptr;
    platform::AnimationPane* m_webBrowser1 = nullptr;
    QLabel* m_label4 = nullptr;
    QCheckBox* m_check3 = nullptr;
    QLineEdit* m_text5 = nullptr;
    QCheckBox* m_check2 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QFrame* m_picture5 = nullptr;
    QLabel* m_image1 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QMenu* m_mfile = nullptr;
    QMenu* m_mnuPopup = nullptr;

    QString m_text7;
    QString m_text8;
    int m_check1 = 1;
    QString m_label1Caption;
    int m_label1Left = 0; // twips

    platform::VbTimer m_timer1; // 100 ms: the check poll
    platform::VbTimer m_timer2; // 100 ms: the alert sound watch
    platform::VbTimer m_timer3; // 1000 ms while interval checking is on: seconds and minutes
    platform::VbTimer m_timer4; // 20 ms: the scrolling caption
    platform::VbTimer m_timer5; // 1000 ms: the status lamp
    bool m_unloading = false;
};

} // namespace pelmora::app
