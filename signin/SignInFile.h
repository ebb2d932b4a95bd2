#pragma once

#include "platform/WriteResult.h"
#include "signin/SignInChoice.h"

#include <QString>

namespace pelmora::signin {

// The sign-in choice's file, iniSignIn.ini in the data folder: one section "SIGNIN" with the keys
// PROVIDER, CLIENTID, CLIENTSECRET, LOGINNAME, AUTHURL, TOKENURL, SCOPE and SERVER, in UTF-8 (a
// UTF-8 byte order mark left by an editor is kept). It may hold a client secret, so every write
// leaves it owner-only (mode 600), and replaces it whole: never a half-written choice. Reading
// forgives hand edits: a missing key reads as empty, an unreadable or oversized file as no choice.
class SignInFile {
public:
    static constexpr char16_t kFileName[] = u"iniSignIn.ini";
    // Larger than any choice a person would write; a larger file is not read at all.
    static constexpr qsizetype kMaxFileBytes = 64 * 1024;

    explicit SignInFile(const QString& dataFolder);

    const QString& path() const { return m_path; }

    SignInChoice read() const;
    platform::WriteResult write(const SignInChoice& choice) const;
    // Removing a file that is not there succeeds.
    platform::WriteResult remove() const;

private:
    QString m_path;
};

} // namespace pelmora::signin
