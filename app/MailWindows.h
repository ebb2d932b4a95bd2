#pragma once

#include "mail/AccountSignIn.h"
#include "mail/MailViews.h"

namespace pelmora::signin {
class SignInService;
}

namespace pelmora::app {

class FormHost;

// The program's windows as the mail check and its announcer see them. The account dialog and the
// notice board are reached through the form host at every use, so one that has been closed is
// created anew (hidden, and loaded) when the check needs it.

class AccountDialogForMail final : public mail::AccountDialogView {
public:
    explicit AccountDialogForMail(FormHost& forms) : m_forms(forms) {}
    bool isShown() const override;
    void setIdText(const QString& text) override;
    void setPassText(const QString& text) override;
    void show() override;

private:
    FormHost& m_forms;
};

class NoticeBoardForMail final : public mail::NoticeBoardView {
public:
    explicit NoticeBoardForMail(FormHost& forms) : m_forms(forms) {}
    void setMessage(const QString& text) override;
    void setCount(const QString& text) override;
    void show() override;
    void unload() override;

private:
    FormHost& m_forms;
};

// The account's sign-in as the check sees it; the sign-in window is reached through the form host.
class SignInForMail final : public mail::AccountSignIn {
public:
    SignInForMail(signin::SignInService& service, FormHost& forms)
        : m_service(service), m_forms(forms)
    {
    }
    bool signsIn() const override;
    QString server() const override;
    QString loginName() const override;
    bool signedIn() const override;
    Token accessToken(bool refresh) override;
    void showSignInWindow() override;

private:
    signin::SignInService& m_service;
    FormHost& m_forms;
};

} // namespace pelmora::app
