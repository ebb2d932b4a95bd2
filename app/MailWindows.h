#pragma once

#include "mail/CheckScheduler.h"
#include "mail/AccountSignIn.h"
#include "mail/MailViews.h"

namespace pelmora::mail {
class MailCheck;
}
namespace pelmora::signin {
class SignInService;
}

namespace pelmora::app {

class FormHost;
class MainWindow;

// The program's windows as the mail check and its scheduler see them. The account dialog and the
// notice board are reached through the form host at every use, so one that has been closed is
// created anew (hidden, and loaded) when the check needs it.

class MainWindowForMail final : public mail::CheckWindowView {
public:
    explicit MainWindowForMail(MainWindow& mainWindow) : m_mainWindow(mainWindow) {}
    bool Check2() const override;
    QString Text7() const override;
    void Command2_Click() override;
    void Command5_Click() override;

private:
    MainWindow& m_mainWindow;
};

// The scheduler starts checks through the main window's routine, as the menu does.
class CheckRoutineForScheduler final : public mail::CheckRoutine {
public:
    CheckRoutineForScheduler(MainWindow& mainWindow, const mail::MailCheck& check)
        : m_mainWindow(mainWindow), m_check(check)
    {
    }
    bool isRunning() const override;
    void Picture7_Click() override;

private:
    MainWindow& m_mainWindow;
    const mail::MailCheck& m_check;
};

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
    void setText1(const QString& text) override;
    void setText2(const QString& text) override;
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
