// libFuzzer target: arbitrary server bytes into the POP3 protocol core, driven the way the socket
// driver drives it. The first byte chooses the login (APOP, USER/PASS or a bearer token, already
// on TLS or not), the body buffer's capacity and how the rest is cut into reads; then the session
// gets the bytes, completes TLS when it asks for it and asks for headers, sizes and messages once
// logged in, out of step with its reading ahead (which is bounded tightly here, so short inputs
// reach its limits).
// Anything but a clean run (a crash, a sanitizer report, a body buffer that changed size, an
// outgoing line with a stray line break) is a finding.

#include "pop3/MessageHeader.h"
#include "pop3/Pop3Limits.h"
#include "pop3/Pop3Session.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using pelmora::pop3::LoginMethod;
using pelmora::pop3::Session;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    // Bit 0 chooses APOP, or a bearer token when the capacity bits are all set as well.
    const auto method = (flags & 1) == 0 ? LoginMethod::UserPass
        : (flags & 0x1c) == 0x1c         ? LoginMethod::BearerToken
                                         : LoginMethod::Apop;
    Session session({"user", "password", method}, (flags & 2) != 0, true,
                    pelmora::pop3::ReadAhead{.bytes = 64, .firstBytes = 32, .flightBytes = 96,
                                             .messages = 2, .commandBytes = 40});
    const std::size_t capacity = std::size_t((flags >> 2) & 7) * 7;
    std::string body(capacity, ' ');
    const std::size_t chunk = std::size_t(flags >> 5) * 5 + 1;
    int number = 1;
    // What the session did not take while it paused, offered again first, as the driver does.
    QByteArray unread;

    for (std::size_t pos = 0; pos < size; pos += chunk) {
        const std::size_t n = std::min(chunk, size - pos);
        unread.append(reinterpret_cast<const char*>(data + pos), qsizetype(n));
        unread.remove(0, session.feed(unread));
        switch (session.state()) {
        case Session::State::TlsHandshake:
            session.tlsEstablished();
            break;
        case Session::State::Transaction:
            if (session.messageCount() > 0) {
                number = number % std::min(session.messageCount(), 3) + 1;
                session.requestHeader(number);
                if (const auto header = session.takeHeader(number); header && header->ok)
                    (void)pelmora::pop3::readHeaderTexts(header->value);
                session.requestSize(number);
                (void)session.takeSize(number);
                if (session.retrieval().done || number == 1)
                    session.requestMessage(number, &body);
            }
            break;
        default:
            break;
        }
        // Bodies ahead: the caller's own message and the two after it. What is kept may pass its
        // bound by the header the last body kept brought along (a lying LIST can make a body's
        // header longer than the body it announced).
        if (body.size() != capacity || session.bodiesAhead() > 1 + 2
            || session.bytesKept() > 64 + pelmora::pop3::Limits::kMaxHeaderBytes
            || session.bytesAhead() > 64 + 96)
            std::abort();
        const QByteArray outgoing = session.takeOutgoing();
        // Every command is one line: CRLF only at the ends of lines.
        for (qsizetype i = 0; i < outgoing.size(); ++i) {
            const bool lineEnd = outgoing[i] == '\r' && i + 1 < outgoing.size() && outgoing[i + 1] == '\n';
            if ((outgoing[i] == '\r' && !lineEnd)
                || (outgoing[i] == '\n' && (i == 0 || outgoing[i - 1] != '\r')))
                std::abort();
        }
    }
    session.detachBody();
    (void)pelmora::pop3::readHeaderTexts(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
