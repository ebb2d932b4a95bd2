#pragma once

// What the Dovecot fixture (tests/servers/dovecot-fixture) wrote about the instance it started.
// A test that needs Dovecot calls PELMORA_REQUIRE_DOVECOT(info): without a running instance it
// fails under CI and is skipped elsewhere.

#include <QFile>
#include <QHash>
#include <QList>
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

// Dovecot's unique ids (UIDL) of the messages of a Maildir it has opened, in its message order:
// what its dovecot-uidlist records (the folder's UIDVALIDITY in the first line, then each
// message's UID before the name it was delivered under), written as its pop3_uidl_format says
// (the default, "%08Xu%08Xv": the UID and the UIDVALIDITY as eight hex digits each, which
// Dovecot writes in lower case).
inline QList<QByteArray> dovecotUidls(const QString& maildir)
{
    QFile file(maildir + QStringLiteral("/dovecot-uidlist"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    QByteArray validity;
    for (const QByteArray& field : lines.value(0).split(' '))
        if (field.startsWith('V'))
            validity = field.mid(1);
    QList<QByteArray> ids;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray uid = lines[i].split(' ').value(0);
        if (!uid.isEmpty())
            ids.append(QString::asprintf("%08llx%08llx", uid.toULongLong(), validity.toULongLong())
                           .toLatin1());
    }
    return ids;
}

} // namespace pelmora::tests

#define PELMORA_REQUIRE_DOVECOT(info)                                                              \
    do {                                                                                           \
        if (!(info).ready()) {                                                                     \
            if (qEnvironmentVariableIsSet("CI"))                                                   \
                QFAIL(qPrintable((info).reason));                                                  \
            QSKIP(qPrintable((info).reason));                                                      \
        }                                                                                          \
    } while (false)
