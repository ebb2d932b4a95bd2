#include "app/MailWindows.h"

#include "app/FormHost.h"
#include "app/MainForm.h"

#include "alert/forms/MsgForm.h"
#include "mail/MailCheck.h"
#include "settings/forms/IdPassForm.h"
#include "signin/SignInService.h"
#include "signin/forms/SignInForm.h"

namespace pelmora::app {

bool MainWindowForMail::Check2() const { return m_mainForm.Check2(); }
QString MainWindowForMail::Text7() const { return m_mainForm.Text7(); }
void MainWindowForMail::Command2_Click() { m_mainForm.Command2_Click(); }
void MainWindowForMail::Command5_Click() { m_mainForm.Command5_Click(); }

bool CheckRoutineForScheduler::isRunning() const { return m_check.isRunning(); }
void CheckRoutineForScheduler::Picture7_Click() { m_mainForm.Picture7_Click(); }

bool AccountDialogForMail::isShown() const
{
    const auto* dialog = m_forms.peek<settings::IdPassForm>();
    return dialog && dialog->isVisible();
}
void AccountDialogForMail::setIdText(const QString& text)
{
    m_forms.get<settings::IdPassForm>().setIdText(text);
}
void AccountDialogForMail::setPassText(const QString& text)
{
    m_forms.get<settings::IdPassForm>().setPassText(text);
}
void AccountDialogForMail::show() { m_forms.show<settings::IdPassForm>(); }

void NoticeBoardForMail::setText1(const QString& text)
{
    m_forms.get<alert::MsgForm>().setText1(text);
}
void NoticeBoardForMail::setText2(const QString& text)
{
    m_forms.get<alert::MsgForm>().setText2(text);
}
void NoticeBoardForMail::show() { m_forms.show<alert::MsgForm>(); }
void NoticeBoardForMail::unload()
{
    if (auto* board = m_forms.peek<alert::MsgForm>())
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
void SignInForMail::showSignInWindow() { m_forms.show<signin::SignInForm>(); }

mail::AccountSignIn::Token SignInForMail::accessToken(bool refresh)
{
    const signin::AccessToken answer = m_service.accessToken(refresh);
    return {answer.ok, answer.token, answer.failure, answer.signInAgain};
}

} // namespace pelmora::app
