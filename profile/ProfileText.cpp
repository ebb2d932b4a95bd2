#include "profile/ProfileText.h"

namespace pelmora::profile::text {

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

char asciiLower(char byte)
{
    return (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : byte;
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

std::size_t cutAtCharacterBoundary(std::string_view text, std::size_t limit)
{
    if (limit >= text.size())
        return text.size();
    const Encoding encoding = encodingOf(text);
    std::size_t boundary = 0;
    while (boundary < limit) {
        const std::size_t next = boundary + characterLength(text, boundary, encoding);
        if (next > limit)
            break;
        boundary = next;
    }
    return boundary;
}

bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\v' || byte == '\f' || byte == '\x1A';
}

std::string_view trimLeadingBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimTrailingBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view trimBlanks(std::string_view text)
{
    return trimTrailingBlanks(trimLeadingBlanks(text));
}

std::string_view stripQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const Encoding encoding = encodingOf(a);
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = characterLength(a, pos, encoding);
        if (length == 1) {
            if (asciiLower(a[pos]) != asciiLower(b[pos]))
                return false;
        } else if (a.substr(pos, length) != b.substr(pos, length)) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::uint32_t parseProfileInt(std::string_view value)
{
    value = trimLeadingBlanks(value);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    std::uint32_t base = 10;
    if (value.size() >= 2 && value[0] == '0') {
        switch (asciiLower(value[1])) {
        case 'x': base = 16; break;
        case 'o': base = 8; break;
        case 'b': base = 2; break;
        default: break;
        }
        if (base != 10)
            value.remove_prefix(2);
    }
    std::uint32_t result = 0;
    for (const char byte : value) {
        std::uint32_t digit = base;
        if (byte >= '0' && byte <= '9')
            digit = static_cast<std::uint32_t>(byte - '0');
        else if (asciiLower(byte) >= 'a' && asciiLower(byte) <= 'f')
            digit = static_cast<std::uint32_t>(asciiLower(byte) - 'a' + 10);
        if (digit >= base)
            break;
        // Unsigned arithmetic wraps modulo 2^32, which is the overflow behaviour being reproduced.
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}

} // namespace pelmora::profile::text
