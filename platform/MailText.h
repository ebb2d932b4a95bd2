#pragma once

#include "platform/ports/MailLibrary.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace pelmora::platform {

// Writes `text` into a caller's buffer as the mail library port describes: cut to `capacity` and
// the buffer's size (never in the middle of a UTF-8 character), ended with a NUL, the buffer's
// size unchanged. Answers the bytes written.
std::int32_t writeMailText(MailBuffer& buffer, std::size_t capacity, QByteArrayView text);

} // namespace pelmora::platform
