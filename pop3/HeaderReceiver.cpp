#include "pop3/HeaderReceiver.h"

#include "pop3/Pop3Limits.h"

#include <algorithm>

namespace pelmora::pop3 {

void HeaderReceiver::reset()
{
    m_header.clear();
    m_total = 0;
    m_inBody = false;
    m_lineLength = 0;
    m_heldCr = false;
}

void HeaderReceiver::append(QByteArrayView bytes)
{
    m_total += bytes.size();
    // The start of each header line is looked at byte by byte (is it the blank line?), which
    // keeps any split of the input right without buffering partial lines; the rest of the line is
    // kept in one piece.
    qsizetype i = 0;
    while (i < bytes.size() && !m_inBody) {
        if (m_lineLength == 0) {
            keepHeaderByte(bytes[i++]);
            continue;
        }
        const qsizetype newline = bytes.indexOf('\n', i);
        const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
        appendHeader(bytes.sliced(i, end - i));
        m_lineLength = newline < 0 ? m_lineLength + (end - i) : 0;
        i = end;
    }
}

void HeaderReceiver::keepHeaderByte(char c)
{
    if (m_lineLength == 0 && !m_heldCr && c == '\r') {
        m_heldCr = true;
        return;
    }
    if (m_lineLength == 0 && c == '\n') {
        m_heldCr = false;
        m_inBody = true;
        return;
    }
    if (m_heldCr) {
        m_heldCr = false;
        appendHeader(QByteArrayView("\r", 1));
        ++m_lineLength;
    }
    appendHeader(QByteArrayView(&c, 1));
    m_lineLength = c == '\n' ? 0 : m_lineLength + 1;
}

void HeaderReceiver::appendHeader(QByteArrayView bytes)
{
    const qsizetype room = Limits::kMaxHeaderBytes - m_header.size();
    if (room > 0)
        m_header.append(bytes.first(std::min(room, bytes.size())));
}

} // namespace pelmora::pop3
