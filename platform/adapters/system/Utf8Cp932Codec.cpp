#include "platform/adapters/system/Utf8Cp932Codec.h"

#include "platform/AnsiText.h"

#include <QStringDecoder>

#include <string_view>

namespace pelmora::platform {

namespace {

constexpr char16_t replacementCharacter = u'\uFFFD';

// True when the bytes end with a CP932 lead byte that has lost its second byte.
bool endsWithLoneLeadByte(std::string_view bytes)
{
    std::size_t pos = 0;
    std::size_t last = 0;
    while (pos < bytes.size()) {
        last = pos;
        pos += ansi::characterLength(bytes, pos, ansi::Encoding::Cp932);
    }
    return !bytes.empty() && last == bytes.size() - 1
        && ansi::isCp932LeadByte(static_cast<unsigned char>(bytes.back()));
}

} // namespace

QByteArray Utf8Cp932Codec::toAnsi(const QString& text) const
{
    return text.toUtf8();
}

QString Utf8Cp932Codec::fromAnsi(QByteArrayView bytes) const
{
    const std::string_view view(bytes.data(), static_cast<std::size_t>(bytes.size()));
    if (ansi::isValidUtf8(view))
        return QString::fromUtf8(bytes);
    // Qt 6.4 decodes CP932 through ICU (checked on Debian's Qt: "CP932" maps 0x8160 to U+FF5E and
    // 0x815F to U+FF3C, the Microsoft table). Without ICU the name is unknown; the bytes then read
    // as UTF-8 with replacement characters rather than failing.
    QStringDecoder cp932("CP932");
    if (!cp932.isValid())
        return QString::fromUtf8(bytes);
    // The ICU decoder keeps a trailing lead byte back, waiting for its second byte, even when
    // asked to be stateless; a cut-off character must still show as one replacement character.
    const bool loneLead = endsWithLoneLeadByte(view);
    QString text = cp932.decode(loneLead ? bytes.first(bytes.size() - 1) : bytes);
    if (loneLead)
        text += replacementCharacter;
    // ICU substitutes bytes that are no CP932 character with U+001A (the code page's own
    // substitute); show them as the usual replacement character unless the bytes held a real ^Z.
    if (!bytes.contains('\x1A'))
        text.replace(QChar(u'\x1A'), QChar(replacementCharacter));
    return text;
}

} // namespace pelmora::platform
