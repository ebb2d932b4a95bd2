#pragma once

// One mail check as the benchmarks run it: the library calls of the program's check, in its
// order and with its buffers. This is the one place to point at the program's own check class.

#include "platform/ports/MailLibrary.h"

#include <QByteArray>

#include <cstdint>

namespace pelmora::bench {

struct BenchServer {
    QByteArray address; // as typed in the server settings, e.g. "127.0.0.1:2110"
    QByteArray user;
    QByteArray password;
    bool apop = false;
};

struct CheckResult {
    bool ok = false;          // logged in, and every message was sized and retrieved
    std::int32_t count = 0;   // messages the login reported
    std::int64_t bytes = 0;   // message bytes the retrievals reported
    double seconds = 0;       // from the connect to the end of the close
};

// Connect, log in, then for every message status, size and retrieval into a body buffer of
// size + 1 spaces, then close: what the check does with a mailbox holding mail.
CheckResult runCheck(platform::MailLibrary& library, const BenchServer& server);

} // namespace pelmora::bench
