#pragma once

// OAuth 2 sign-in for mailboxes that no longer take a password. The account's sign-in choice is
// kept in its own settings file in the data folder; the refresh token only in the desktop keyring
// (or, without one, in memory for this run); access tokens only in memory.
//
// Interface agreed between the sign-in window, the mail check and the application; the
// implementation lives beside it in this folder.

#include "signin/SignInChoice.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

namespace pelmora::platform {
class HomepageBrowser;
class SecretStore;
}

namespace pelmora::signin {

// What the sign-in window shows about the account.
struct SignInState {
    bool signedIn = false;   // a refresh token is kept for the saved choice
    bool inKeyring = false;  // ... and it is in the desktop keyring (false: this run's memory)
    bool keyringAvailable = false;
    QString text;            // the state line, in Japanese: "…としてサインインしています" or why not
};

// What the mail check gets: a bearer token for the saved choice, or why there is none.
struct AccessToken {
    bool ok = false;
    QByteArray token;        // the access token; never written to a file, a log or a text
    QString failure;         // in Japanese, for the "エラー" box when !ok
    bool signInAgain = false;// the provider refused the refresh token (invalid_grant): the user
                             // must sign in again; the kept token has been forgotten
};

class SignInService : public QObject {
    Q_OBJECT
public:
    // `dataFolder`: the program's ★MailData folder, where the choice's file is kept.
    SignInService(QString dataFolder, platform::SecretStore& secrets,
                  platform::HomepageBrowser& browser, QObject* parent = nullptr);
    ~SignInService() override;

    // The saved choice (empty when the user never chose to sign in).
    const SignInChoice& choice() const;
    // Whether checks log in with a token: a complete choice is saved.
    bool accountSignsIn() const;
    SignInState state() const;

    // Saves `choice` (atomically, owner-only), then opens the provider's authorization page in
    // the browser and waits, without blocking the window, for the loopback redirect. Ends with
    // finished(); stateChanged() tells the window what to show meanwhile.
    void signIn(const SignInChoice& choice);
    // Forgets the tokens (keyring and memory) and the choice: checks use the password again.
    void signOut();

    // Waits, with the thread's events dispatched, while the keyring has not yet answered about
    // the sign-in kept from an earlier run (read after the start, without holding up the
    // windows); at most 30 s. False when it still has not.
    bool waitForKeyring();

    // For the mail check: a valid access token, refreshed first when it expires within a minute
    // or when `refresh` is set (the server refused the one it had). Waits for the keyring as
    // waitForKeyring() does, then for the provider with the thread's events dispatched, at most
    // 30 s.
    AccessToken accessToken(bool refresh);

signals:
    void stateChanged();
    void finished(bool ok, const QString& text);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace pelmora::signin
