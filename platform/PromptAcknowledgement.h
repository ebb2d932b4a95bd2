#pragma once

#include <QtGlobal>

namespace pelmora::platform {

// Asks the system to acknowledge what next arrives on the connected TCP socket `descriptor` at
// once, instead of holding the acknowledgement back for a while in the hope of sending it along
// with data. A server that writes two small replies in a row (Dovecot's "+OK" to USER, then
// "+OK Logged in." from another process) holds the second back until the first is acknowledged
// (Nagle's algorithm), so a delayed acknowledgement costs a whole delay (about 40 ms on Linux,
// up to 200 ms on Windows) for nothing. The request lasts for a few segments only, so it is made
// after every write of commands. Answers whether the system took it; where it does not, the
// caller should not send a command before the reply to the one before it.
bool AcknowledgePromptly(qintptr descriptor);

} // namespace pelmora::platform
