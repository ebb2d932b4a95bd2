#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace pelmora::pop3 {

// A decimal number without sign as a server writes counts and sizes, or nothing when it is not
// one or is larger than `max`.
inline std::optional<std::int64_t> parseCount(QByteArrayView token, std::int64_t max)
{
    if (token.isEmpty() || token.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

} // namespace pelmora::pop3
