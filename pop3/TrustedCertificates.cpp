#include "pop3/TrustedCertificates.h"

#include <QDir>
#include <QSslConfiguration>

#include <utility>

namespace pelmora::pop3 {

QList<QSslCertificate> trustedCertificates()
{
    static std::pair<QString, QString> cachedFor;
    static QList<QSslCertificate> cached;
    static bool loaded = false;

    const std::pair<QString, QString> environment{qEnvironmentVariable("SSL_CERT_FILE"),
                                                  qEnvironmentVariable("SSL_CERT_DIR")};
    if (loaded && environment == cachedFor)
        return cached;

    QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
    if (!environment.first.isEmpty())
        certificates += QSslCertificate::fromPath(environment.first, QSsl::Pem);
    if (!environment.second.isEmpty()) {
        // OpenSSL's list separator for several folders.
        for (const QString& folder : environment.second.split(u':', Qt::SkipEmptyParts)) {
            const QDir dir(folder);
            const auto files = dir.entryList(QDir::Files);
            for (const QString& file : files)
                certificates += QSslCertificate::fromPath(dir.filePath(file), QSsl::Pem);
        }
    }
    cachedFor = environment;
    cached = certificates;
    loaded = true;
    return cached;
}

} // namespace pelmora::pop3
