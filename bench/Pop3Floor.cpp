#include "bench/Pop3Floor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QStringBuilder>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

namespace pelmora::bench {

namespace {

// Reads replies from a blocking socket and tells where each ends: a status line, and for a
// "+OK" to TOP the lines up to the one holding only ".". Only the start of each line is
// looked at.
class ReplyReader {
public:
    explicit ReplyReader(int socket) : m_socket(socket), m_buffer(256 * 1024) {}

    // Reads until `replies` replies have ended; multiLine: "+OK" replies carry content.
    bool read(int replies, bool multiLine)
    {
        int ended = 0;
        while (ended < replies) {
            if (m_pos == m_end && !fill())
                return false;
            while (m_pos < m_end && ended < replies) {
                const char* start = m_buffer.data() + m_pos;
                const auto* newline =
                    static_cast<const char*>(std::memchr(start, '\n', m_end - m_pos));
                const std::size_t piece = newline ? std::size_t(newline - start) + 1 : m_end - m_pos;
                for (std::size_t i = 0; i < piece && m_lineLength + i < sizeof m_head; ++i)
                    m_head[m_lineLength + i] = start[i];
                m_lineLength += piece;
                m_pos += piece;
                if (newline && endLine(multiLine))
                    ++ended;
            }
        }
        return true;
    }
    std::int64_t bytes() const { return m_bytes; }
    // The lines the TOP replies carried, their ends included and the "." lines left out.
    std::int64_t contentBytes() const { return m_contentBytes; }

private:
    bool fill()
    {
        const ssize_t n = ::recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        if (n <= 0)
            return false;
        m_bytes += n;
        m_pos = 0;
        m_end = std::size_t(n);
        return true;
    }
    // Answers whether the line just ended was the last of a reply.
    bool endLine(bool multiLine)
    {
        const std::size_t length = m_lineLength;
        m_lineLength = 0;
        if (m_inStatus) {
            const bool ok = length >= 3 && std::memcmp(m_head, "+OK", 3) == 0;
            m_inStatus = !(ok && multiLine);
            return m_inStatus;
        }
        const bool lastLine = (length == 3 && std::memcmp(m_head, ".\r\n", 3) == 0)
            || (length == 2 && std::memcmp(m_head, ".\n", 2) == 0);
        m_inStatus = lastLine;
        if (!lastLine)
            m_contentBytes += std::int64_t(length);
        return lastLine;
    }

    int m_socket;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::int64_t m_bytes = 0;
    std::int64_t m_contentBytes = 0;
    char m_head[4] = {};
    std::size_t m_lineLength = 0;
    bool m_inStatus = true;
};

bool sendAll(int socket, const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.constData() + sent, std::size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

} // namespace

FloorResult runFloor(const QByteArray& host, std::uint16_t port, const QByteArray& user,
                     const QByteArray& password, int count)
{
    FloorResult result;
    QElapsedTimer clock;
    clock.start();
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return result;
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const timeval limit{60, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    bool ok = ::inet_pton(AF_INET, host.constData(), &address.sin_addr) == 1
        && ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ReplyReader reader(socket);
    ok = ok && reader.read(1, false)                                   // greeting
        && sendAll(socket, "USER " + user + "\r\n") && reader.read(1, false)
        && sendAll(socket, "PASS " + password + "\r\n") && reader.read(1, false);
    if (ok) {
        QByteArray commands = "STAT\r\n";
        for (int n = 1; n <= count; ++n)
            commands += "TOP " + QByteArray::number(n) + " 0\r\n";
        // Written while the replies are read: a server stops reading commands while its replies
        // wait, and thousands of commands outgrow what the sockets hold meanwhile.
        bool written = false;
        std::thread writer([&] { written = sendAll(socket, commands); });
        ok = reader.read(1, false) && reader.read(count, true);
        if (!ok)
            ::shutdown(socket, SHUT_RDWR); // the writer may wait for a server that stopped
        writer.join();
        ok = ok && written && sendAll(socket, "QUIT\r\n") && reader.read(1, false);
    }
    ::close(socket);
    result.ok = ok;
    result.bytes = reader.bytes();
    result.headerBytes = reader.contentBytes();
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

} // namespace pelmora::bench
