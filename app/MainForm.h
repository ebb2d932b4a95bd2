#pragma once

#include "app/FormHost.h"
#include "app/PlatformServices.h"
#include "app/VbTimer.h"

#include "mail/MailLibraryLifetime.h"
#include "settings/MainWindowIntervalView.h"
#include "settings/ProgramValues.h"
#include "settings/ServerSettingsFile.h"
#include "settings/SettingsStore.h"

#include <QMainWindow>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora::app {

// What the main window needs from the rest of the application.
struct MainFormContext {
    PlatformServices& platform;
    settings::SettingsStore& store;
    settings::ServerSettingsFile& serverFile;
    settings::ProgramValues& values;
    FormHost& forms;
    mail::MailLibraryLifetime& mailLibrary;
};

// The main window "ペルモラ　Ver 1.0": the program's only permanent window. Creating it and running
// Form_Load starts the program; Form_Unload ends it. Besides its visible controls it holds the
// program's running state in hidden controls, kept here as plain members.
class MainForm : public QMainWindow, public settings::MainWindowIntervalView {
    Q_OBJECT
public:
    explicit MainForm(MainFormContext context, QWidget* parent = nullptr);
    ~MainForm() override;

    // Start-up: topmost and visible, settings loaded, dialogs created, mail library opened,
    // resting animation started.
    void Form_Load();
    // Shut-down: sound stopped, two settings saved, mail library released, process ended.
    void Form_Unload();

    // Hidden controls.
    QString Text7() const { return m_text7; } // the mail program's path, or "未設定"
    void setText7(const QString& path) { m_text7 = path; }

    // Visible state other parts read and write.
    bool Check2() const;
    void setCheck2(bool on);

    VbTimer& Timer1() { return m_timer1; }
    VbTimer& Timer2() { return m_timer2; }
    VbTimer& Timer3() { return m_timer3; }
    VbTimer& Timer4() { return m_timer4; }
    VbTimer& Timer5() { return m_timer5; }

    // settings::MainWindowIntervalView
    void setIntervalLabel(const QString& text) override;
    void setIntervalFlag(bool on) override;
    void setIntervalText(const QString& text) override;
    void setSecondTickInterval(int milliseconds) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildClientArea();

    MainFormContext m_context;

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

    QString m_text7;

    VbTimer m_timer1; // 100 ms: the check poll
    VbTimer m_timer2; // 100 ms: the alert sound watch
    VbTimer m_timer3; // 1000 ms while interval checking is on: seconds and minutes
    VbTimer m_timer4; // 20 ms: the scrolling caption
    VbTimer m_timer5; // 1000 ms: the status lamp
    bool m_unloading = false;
};

} // namespace pelmora::app
