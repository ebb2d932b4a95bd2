#pragma once

#include <QString>

#include <vector>

namespace pelmora::signin {

// How the account signs in: the provider and its endpoints, the client registered by the user,
// the login name and the POP3 or IMAP server that takes the provider's tokens.
struct SignInChoice {
    QString provider;         // a preset's key ("microsoft", "google") or "custom"
    QString clientId;
    QString clientSecret;     // only where the provider insists on one for desktop programs
    QString loginName;
    QString authorizationUrl;
    QString tokenUrl;
    QString scope;
    QString server;           // in the program's server-name forms, e.g. pop3s://host:995

    // Whether enough is given to sign in with it.
    bool complete() const;
    bool operator==(const SignInChoice&) const = default;
};

struct ProviderPreset {
    QString key;
    QString caption;          // shown in the window's provider list
    QString authorizationUrl;
    QString tokenUrl;
    QString scope;
    QString server;
    bool secretExpected = false; // the provider issues desktop clients a secret and wants it sent
    // The provider issues a refresh token only when asked for offline access, and again only
    // when the user is asked for consent again (Google).
    bool offlineByConsent = false;
};

// Microsoft (work, school and personal accounts) and Google, each with its POP3 server and with
// its IMAP server; "custom" is not among them.
const std::vector<ProviderPreset>& providerPresets();
const ProviderPreset* findPreset(const QString& key);

} // namespace pelmora::signin
