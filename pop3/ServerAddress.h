#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pelmora::pop3 {

// Where to connect and how to secure it, read from the server name the user typed:
//   host, host:port, pop3://host[:port]   plain text on port 110, switching to TLS with STLS
//                                          whenever the server offers it
//                                          (and, once a server has offered it, always for that
//                                          server while the program runs)
//   pop3+starttls://host[:port]           port 110, STLS required: a server that does not offer
//                                          it gets no password
//   pop3s://host[:port]                   TLS from the first byte, port 995
// IPv6 literals are written in brackets: [::1], [::1]:110, pop3s://[::1].
struct ServerAddress {
    enum class Security : std::uint8_t { StartTlsWhenOffered, StartTlsRequired, ImplicitTls };

    QString host;
    std::uint16_t port = 110;
    Security security = Security::StartTlsWhenOffered;

    static std::optional<ServerAddress> parse(const QString& typed);
};

} // namespace pelmora::pop3
