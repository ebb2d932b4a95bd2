#pragma once

// The witness that a check left a mailbox's flags alone: the fixtures' Maildirs as their servers
// keep them.

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

namespace pelmora::tests {

// The messages of a Maildir, each by the unique part of its file name (before the first ',' or
// ':'; Mailutils keeps attributes of its own after a comma), marked "(seen)" where the info after
// ":2," holds the S flag. Which of new/ and cur/ holds a message is left out: a POP3 login moves
// new mail to cur/.
inline QStringList messagesAndSeenFlags(const QString& maildir)
{
    static const QRegularExpression uniqueEnd(QStringLiteral("[,:]"));
    QStringList messages;
    for (const char* folder : {"/new", "/cur"}) {
        for (const QString& name : QDir(maildir + QLatin1String(folder)).entryList(QDir::Files)) {
            const qsizetype info = name.indexOf(QStringLiteral(":2,"));
            const bool seen = info >= 0 && name.sliced(info + 3).contains(u'S');
            messages << name.section(uniqueEnd, 0, 0) + (seen ? QStringLiteral(" (seen)") : QString());
        }
    }
    messages.sort();
    return messages;
}

} // namespace pelmora::tests
