#include "platform/AnsiText.h"

namespace pelmora::platform::ansi {

namespace {

unsigned char byteAt(std::string_view text, std::size_t pos)
{
    return static_cast<unsigned char>(text[pos]);
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at `pos`, or 0 when it is malformed (overlong forms,
// surrogates and values past U+10FFFF included, as in RFC 3629).
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos)
{
    const unsigned char lead = byteAt(text, pos);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    const unsigned char second = byteAt(text, pos + 1);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byteAt(text, pos + i)))
            return 0;
    }
    return length;
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = utf8SequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

Encoding encodingOf(std::string_view text)
{
    return isValidUtf8(text) ? Encoding::Utf8 : Encoding::Cp932;
}

bool isCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t characterLength(std::string_view text, std::size_t pos, Encoding encoding)
{
    std::size_t length = 1;
    if (encoding == Encoding::Utf8)
        length = utf8SequenceLength(text, pos);
    else if (isCp932LeadByte(byteAt(text, pos)))
        length = 2;
    if (length == 0 || pos + length > text.size())
        return 1;
    return length;
}

} // namespace pelmora::platform::ansi
