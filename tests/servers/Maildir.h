#pragma once

// A test's look at a Maildir the fixture's server keeps: what is in it and what is marked read,
// and delivering to it as a mail server does.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

namespace pelmora::tests {

// The messages of a Maildir, each by the unique part of its file name (before the first ',' or
// ':'; Mailutils keeps attributes of its own after a comma), marked "(seen)" where the info after
// ":2," holds the S flag. Which of new/ and cur/ holds a message is left out: a server's login
// moves new mail to cur/.
inline QStringList messagesAndSeenFlags(const QString& maildir)
{
    static const QRegularExpression uniqueEnd(QStringLiteral("[,:]"));
    QStringList messages;
    for (const QString& folder : {QStringLiteral("new"), QStringLiteral("cur")}) {
        for (const QString& name : QDir(maildir + u'/' + folder).entryList(QDir::Files)) {
            const qsizetype info = name.indexOf(QStringLiteral(":2,"));
            const bool seen = info >= 0 && name.sliced(info + 3).contains(u'S');
            messages << name.section(uniqueEnd, 0, 0) + (seen ? QStringLiteral(" (seen)") : QString());
        }
    }
    messages.sort();
    return messages;
}

// Delivers a message as a mail server does: written whole into tmp/, then moved into new/.
inline void deliver(const QString& maildir, const QString& name, const QByteArray& from,
                    const QByteArray& subject)
{
    const QString temporary = maildir + QStringLiteral("/tmp/") + name;
    QFile file(temporary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("From: " + from + "\nTo: user@pelmora.test\nSubject: " + subject
               + "\nDate: Tue, 2 Jan 2024 09:00:00 +0900\nMIME-Version: 1.0\n\nHello.\n");
    file.close();
    QVERIFY(QFile::rename(temporary, maildir + QStringLiteral("/new/") + name));
}

} // namespace pelmora::tests
