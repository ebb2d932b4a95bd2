#pragma once

// One mail check as the benchmarks run it: the program's own check (mail::MailCheck, reading the
// account from a data folder of its own), with windows that show nothing.

#include "platform/ports/Mailbox.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace pelmora::bench {

struct BenchServer {
    QByteArray address; // as typed in the server settings, e.g. "127.0.0.1:2110"
    QByteArray user;
    QByteArray password;
    bool apop = false;
};

struct CheckResult {
    bool ok = false;          // logged in, and every message's header was read
    std::int32_t count = 0;   // messages the login reported
    std::int64_t bytes = 0;   // header bytes read
    double seconds = 0;       // from the connect to the end of the close
};

// One check against `server`: connect, log in, every message's header, close. Times it from
// the start of the check to its end.
CheckResult runCheck(platform::Mailbox& mailbox, const BenchServer& server);

// The median of some rounds' figures.
double median(std::vector<double> values);

} // namespace pelmora::bench
