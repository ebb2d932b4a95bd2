#pragma once

#include "pop3/MultiLineDecoder.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <utility>

namespace pelmora::pop3 {

// Takes the content of a TOP or RETR reply: the whole message is written straight into the
// caller's buffer up to its capacity (the size LIST gave, plus one for the NUL) and the rest is
// counted and dropped, so memory stays bounded whatever the server claims or sends. The header,
// up to the blank line, is also kept on its own (up to Limits::kMaxHeaderBytes) for the subject,
// sender and date.
class MessageReceiver final : public ContentSink {
public:
    // `body` (the buffer for the whole message) may be null (TOP: the message is not wanted).
    // Its size() is its capacity; one byte of it is kept for the NUL that finish() writes.
    void reset(std::string* body);
    // Stops writing into the body buffer (its owner is going away); later bytes are dropped.
    void detachBody() { m_body = nullptr; }
    bool writesInto(const std::string* body) const { return m_body != nullptr && m_body == body; }
    void append(QByteArrayView bytes) override;
    // Ends what was written to the message buffer with a NUL.
    void finish();

    QByteArray takeHeader() { return std::exchange(m_header, {}); }
    // Every byte of the message as received (after unstuffing), kept or not.
    std::int64_t totalBytes() const { return m_total; }

private:
    void copyIntoMessageBuffer(QByteArrayView bytes);
    void appendHeader(QByteArrayView bytes);
    void keepHeaderByte(char c);

    std::string* m_body = nullptr;
    std::size_t m_bodyWritten = 0;
    QByteArray m_header;
    std::int64_t m_total = 0;
    bool m_inBody = false;
    // Where in the current header line we are: its length, and whether a CR at its start is held
    // back until we know whether it begins the blank line.
    qsizetype m_lineLength = 0;
    bool m_heldCr = false;
};

} // namespace pelmora::pop3
