#pragma once

// The server's floor: the least time a client can take to read what a check needs from a mailbox
// (the count and every header). One plain socket logs in, writes STAT and every "TOP n 0" at
// once, reads the replies to the end without looking at them beyond where each ends, and says
// QUIT. No client can be faster over the same connection.

#include <QByteArray>

#include <cstdint>

namespace pelmora::bench {

struct FloorResult {
    bool ok = false;
    std::int64_t bytes = 0;       // everything the server sent
    std::int64_t headerBytes = 0; // the headers the TOP replies carried, blank line included
    double seconds = 0;     // from the connect to the answer to QUIT
};

FloorResult runFloor(const QByteArray& host, std::uint16_t port, const QByteArray& user,
                     const QByteArray& password, int count);

} // namespace pelmora::bench
