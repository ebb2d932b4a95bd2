// libFuzzer target: arbitrary server bytes into the POP3 protocol core, driven the way the socket
// driver drives it. The first byte chooses the login (APOP, USER/PASS or a bearer token, already
// on TLS or not) and how the rest is cut into reads; then the session gets the bytes, completes TLS
// when it asks for it and asks for headers once logged in, out of step with its reading
// ahead (which is bounded tightly here, so short inputs reach its limits), and for the messages'
// unique ids once the first header is there (behind the headers read ahead).
// Anything but a clean run (a crash, a sanitizer report, headers kept past their bound, an outgoing
// line with a stray line break or a command that would change the mailbox, ids answered that are
// not one valid id per message, each different) is a finding.

#include "pop3/MessageHeader.h"
#include "pop3/Pop3Limits.h"
#include "pop3/Pop3Session.h"

#include <QSet>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using pelmora::pop3::LoginMethod;
using pelmora::pop3::Session;

namespace {

// An answered list of ids is one id per message, each of 1 to 70 printable ASCII characters,
// none twice.
bool usableIds(const QList<QByteArray>& ids, int count)
{
    if (ids.size() != count)
        return false;
    for (const QByteArray& id : ids) {
        if (id.isEmpty() || id.size() > 70
            || !std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7e; }))
            return false;
    }
    return QSet<QByteArray>(ids.begin(), ids.end()).size() == ids.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    ++data;
    --size;
    // Bit 0 chooses APOP, or a bearer token when bits 2 to 4 are all set as well.
    const auto method = (flags & 1) == 0 ? LoginMethod::UserPass
        : (flags & 0x1c) == 0x1c         ? LoginMethod::BearerToken
                                         : LoginMethod::Apop;
    constexpr std::int64_t kHeaderBytes = 64;
    Session session({"user", "password", method}, (flags & 2) != 0, true,
                    pelmora::pop3::ReadAhead{.headerBytes = kHeaderBytes, .messages = 2,
                                             .commandBytes = 40});
    const std::size_t chunk = std::size_t(flags >> 5) * 5 + 1;
    int number = 1;
    bool idsAsked = false;
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
                const auto header = session.takeHeader(number);
                if (header && header->ok)
                    (void)pelmora::pop3::readHeaderTexts(header->value);
                if (header && !idsAsked) {
                    session.requestMessageIds();
                    idsAsked = true;
                }
            }
            if (const auto ids = session.takeMessageIds();
                ids && ids->ok && !usableIds(ids->value, session.messageCount()))
                std::abort();
            break;
        default:
            break;
        }
        // What is kept may pass its bound by the last header that came before reading paused.
        if (session.headerBytesAhead() > kHeaderBytes + pelmora::pop3::Limits::kMaxHeaderBytes)
            std::abort();
        const QByteArray outgoing = session.takeOutgoing();
        // Nothing that retrieves or deletes a message: servers mark retrieved messages as read.
        if (outgoing.contains("RETR") || outgoing.contains("DELE"))
            std::abort();
        // Every command is one line: CRLF only at the ends of lines.
        for (qsizetype i = 0; i < outgoing.size(); ++i) {
            const bool lineEnd = outgoing[i] == '\r' && i + 1 < outgoing.size() && outgoing[i + 1] == '\n';
            if ((outgoing[i] == '\r' && !lineEnd)
                || (outgoing[i] == '\n' && (i == 0 || outgoing[i - 1] != '\r')))
                std::abort();
        }
    }
    (void)pelmora::pop3::readHeaderTexts(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
