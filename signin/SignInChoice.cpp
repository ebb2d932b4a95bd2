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
    static const std::vector<ProviderPreset> presets{
        {u"microsoft"_s, u"Microsoft (職場・学校・個人)"_s,
         u"https://login.microsoftonline.com/common/oauth2/v2.0/authorize"_s,
         u"https://login.microsoftonline.com/common/oauth2/v2.0/token"_s,
         u"https://outlook.office.com/POP.AccessAsUser.All offline_access"_s,
         u"pop3s://outlook.office365.com:995"_s, false},
        {u"google"_s, u"Google"_s, u"https://accounts.google.com/o/oauth2/v2/auth"_s,
         u"https://oauth2.googleapis.com/token"_s, u"https://mail.google.com/"_s,
         u"pop3s://pop.gmail.com:995"_s, true},
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
