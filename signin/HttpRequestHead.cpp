#include "signin/HttpRequestHead.h"

#include <algorithm>

namespace pelmora::signin {

namespace {

// Where the head ends: after the first empty line (CRLF CRLF, or bare LF LF as RFC 9112 2.2
// allows a recipient to accept). Answers the length of the head with its end, or -1.
qsizetype headLength(QByteArrayView bytes, qsizetype from)
{
    for (qsizetype i = from; i < bytes.size(); ++i) {
        if (bytes[i] != '\n')
            continue;
        if (i >= 1 && bytes[i - 1] == '\n')
            return i + 1;
        if (i >= 2 && bytes[i - 1] == '\r' && bytes[i - 2] == '\n')
            return i + 1;
    }
    return -1;
}

bool isTokenChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

HttpRequestHead::Status HttpRequestHead::feed(QByteArrayView bytes)
{
    if (m_status != Status::Incomplete)
        return m_status;
    // Only what can still belong to the head is kept. An end straddling two pieces is found at its
    // last byte, with the bytes before it already kept.
    const qsizetype searchFrom = m_head.size();
    const qsizetype room = kMaxBytes - m_head.size();
    m_head.append(bytes.first(std::min(bytes.size(), room + 1)));
    const qsizetype length = headLength(m_head, searchFrom);
    if (length < 0) {
        if (m_head.size() > kMaxBytes)
            m_status = Status::Invalid;
        return m_status;
    }
    if (length > kMaxBytes) {
        m_status = Status::Invalid;
        return m_status;
    }
    readRequestLine(QByteArrayView(m_head).first(length));
    m_head.clear();
    return m_status;
}

void HttpRequestHead::readRequestLine(QByteArrayView head)
{
    QByteArrayView line = head.first(head.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    m_status = Status::Invalid;
    if (firstSpace <= 0 || lastSpace <= firstSpace + 1)
        return;
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!std::all_of(method.begin(), method.end(), isTokenChar) || target.contains(' ') ||
        !version.startsWith("HTTP/1."))
        return;
    m_method = method.toByteArray();
    m_target = target.toByteArray();
    m_status = Status::Complete;
}

} // namespace pelmora::signin
