#pragma once

#include "app/FormHost.h"
#include "app/MainWindow.h"
#include "platform/ports/PlatformServices.h"

#include "alert/AlertPresenter.h"
#include "alert/MailProgramChoice.h"
#include "alert/StatusLamp.h"
#include "mail/CheckScheduler.h"
#include "mail/NewMailWatcher.h"

#include "mail/AnnouncedMessages.h"

#include "settings/MainWindowIntervalView.h"
#include "settings/NoticeOptions.h"
#include "settings/Preferences.h"
#include "settings/ProgramValues.h"
#include "settings/ServerSettingsFile.h"
#include "settings/SettingsStore.h"

#include <memory>

namespace pelmora::signin {
class SignInService;
}

namespace pelmora::app {

// The program as a whole: the program-wide values, the settings store, the form host and the
// main window, wired to the platform services. The only place that sees every subsystem.
class Application : public settings::DialogOpener {
public:
    explicit Application(platform::PlatformServices& platform);
    ~Application() override;

    // Creates the main window and runs its start-up.
    void start();

    MainWindow& mainWindow() { return *m_mainWindow; }
    FormHost& forms() { return m_forms; }
    settings::ProgramValues& values() { return m_values; }
    settings::Preferences& preferences() { return m_preferences; }
    mail::CheckScheduler& scheduler();
    mail::NewMailWatcher& mailWatcher();
    settings::SettingsStore& store() { return m_store; }
    signin::SignInService& signIn() { return *m_signIn; }

    // settings::DialogOpener
    void showAccountDialog() override;
    void showServerDialog() override;

private:
    void registerForms();
    void wireAlert();
    void wireMailCheck();

    platform::PlatformServices& m_platform;
    settings::ProgramValues m_values;
    // What the preferences dialog edits; the mail check and its scheduler read it.
    settings::Preferences m_preferences;
    settings::SettingsStore m_store;
    settings::ServerSettingsFile m_serverFile;
    // The window "オプション"'s file, and the record of mail announced under "only new mail".
    settings::NoticeOptionsFile m_noticeOptions;
    mail::AnnouncedMessages m_announced;
    // The account's sign-in with its provider, for mailboxes that take a token, not a password.
    std::unique_ptr<signin::SignInService> m_signIn;
    // Declared before the form host so that the dialogs, which write to the main window, are
    // destroyed first.
    std::unique_ptr<MainWindow> m_mainWindow;
    FormHost m_forms;
    std::unique_ptr<alert::AlertPresenter> m_alert;
    std::unique_ptr<alert::StatusLamp> m_statusLamp;
    std::unique_ptr<alert::MailProgramChoice> m_mailProgramChoice;
    // The mail check, its announcer, its scheduler and the hang-up, with the windows as they see
    // them, and the preference rules that switch the scheduler.
    struct MailParts;
    std::unique_ptr<MailParts> m_mail;
};

} // namespace pelmora::app
