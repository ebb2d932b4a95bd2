#include "app/Application.h"

#include "app/MailWindows.h"

#include "alert/forms/NoticeBoard.h"
#include "mail/CheckAnnouncer.h"
#include "mail/CheckScheduler.h"
#include "mail/DialUpHangUp.h"
#include "mail/MailCheck.h"
#include "mail/NewMailWatcher.h"

#include "settings/forms/AccountDialog.h"
#include "settings/forms/NoticeOptionsWindow.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"
#include "signin/SignInService.h"
#include "signin/forms/SignInWindow.h"

#include "platform/ProgramPaths.h"

#include <QGuiApplication>

namespace pelmora::app {

using namespace Qt::StringLiterals;

Application::Application(platform::PlatformServices& platform)
    : m_platform(platform),
      m_store(platform.profileFiles, platform.codec, platform.programFolder),
      m_serverFile(platform.codec),
      m_noticeOptions(platform::programFilePath(platform.programFolder, u"\\★MailData"_s)),
      m_announced(platform::programFilePath(platform.programFolder, u"\\★MailData"_s)),
      m_signIn(std::make_unique<signin::SignInService>(
          platform::programFilePath(platform.programFolder, u"\\★MailData"_s),
          platform.secretStore, platform.homepageBrowser))
{
    m_mainWindow = std::make_unique<MainWindow>(
        MainWindowContext{m_platform, m_store, m_serverFile, m_values, m_forms});
    registerForms();
    wireAlert();
    wireMailCheck();
    // Only the main window's unloading ends the program: hiding it in the tray, or closing
    // every other window, must not.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() = default;

struct Application::MailParts {
    explicit MailParts(Application& app)
        : account(app.m_forms), board(app.m_forms), signIn(*app.m_signIn, app.m_forms),
          hangUp(app.m_platform.remoteAccess),
          announcer({app.m_platform.messageBox, app.m_platform.programLauncher,
                     app.m_platform.trayIcon, app.m_platform.tickCounter,
                     app.m_platform.desktopNotifications},
                    *app.m_mainWindow, board, *app.m_alert, app.m_preferences, app.m_noticeOptions),
          check({app.m_platform.mailbox, signIn, account, hangUp, announcer, app.m_noticeOptions,
                 app.m_announced},
                app.m_preferences, app.m_store, app.m_values),
          scheduler(app.m_preferences, check, app.m_platform.timerPace),
          watcher({app.m_platform.mailbox, check, app.m_platform.connectivity,
                   [this] { return check.currentServer(); },
                   [this](bool withSecret) { return check.currentLogin(withSecret); },
                   [&app](bool healthy) { app.m_statusLamp->setConnectionLost(!healthy); }},
                  app.m_preferences),
          intervalSwitches(scheduler, watcher),
          preferenceRules(app.m_preferences, app.m_store, *app.m_mainWindow, intervalSwitches)
    {
        check.setAfterCheck([this] { watcher.reconsider(); });
    }
    AccountDialogForMail account;
    NoticeBoardForMail board;
    SignInForMail signIn;
    mail::DialUpHangUp hangUp;
    mail::CheckAnnouncer announcer;
    mail::MailCheck check;
    mail::CheckScheduler scheduler;
    // New mail told by the server as it comes, beside the scheduler's checks.
    mail::NewMailWatcher watcher;
    settings::IntervalSwitches intervalSwitches;
    settings::PreferenceRules preferenceRules;
};

mail::CheckScheduler& Application::scheduler()
{
    return m_mail->scheduler;
}

mail::NewMailWatcher& Application::mailWatcher()
{
    return m_mail->watcher;
}

void Application::wireMailCheck()
{
    m_mail = std::make_unique<MailParts>(*this);
    MainWindowRoutines& routines = m_mainWindow->routines();
    routines.checkMail = [this] { m_mail->check.run(); };
    routines.showSignIn = [this] { m_forms.show<signin::SignInWindow>(); };
    routines.showOptions = [this] { m_forms.show<settings::NoticeOptionsWindow>(); };
    routines.loadPreferences = [this] { m_mail->preferenceRules.loadAtStart(); };
    routines.reloadInterval = [this] { m_mail->preferenceRules.reloadStoredInterval(); };
    routines.stopChecking = [this] {
        m_mail->scheduler.stop();
        m_mail->watcher.stop();
    };
}

void Application::registerForms()
{
    // The forms are created on first use, after the mail check has been wired.
    m_forms.registerForm<settings::PreferencesDialog>([this] {
        return new settings::PreferencesDialog(m_preferences, m_store, *m_mainWindow,
                                               m_mail->intervalSwitches, *this, m_platform.messageBox);
    });
    m_forms.registerForm<settings::AccountDialog>(
        [this] { return new settings::AccountDialog(m_store, m_values, m_platform.messageBox); });
    m_forms.registerForm<settings::ServerDialog>([this] {
        return new settings::ServerDialog(m_values, m_serverFile, m_platform.windowPositioner,
                                          m_platform.messageBox);
    });
    m_forms.registerForm<settings::NoticeOptionsWindow>([this] {
        settings::NoticeOptionsWindow::AnnouncedRecord record{
            [this] { return m_announced.forget(); },
            // An empty record of the account: none of its messages was announced.
            [this] { return m_announced.markAnnounced(m_mail->check.account(), {}, {}); },
        };
        return new settings::NoticeOptionsWindow(m_noticeOptions, std::move(record),
                                                 m_platform.messageBox);
    });
    m_forms.registerForm<signin::SignInWindow>(
        [this] { return new signin::SignInWindow(*m_signIn); });
    m_forms.registerForm<alert::NoticeBoard>(
        [this] { return new alert::NoticeBoard(m_platform.windowPositioner); });
}

void Application::wireAlert()
{
    MainWindow& window = *m_mainWindow;
    m_alert = std::make_unique<alert::AlertPresenter>(m_platform.multimedia,
                                                      m_platform.programFolder, window);
    m_statusLamp = std::make_unique<alert::StatusLamp>(m_platform.programFolder, window);
    m_mailProgramChoice = std::make_unique<alert::MailProgramChoice>(
        m_platform.fileDialog, m_platform.fileTitle, m_platform.codec, window);

    MainWindowRoutines& routines = window.routines();
    routines.startAlert = [this] { m_alert->start(); };
    routines.stopAlert = [this] { m_alert->stop(); };
    routines.chooseMailProgram = [this] { m_mailProgramChoice->choose(); };
    routines.catchUpCaption = [this](std::int64_t missed) {
        m_mailProgramChoice->catchUpCaption(missed);
    };
    window.soundWatchTimer().setHandler([this] { m_alert->onSoundWatchTick(); });
    window.captionTimer().setHandler([this] { m_mailProgramChoice->onCaptionTick(); });
    window.lampTimer().setHandler([this] { m_statusLamp->onLampTick(); });
}

void Application::start()
{
    m_mainWindow->startUp();
    // The server and the account are known now: the watch of the mailbox can begin.
    m_mail->watcher.reconsider();
}

void Application::showAccountDialog()
{
    m_forms.show<settings::AccountDialog>();
}

void Application::showServerDialog()
{
    m_forms.show<settings::ServerDialog>();
}

} // namespace pelmora::app
