#pragma once

#include "pop3/MultiLineDecoder.h"

#include <QByteArray>

#include <cstdint>
#include <utility>

namespace pelmora::pop3 {

// Takes the content of a TOP n 0 reply: the header, up to the blank line, is kept (up to
// Limits::kMaxHeaderBytes) for the subject, sender and date; whatever follows it (a server that
// sends body lines anyway) and whatever passes the bound is counted and dropped, so memory stays
// bounded whatever the server sends.
class HeaderReceiver final : public ContentSink {
public:
    void reset();
    void append(QByteArrayView bytes) override;

    QByteArray takeHeader() { return std::exchange(m_header, {}); }
    // Every byte of the reply's content as received (after unstuffing), kept or not.
    std::int64_t totalBytes() const { return m_total; }

private:
    void appendHeader(QByteArrayView bytes);
    void keepHeaderByte(char c);

    QByteArray m_header;
    std::int64_t m_total = 0;
    bool m_inBody = false;
    // Where in the current header line we are: its length, and whether a CR at its start is held
    // back until we know whether it begins the blank line.
    qsizetype m_lineLength = 0;
    bool m_heldCr = false;
};

} // namespace pelmora::pop3
