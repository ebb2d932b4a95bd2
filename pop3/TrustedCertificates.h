#pragma once

#include <QList>
#include <QSslCertificate>

namespace pelmora::pop3 {

// The certificates a server's certificate must chain to: the system's trusted certificates, plus
// those named by OpenSSL's environment variables SSL_CERT_FILE (a PEM bundle) and SSL_CERT_DIR
// (a folder of PEM files), as OpenSSL's default verify paths would read them. Qt on its own
// looks only in the system folders, so without this the variables would be ignored. Read once per
// distinct pair of variable values.
QList<QSslCertificate> trustedCertificates();

} // namespace pelmora::pop3
