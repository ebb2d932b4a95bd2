#include "platform/MailboxByServerName.h"

namespace pelmora::platform {

bool namesImapServer(const QString& typed)
{
    const QString name = typed.trimmed();
    for (const QStringView scheme : {u"imap://", u"imap+starttls://", u"imaps://"}) {
        if (name.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace pelmora::platform
