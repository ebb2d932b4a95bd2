#include "profile/ProfileText.h"

#include "platform/AnsiText.h"

namespace pelmora::profile::text {

using platform::ansi::characterLength;
using platform::ansi::Encoding;
using platform::ansi::encodingOf;

namespace {

char asciiLower(char byte)
{
    return (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : byte;
}

} // namespace

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
