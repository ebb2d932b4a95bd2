#pragma once

#include <QtGlobal>

#include <chrono>
#include <cstdint>

namespace pelmora::pop3 {

// How long the library waits for the network. The program uses these defaults; tests pass
// shorter ones to Pop3Mailbox so that a silent server costs them milliseconds, not minutes.
struct Timeouts {
    // Resolving the name and opening the TCP connection.
    std::chrono::milliseconds connect{15'000};
    // A reply (or TLS handshake) that is awaited fails when nothing has come for this long, or
    // when less than minimumBytes came in one such window since the last reply completed. So a
    // large message on a slow link is read however long it takes, while a silent server, or one
    // that trickles a few bytes at a time, cannot hold a call for ever.
    std::chrono::milliseconds reply{30'000};
    std::int64_t minimumBytes = 1024;
    // A connection's whole life, from connecting to closing. No real mailbox takes this long to
    // read even over dial-up (its headers, that is: bodies are never read); a server that keeps a
    // reply alive by feeding it slowly, or answers two billion requests one by one, does. Past it
    // the session says QUIT, ends, and says why.
    std::chrono::milliseconds whole{30 * 60'000};
};

// Limits that keep memory bounded whatever the server sends.
struct Limits {
    // A status line (+OK … / -ERR …) longer than this is a protocol error. RFC 2449 allows 512.
    static constexpr qsizetype kMaxStatusLine = 4096;
    // Header bytes kept from TOP n 0 to fill the subject, sender, date and header texts.
    static constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
    // Bytes of a TOP n 0 reply before it counts as endless and the connection fails. The header
    // is all it should hold; some servers send body lines anyway, which are read and dropped.
    static constexpr std::int64_t kMaxHeaderReplyBytes = 4 * 1024 * 1024;
    // CAPA lines read before the list counts as endless and the login fails. Each line is looked
    // at as it arrives and only what the session acts on is kept, so line lengths do not matter.
    static constexpr qsizetype kMaxCapabilityLines = 1000;
    // Bytes of a capability list (CAPA), as sent (dot-stuffing included), before it counts as
    // endless and the connection fails: a server that floods faster than any time limit notices.
    static constexpr std::int64_t kMaxReplyBytes = 1024 * 1024;
    // Messages whose unique ids (UIDL) a session reads: a mailbox with more gets none, and the
    // ids kept stay within this many lines of MessageIdReader::kMaxLineBytes.
    static constexpr int kMaxMessageIds = 500'000;
    // Bytes a UIDL list may take per message, as sent, before it counts as endless and the
    // connection fails: each line is at most MessageIdReader::kMaxLineBytes and CR LF, and this
    // leaves room for a server's odd spacing.
    static constexpr std::int64_t kMaxIdLineBytes = 128;
    // Bytes read from the socket at a time.
    static constexpr qsizetype kReadChunk = 64 * 1024;
    // Qt's own read buffer: it stops reading from the kernel when this much is waiting. Large
    // enough that a fast link is not held back while the event loop is busy elsewhere for a
    // moment, small enough that a flooding server is held back by TCP.
    static constexpr qint64 kSocketBuffer = 1024 * 1024;
};

// How far a session reads ahead of its caller when the server offers PIPELINING. A mail check asks
// for the header of every message in turn, so the session asks the server for the next headers
// (TOP n 0) before the caller does, and one round trip no longer costs one message.
struct ReadAhead {
    // Header bytes kept ahead of the caller. When they are full and the next reply is a header
    // for nobody waiting yet, the session stops taking bytes until the caller takes what is kept,
    // and TCP holds the server back; so the bound may be passed by one header
    // (Limits::kMaxHeaderBytes) at most.
    std::int64_t headerBytes = 256 * 1024;
    // Messages after the caller's whose headers may be asked for ahead. Keeps the
    // requests in flight to a few hundred and what is kept about messages ahead small. 0 turns
    // reading ahead off.
    int messages = 512;
    // Bytes of commands written and not yet answered. A server may stop reading commands until its
    // replies have been read; what we send stays well within any TCP receive window, so neither
    // side ever waits for the other to read.
    qsizetype commandBytes = 16 * 1024;
};

} // namespace pelmora::pop3
