#include "app/MailWindows.h"

#include "app/FormHost.h"

#include "alert/forms/NoticeBoard.h"
#include "settings/forms/AccountDialog.h"
#include "signin/SignInService.h"
#include "signin/forms/SignInWindow.h"

namespace pelmora::app {

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

void NoticeBoardForMail::setMessage(const QString& text)
{
    m_forms.get<alert::NoticeBoard>().setMessage(text);
}
void NoticeBoardForMail::setCount(const QString& text)
{
    m_forms.get<alert::NoticeBoard>().setCount(text);
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
