#pragma once

#include "signin/SignInChoice.h"

#include "platform/forms/Form.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora::signin {

class SignInService;

// The window "サインイン": which provider the account signs in with, the client the user
// registered there, the login name, and for another provider its endpoints, scope and server;
// "サインイン" opens the provider's page in the browser, "サインアウト" forgets the sign-in. The
// state line says who is signed in, where the token is kept, or why not.
class SignInWindow : public platform::Form {
    Q_OBJECT
public:
    explicit SignInWindow(SignInService& service, QWidget* parent = nullptr);

    // Fills the boxes from the saved choice (Microsoft's preset when there is none).
    void loadContents() override;

    void startSignIn(); // Command1: "サインイン"
    void signOut();     // Command2: "サインアウト"

    // What the boxes hold now.
    SignInChoice enteredChoice() const;

protected:
    void escapePressed() override { unload(); }

private:
    void buildLayout();
    void providerChanged();
    void showChoice(const SignInChoice& choice);
    void showState();
    void showText(const QString& text);
    void setBusy(bool busy);

    SignInService& m_service;
    QComboBox* m_provider = nullptr;
    QLineEdit* m_clientId = nullptr;
    QLineEdit* m_clientSecret = nullptr;
    QLineEdit* m_loginName = nullptr;
    QLineEdit* m_authorizationUrl = nullptr;
    QLineEdit* m_tokenUrl = nullptr;
    QLineEdit* m_scope = nullptr;
    QLineEdit* m_server = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_signIn = nullptr;
    QPushButton* m_signOut = nullptr;
};

} // namespace pelmora::signin
