#pragma once

#include <QByteArray>
#include <QString>

namespace pelmora::mail {

// The account's sign-in, as the mail check sees it: an account that signs in with its provider
// logs in with a bearer token instead of the password, to the server its sign-in names.
class AccountSignIn {
public:
    struct Token {
        bool ok = false;
        QByteArray token;   // the access token
        QString failure;    // why there is none, for the "エラー" box
        bool signInAgain = false; // the provider no longer honours the sign-in
    };

    virtual ~AccountSignIn() = default;
    // Whether the account logs in with a token; then the two below are used instead of the
    // server settings' name and the account's ID.
    virtual bool signsIn() const = 0;
    virtual QString server() const = 0;
    virtual QString loginName() const = 0;
    // Whether a sign-in is kept (what stands in for the password).
    virtual bool signedIn() const = 0;
    // A token that should be valid now; `refresh`: the server refused the last one.
    virtual Token accessToken(bool refresh) = 0;
    // Show the sign-in window modeless; the caller goes on at once.
    virtual void showSignInWindow() = 0;
};

} // namespace pelmora::mail
