#pragma once

#include <QtGlobal>

#include <chrono>
#include <cstdint>

namespace pelmora::platform::pop3 {

// How long the library waits for the network. The program uses these defaults; tests pass
// shorter ones to Pop3MailLibrary so that a silent server costs them milliseconds, not minutes.
struct Timeouts {
    // Resolving the name and opening the TCP connection.
    std::chrono::milliseconds connect{15'000};
    // Each reply (and each TLS handshake), from the moment the previous one completed. A reply
    // that is still arriving when this runs out fails too, so a trickling server cannot hold a
    // call forever.
    std::chrono::milliseconds reply{30'000};
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
    // Bytes read from the socket at a time; Qt's own read buffer is capped at a few of these.
    static constexpr qsizetype kReadChunk = 64 * 1024;
};

} // namespace pelmora::platform::pop3
