#pragma once

// What a Dovecot of the fixture saw since a moment the test marks: the lines of its log, and the
// commands the sessions of one user sent after their login (the fixture keeps a raw log of them
// for MAILCHECK_USER and SCHEDULED_USER). Dovecot writes both a moment after a session ends, so
// the readers wait a little for what they look for.

#include "tests/servers/DovecotInfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <QTest>

#include <algorithm>

namespace pelmora::tests {

class DovecotWitness {
public:
    DovecotWitness(const DovecotInfo& info, const QString& user)
        : m_log(info[QStringLiteral("LOG")]),
          m_rawlog(info[QStringLiteral("RAWLOG_DIR")] + u'/' + user)
    {
    }

    // From now on.
    void mark()
    {
        m_logStart = QFile(m_log).size();
        m_knownSessions = QSet<QString>();
        for (const QString& name : sessionFiles())
            m_knownSessions.insert(name);
    }

    // The log lines written since the mark.
    QStringList logLines() const
    {
        QFile log(m_log);
        if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logStart))
            return {};
        return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // Whether a line containing every one of `parts` was logged since the mark, waiting up to
    // `waitMs` for it.
    bool logged(const QStringList& parts, int waitMs = 3000) const
    {
        QDeadlineTimer deadline(waitMs);
        do {
            if (countLogged(parts) > 0)
                return true;
            QTest::qWait(20);
        } while (!deadline.hasExpired());
        return false;
    }

    qsizetype countLogged(const QStringList& parts) const
    {
        const QStringList lines = logLines();
        return std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
            return std::all_of(parts.begin(), parts.end(),
                               [&](const QString& p) { return line.contains(p); });
        });
    }

    // The commands of the user's sessions begun since the mark, session after session, once
    // each has ended with QUIT (or after `waitMs`).
    QStringList commands(int waitMs = 3000) const
    {
        QDeadlineTimer deadline(waitMs);
        for (;;) {
            QStringList all;
            bool complete = true;
            for (const QString& name : sessionFiles()) {
                if (m_knownSessions.contains(name))
                    continue;
                const QStringList session = sessionCommands(name);
                complete = complete && session.contains(QStringLiteral("QUIT"));
                all += session;
            }
            if (complete || deadline.hasExpired())
                return all;
            QTest::qWait(20);
        }
    }

private:
    QStringList sessionFiles() const
    {
        // Named by the time and process of the session: in name order, in order of their start.
        QStringList files = QDir(m_rawlog).entryList({QStringLiteral("*.in")}, QDir::Files,
                                                     QDir::Name);
        return files;
    }

    QStringList sessionCommands(const QString& name) const
    {
        QFile file(m_rawlog + u'/' + name);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList commands;
        // Each line: a time stamp, a blank, the command as sent.
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const auto blank = line.indexOf(u' ');
            if (blank > 0)
                commands << line.mid(blank + 1).trimmed();
        }
        return commands;
    }

    QString m_log;
    QString m_rawlog;
    qint64 m_logStart = 0;
    QSet<QString> m_knownSessions;
};

} // namespace pelmora::tests
