#pragma once

#include "pop3/MultiLineDecoder.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace pelmora::pop3 {

// Reads a UIDL list (RFC 1939 section 7: one "number id" line per message) as it arrives, in
// pieces of any size, and keeps the ids in message order. The list describes the mailbox STAT
// counted, which a check never changes: it must name messages 1, 2, 3… up to that count, each
// once, in order, each with an id of 1 to 70 printable ASCII characters (0x21 to 0x7E), no id
// twice. A list that breaks any of this (a garbled or over-long line, a number out of order or
// out of range, a missing or an extra line, an id too long or not printable, the same id twice)
// is not usable as a whole: an id of a list that lies cannot be trusted to name its message.
// Once broken, nothing more is kept and the rest of the list is only read to its end.
//
// Memory: at most `count` ids of at most kMaxIdBytes each, and one line of kMaxLineBytes.
class MessageIdReader final : public ContentSink {
public:
    static constexpr qsizetype kMaxIdBytes = 70;
    // "number id": a message number of int's range, one space, the longest id.
    static constexpr qsizetype kMaxLineBytes = 10 + 1 + kMaxIdBytes;

    // Starts a list for a mailbox of `count` messages.
    void reset(int count);
    void append(QByteArrayView bytes) override;
    // Once the list has ended: its ids in message order, or nothing when it is not usable.
    std::optional<QList<QByteArray>> take();

private:
    void endLine();
    void breakList();

    int m_count = 0;
    QList<QByteArray> m_ids;
    char m_line[kMaxLineBytes + 1] = {}; // one more: the CR before LF
    qsizetype m_lineSize = 0;
    bool m_lineTooLong = false;
    bool m_broken = false;
};

} // namespace pelmora::pop3
