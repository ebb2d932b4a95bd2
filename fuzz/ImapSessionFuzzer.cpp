// libFuzzer target: arbitrary server bytes into the IMAP protocol core, driven the way the socket
// driver drives it. The first byte chooses the login (password or bearer token, already on TLS or
// not, TLS required or not) and how the rest is cut into reads; then the session gets the bytes,
// completes TLS when it asks for it, asks for headers once the unseen messages are known (or,
// with bit 2 of the first byte's cut, idles and ends each IDLE as the watch does), and logs out at
// the end. Anything but a clean run (a crash, a sanitizer report, headers kept past
// their bound, an outgoing line with a stray line break, a command that would change the mailbox)
// is a finding.

#include "imap/ImapLimits.h"
#include "imap/ImapSession.h"
#include "pop3/MessageHeader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using pelmora::imap::Limits;
using pelmora::imap::Session;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    Session session({"user", "password", (flags & 1) != 0}, (flags & 2) != 0, true);
    if ((flags & 4) != 0)
        session.requireTls(Session::TlsRequirement::AskedFor);
    session.setServer("imap.pelmora.test", 993);
    const std::size_t chunk = std::size_t(flags >> 3) * 3 + 1;
    const bool watching = (flags & 32) != 0;
    int number = 0;
    int reads = 0;

    for (std::size_t pos = 0; pos < size; pos += chunk) {
        const std::size_t n = std::min(chunk, size - pos);
        session.feed(QByteArrayView(reinterpret_cast<const char*>(data + pos), qsizetype(n)));
        if (session.state() == Session::State::TlsHandshake)
            session.tlsEstablished();
        ++reads;
        if (watching) {
            if (session.state() == Session::State::Ready)
                session.startIdle();
            else if (reads % 7 == 0)
                session.endIdle();
        } else if (session.state() == Session::State::Ready && !session.unseen().empty()) {
            number = number % std::min(int(session.unseen().size()), 40) + 1;
            session.requestHeader(number);
            if (const auto header = session.takeHeader(number); header && header->ok) {
                if (header->value.size() > Limits::kKeptLiteral)
                    std::abort();
                (void)pelmora::pop3::readHeaderTexts(header->value);
            }
        }
        const QByteArray outgoing = session.takeOutgoing();
        // Nothing that changes the mailbox: no STORE, no SELECT (read-write), no EXPUNGE, and
        // headers only with BODY.PEEK.
        for (const char* touching : {"STORE", "SELECT", "EXPUNGE", "BODY[", "COPY", "MOVE"})
            if (outgoing.contains(touching))
                std::abort();
        // Every command is one line: CRLF only at the ends of lines.
        for (qsizetype i = 0; i < outgoing.size(); ++i) {
            const bool lineEnd = outgoing[i] == '\r' && i + 1 < outgoing.size() && outgoing[i + 1] == '\n';
            if ((outgoing[i] == '\r' && !lineEnd)
                || (outgoing[i] == '\n' && (i == 0 || outgoing[i - 1] != '\r')))
                std::abort();
        }
    }
    session.requestLogout();
    (void)session.takeOutgoing();
    return 0;
}
