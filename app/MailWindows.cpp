#include "app/MailWindows.h"

#include "app/FormHost.h"
#include "app/MainWindow.h"

#include "alert/forms/NoticeBoard.h"
#include "mail/MailCheck.h"
#include "settings/forms/AccountDialog.h"
#include "signin/SignInService.h"
#include "signin/forms/SignInWindow.h"

namespace pelmora::app {

bool MainWindowForMail::Check2() const { return m_mainWindow.Check2(); }
QString MainWindowForMail::Text7() const { return m_mainWindow.Text7(); }
void MainWindowForMail::Command2_Click() { m_mainWindow.Command2_Click(); }
void MainWindowForMail::Command5_Click() { m_mainWindow.Command5_Click(); }

bool CheckRoutineForScheduler::isRunning() const { return m_check.isRunning(); }
void CheckRoutineForScheduler::Picture7_Click() { m_mainWindow.Picture7_Click(); }

bool AccountDialogForMail::isShown() const
{
    const auto* dialog = m_forms.peek<settings::AccountDialog>();
    return dialog && dialog->isVisible();
}
void AccountDialogForMail::setIdText(const QString& text)
{
    m_forms.get<settings::AccountDialog>().setIdText(text);
}
void AccountDialogForMail::setPassText(const QString& text)
{
    m_forms.get<settings::AccountDialog>().setPassText(text);
}
void AccountDialogForMail::show() { m_forms.show<settings::AccountDialog>(); }

void NoticeBoardForMail::setText1(const QString& text)
{
    m_forms.get<alert::NoticeBoard>().setText1(text);
}
void NoticeBoardForMail::setText2(const QString& text)
{
    m_forms.get<alert::NoticeBoard>().setText2(text);
}
void NoticeBoardForMail::show() { m_forms.show<alert::NoticeBoard>(); }
void NoticeBoardForMail::unload()
{
    if (auto* board = m_forms.peek<alert::NoticeBoard>())
        board->unload();
}

bool SignInForMail::signsIn() const { return m_service.accountSignsIn(); }
QString SignInForMail::server() const { return m_service.choice().server; }
QString SignInForMail::loginName() const { return m_service.choice().loginName; }
bool SignInForMail::signedIn() const
{
    // The keyring is read after the start; a check that comes first waits for its answer.
    m_service.waitForKeyring();
    return m_service.state().signedIn;
}
void SignInForMail::showSignInWindow() { m_forms.show<signin::SignInWindow>(); }

mail::AccountSignIn::Token SignInForMail::accessToken(bool refresh)
{
    const signin::AccessToken answer = m_service.accessToken(refresh);
    return {answer.ok, answer.token, answer.failure, answer.signInAgain};
}

} // namespace pelmora::app
