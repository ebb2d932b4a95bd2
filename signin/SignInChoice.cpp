#include "signin/SignInChoice.h"

namespace pelmora::signin {

using namespace Qt::StringLiterals;

bool SignInChoice::complete() const
{
    // The client secret is optional: desktop clients are public clients for most providers.
    for (const QString* field : {&provider, &clientId, &loginName, &authorizationUrl, &tokenUrl,
                                 &scope, &server}) {
        if (field->trimmed().isEmpty())
            return false;
    }
    return true;
}

const std::vector<ProviderPreset>& providerPresets()
{
    // Each provider's token is good for its POP3 and its IMAP server: Microsoft is asked for
    // both, Google's one scope covers both. The server is fixed by the preset (the token goes to
    // the provider's own server only), so each provider has a preset per protocol; a choice
    // stored before the IMAP scope was asked for keeps its scope and its POP3 server.
    const auto microsoft = [](QString key, QString caption, QString server) {
        return ProviderPreset{std::move(key), std::move(caption),
                              u"https://login.microsoftonline.com/common/oauth2/v2.0/authorize"_s,
                              u"https://login.microsoftonline.com/common/oauth2/v2.0/token"_s,
                              u"https://outlook.office.com/POP.AccessAsUser.All "
                              u"https://outlook.office.com/IMAP.AccessAsUser.All offline_access"_s,
                              std::move(server), false, false};
    };
    const auto google = [](QString key, QString caption, QString server) {
        return ProviderPreset{std::move(key), std::move(caption),
                              u"https://accounts.google.com/o/oauth2/v2/auth"_s,
                              u"https://oauth2.googleapis.com/token"_s,
                              u"https://mail.google.com/"_s, std::move(server), true, true};
    };
    static const std::vector<ProviderPreset> presets{
        microsoft(u"microsoft"_s, u"Microsoft (職場・学校・個人)"_s,
                  u"pop3s://outlook.office365.com:995"_s),
        microsoft(u"microsoft-imap"_s, u"Microsoft (職場・学校・個人)・IMAP"_s,
                  u"imaps://outlook.office365.com"_s),
        google(u"google"_s, u"Google"_s, u"pop3s://pop.gmail.com:995"_s),
        google(u"google-imap"_s, u"Google・IMAP"_s, u"imaps://imap.gmail.com"_s),
    };
    return presets;
}

const ProviderPreset* findPreset(const QString& key)
{
    for (const ProviderPreset& preset : providerPresets()) {
        if (preset.key == key)
            return &preset;
    }
    return nullptr;
}

} // namespace pelmora::signin
