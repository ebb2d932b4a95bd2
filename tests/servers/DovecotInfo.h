#pragma once

// What the Dovecot fixture (tests/servers/dovecot-fixture) wrote about the instance it started.
// A test that needs Dovecot calls PELMORA_REQUIRE_DOVECOT(info): without a running instance it
// fails under CI and is skipped elsewhere.

#include <QFile>
#include <QHash>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace pelmora::tests {

struct DovecotInfo {
    QHash<QString, QString> values;
    QString reason;

    QString operator[](const QString& key) const { return values.value(key); }
    bool ready() const { return values.value(QStringLiteral("STATUS")) == QStringLiteral("ready"); }

    // Reads the file named by the environment variable PELMORA_DOVECOT_INFO (or `variable`: the
    // sign-in fixture's file, PELMORA_SIGNIN_INFO, has Dovecot's keys too).
    static DovecotInfo load(const char* variable = "PELMORA_DOVECOT_INFO")
    {
        DovecotInfo info;
        const QString path = qEnvironmentVariable(variable);
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
            info.reason = QStringLiteral("no Dovecot fixture information at '%1'").arg(path);
            return info;
        }
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            const auto equals = line.indexOf(u'=');
            if (equals > 0)
                info.values.insert(line.left(equals), line.mid(equals + 1));
        }
        if (!info.ready())
            info.reason = QStringLiteral("Dovecot unavailable: %1").arg(info[QStringLiteral("REASON")]);
        return info;
    }
};

} // namespace pelmora::tests

#define PELMORA_REQUIRE_DOVECOT(info)                                                              \
    do {                                                                                           \
        if (!(info).ready()) {                                                                     \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable((info).reason));                                                  \
            QSKIP(qPrintable((info).reason));                                                      \
        }                                                                                          \
    } while (false)
