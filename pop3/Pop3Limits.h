#pragma once

#include <QtGlobal>

#include <chrono>
#include <cstdint>

namespace pelmora::pop3 {

// How long the library waits for the network. The program uses these defaults; tests pass
// shorter ones to Pop3MailLibrary so that a silent server costs them milliseconds, not minutes.
struct Timeouts {
    // Resolving the name and opening the TCP connection.
    std::chrono::milliseconds connect{15'000};
    // A reply (or TLS handshake) that is awaited fails when nothing has come for this long, or
    // when less than minimumBytes came in one such window since the last reply completed. So a
    // large message on a slow link is read however long it takes, while a silent server, or one
    // that trickles a few bytes at a time, cannot hold a call for ever.
    std::chrono::milliseconds reply{30'000};
    std::int64_t minimumBytes = 1024;
};

// Limits that keep memory bounded whatever the server sends.
struct Limits {
    // A status line (+OK … / -ERR …) longer than this is a protocol error. RFC 2449 allows 512.
    static constexpr qsizetype kMaxStatusLine = 4096;
    // Header bytes kept from TOP and RETR to fill the subject, sender, date and header texts.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    // CAPA lines read before the list counts as endless and the login fails. Each line is looked
    // at as it arrives and only what the session acts on is kept, so line lengths do not matter.
    static constexpr qsizetype kMaxCapabilityLines = 1000;
    // Largest LIST size believed: the caller allocates size + 1 bytes for the body.
    static constexpr std::int64_t kMaxTrustedMessageSize = 256LL * 1024 * 1024;
    // Bytes of one multi-line reply, as sent (dot-stuffing included), before it counts as endless
    // and the connection fails: a server that floods faster than any time limit notices.
    static constexpr std::int64_t kMaxReplyBytes = kMaxTrustedMessageSize + kMaxTrustedMessageSize / 4;
    // Messages whose sizes are kept from the LIST of all messages (8 bytes each); the sizes of
    // messages beyond are asked for one by one.
    static constexpr std::int64_t kMaxListedSizes = 65'536;
    // Bytes read from the socket at a time.
    static constexpr qsizetype kReadChunk = 64 * 1024;
    // Qt's own read buffer: it stops reading from the kernel when this much is waiting. Large
    // enough that a fast link is not held back while the event loop is busy elsewhere for a
    // moment, small enough that a flooding server is held back by TCP.
    static constexpr qint64 kSocketBuffer = 1024 * 1024;
};

// How far a session reads ahead of its caller when the server offers PIPELINING. A mail check asks
// for the status, the size and the message of every message in turn, so the session asks the
// server for the next messages before the caller does, and one round trip no longer costs one
// message. Two things are bounded apart: the bytes on their way, which sit in the network and in
// the kernels' buffers, and the bytes kept in our memory once they have arrived.
struct ReadAhead {
    // Body bytes kept ahead of the caller: bodies that have arrived (or are arriving) before the
    // caller wants them, counted at the size LIST gave (a body is kept only up to that size,
    // whatever the server sends), and the header each brings along (at most
    // Limits::kMaxHeaderBytes, counted once it has come, so the bound may be passed by one
    // header). When the next reply is a body that does not fit, the session stops taking bytes
    // until the caller takes what is kept, and TCP holds the server back; a body larger than this
    // is never read ahead but goes straight into the caller's buffer.
    std::int64_t bytes = 2 * 1024 * 1024;
    // Header bytes kept ahead (from TOP n 0). A header that arrives when they are full is not
    // kept but asked for again when the caller wants it.
    std::int64_t headerBytes = 256 * 1024;
    // Body bytes asked for ahead and not yet arrived: at first `firstBytes` (what may be kept
    // anyway), growing by every body that arrives up to `flightBytes`, like TCP's congestion
    // window. A server that answers promptly soon has a link's worth of bodies asked for (a fast
    // link 10 ms away needs several megabytes on their way); one that is slow to answer is not
    // handed a flood of requests. Bodies are asked for in order, as far as their sizes fit.
    std::int64_t firstBytes = 2 * 1024 * 1024;
    std::int64_t flightBytes = 32 * 1024 * 1024;
    // Messages after the caller's whose headers and sizes (TOP n 0, LIST n) may be asked for
    // ahead; bodies are asked for only within them. Sizes are asked for a round trip before their
    // bodies can be, so the reach must cover more than the messages a round trip brings. Keeps
    // the requests in flight to a few hundred and what is kept about messages ahead small. 0
    // turns reading ahead off.
    int messages = 512;
    // Bytes of commands written and not yet answered. A server may stop reading commands until its
    // replies have been read; what we send stays well within any TCP receive window, so neither
    // side ever waits for the other to read.
    qsizetype commandBytes = 16 * 1024;
};

} // namespace pelmora::pop3
