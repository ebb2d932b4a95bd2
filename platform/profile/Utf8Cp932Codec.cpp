#include "platform/profile/Utf8Cp932Codec.h"

#include "platform/profile/ProfileText.h"

#include <QStringDecoder>

#include <string_view>

namespace pelmora::platform {

QByteArray Utf8Cp932Codec::toAnsi(const QString& text) const
{
    return text.toUtf8();
}

QString Utf8Cp932Codec::fromAnsi(QByteArrayView bytes) const
{
    const std::string_view view(bytes.data(), static_cast<std::size_t>(bytes.size()));
    if (profiletext::isValidUtf8(view))
        return QString::fromUtf8(bytes);
    // Qt 6.4 decodes CP932 through ICU (checked on Debian's Qt: "CP932" maps 0x8160 to U+FF5E and
    // 0x815F to U+FF3C, the Microsoft table). Without ICU the name is unknown; the bytes then read
    // as UTF-8 with replacement characters rather than failing.
    QStringDecoder cp932("CP932");
    if (!cp932.isValid())
        return QString::fromUtf8(bytes);
    return cp932.decode(bytes);
}

} // namespace pelmora::platform
