#pragma once

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace pelmora::imap {

// Limits that keep memory and work bounded whatever the server sends.
struct Limits {
    // The text of one response outside its literals. The longest a real server sends to us is the
    // answer to UID SEARCH UNSEEN: about 11 bytes per unseen message.
    static constexpr qsizetype kMaxResponseText = 4 * 1024 * 1024;
    // A literal ({n} and n bytes) announcing more than this fails at once, before it is read.
    // A message's header is all we ask for; this is far beyond any real one.
    static constexpr std::int64_t kMaxLiteral = 4 * 1024 * 1024;
    // Bytes of a literal kept (the header bytes used for the subject, sender and date); the rest
    // is read and dropped.
    static constexpr qsizetype kKeptLiteral = 64 * 1024;
    // Literals in one response: a FETCH of a header has one.
    static constexpr int kMaxLiteralsPerResponse = 64;
    // Bytes of every response to one command (or before the greeting) before the server counts as
    // flooding and the connection fails: its untagged responses could otherwise go on for ever.
    static constexpr std::int64_t kMaxBytesPerCommand = 96 * 1024 * 1024;
    // Unseen messages counted. Far beyond any mailbox a person reads; what a server floods past it
    // (SEARCH responses may come in any number) is not kept.
    static constexpr std::size_t kMaxUnseen = 1'000'000;
    // Headers asked for in one UID FETCH: a check reads every unseen message's header in turn,
    // so one round trip brings this many. Kept headers stay under kKeptLiteral times this.
    static constexpr int kFetchBatch = 16;
    // Headers kept for the caller, at most (what it skipped is dropped beyond this).
    static constexpr int kMaxHeadersKept = 4 * kFetchBatch;
    // Bytes read from the socket at a time, and Qt's own read buffer (see pop3::Limits).
    static constexpr qsizetype kReadChunk = 64 * 1024;
    static constexpr qint64 kSocketBuffer = 1024 * 1024;
};

} // namespace pelmora::imap
