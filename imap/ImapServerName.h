#pragma once

#include "pop3/ServerAddress.h"

#include <QString>

#include <optional>

namespace pelmora::imap {

// Where to connect and how to secure it, from a server name that names an IMAP server:
//   imap://host[:port]            port 143, switching to TLS with STARTTLS whenever the server
//                                 offers it (and, once a server has offered it, always for that
//                                 server while the program runs)
//   imap+starttls://host[:port]   port 143, STARTTLS required: a server that does not offer it
//                                 gets no password
//   imaps://host[:port]           TLS from the first byte, port 993
// The host and port are written as for POP3 (IPv6 literals in brackets), whose address this is.
std::optional<pop3::ServerAddress> parseServerName(const QString& typed);

} // namespace pelmora::imap
