#include "platform/MailText.h"

#include <algorithm>
#include <cstring>

namespace pelmora::platform {

std::int32_t writeMailText(MailBuffer& buffer, std::size_t capacity, QByteArrayView text)
{
    capacity = std::min(capacity, buffer.size());
    if (capacity == 0)
        return 0;
    std::size_t n = std::min(std::size_t(text.size()), capacity - 1);
    if (n < std::size_t(text.size())) {
        while (n > 0 && (static_cast<unsigned char>(text[qsizetype(n)]) & 0xC0) == 0x80)
            --n;
    }
    if (n > 0) // an empty text may have no storage at all
        std::memcpy(buffer.data(), text.data(), n);
    buffer[n] = '\0';
    return std::int32_t(n);
}

} // namespace pelmora::platform
