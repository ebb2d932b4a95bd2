#include "pop3/ServerAddress.h"

#include <QHostAddress>

namespace pelmora::pop3 {

using namespace Qt::StringLiterals;

std::optional<ServerAddress> ServerAddress::parse(const QString& typed)
{
    ServerAddress address;
    QString rest = typed.trimmed();
    if (rest.startsWith(u"pop3s://"_s, Qt::CaseInsensitive)) {
        address.security = Security::ImplicitTls;
        address.port = 995;
        rest = rest.mid(8);
    } else if (rest.startsWith(u"pop3+starttls://"_s, Qt::CaseInsensitive)) {
        address.security = Security::StartTlsRequired;
        rest = rest.mid(16);
    } else if (rest.startsWith(u"pop3://"_s, Qt::CaseInsensitive)) {
        rest = rest.mid(7);
    }
    // A trailing slash is what people paste from a URL; anything after it is not ours to use.
    if (rest.endsWith(u'/'))
        rest.chop(1);

    QString portText;
    if (rest.startsWith(u'[')) {
        const auto close = rest.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        address.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                return std::nullopt;
            portText = after.mid(1);
            if (portText.isEmpty())
                return std::nullopt;
        }
        QHostAddress literal;
        if (!literal.setAddress(address.host) || literal.protocol() != QHostAddress::IPv6Protocol)
            return std::nullopt;
    } else {
        const auto colon = rest.indexOf(u':');
        if (colon >= 0) {
            // More than one colon without brackets is an IPv6 address whose port we cannot tell
            // apart from its last group.
            if (rest.indexOf(u':', colon + 1) >= 0)
                return std::nullopt;
            address.host = rest.left(colon);
            portText = rest.mid(colon + 1);
            if (portText.isEmpty())
                return std::nullopt;
        } else {
            address.host = rest;
        }
    }
    if (address.host.isEmpty())
        return std::nullopt;
    for (const QChar c : std::as_const(address.host)) {
        if (c.isSpace() || c == u'/' || c == u'@' || c == u'?' || c == u'#')
            return std::nullopt;
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok, 10);
        if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
            return std::nullopt;
        address.port = static_cast<std::uint16_t>(port);
    }
    return address;
}

} // namespace pelmora::pop3
