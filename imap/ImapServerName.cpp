#include "imap/ImapServerName.h"

namespace pelmora::imap {

using namespace Qt::StringLiterals;
using Security = pop3::ServerAddress::Security;

std::optional<pop3::ServerAddress> parseServerName(const QString& typed)
{
    static const struct {
        QString scheme;
        Security security;
        std::uint16_t port;
    } kForms[] = {
        {u"imaps://"_s, Security::ImplicitTls, 993},
        {u"imap+starttls://"_s, Security::StartTlsRequired, 143},
        {u"imap://"_s, Security::StartTlsWhenOffered, 143},
    };
    const QString name = typed.trimmed();
    for (const auto& form : kForms) {
        if (!name.startsWith(form.scheme, Qt::CaseInsensitive))
            continue;
        const QString rest = name.mid(form.scheme.size());
        // The host and port as the POP3 client reads them, without its scheme.
        auto address = pop3::ServerAddress::parse(rest);
        if (!address || rest.startsWith(u"pop3"_s, Qt::CaseInsensitive))
            return std::nullopt;
        QString hostAndPort = rest;
        if (hostAndPort.endsWith(u'/'))
            hostAndPort.chop(1);
        const bool portGiven = hostAndPort.startsWith(u'[') ? hostAndPort.contains(u"]:"_s)
                                                            : hostAndPort.contains(u':');
        if (!portGiven)
            address->port = form.port;
        address->security = form.security;
        return address;
    }
    return std::nullopt;
}

} // namespace pelmora::imap
