#pragma once

#include "platform/WriteResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pelmora::mail {

// The account whose messages are announced: the server and user ID as the user typed them.
struct MailAccount {
    QString server;
    QString user;
    bool operator==(const MailAccount&) const = default;
};

// Which messages were already announced, for "only new mail": their unique ids (the mailbox
// port's messageIds()), kept in announced.txt in the data folder (★MailData). The file is plain
// text: a first line naming the account ("account <server> <user>", each percent-encoded), then
// one id per line, in message order. It is written whole each time (atomically, owner-only) and
// keeps only ids still on the server, so it never outgrows the mailbox.
//
// Only the account's own record counts: a file for another server or user ID knows nothing (the
// account changed: what was announced is forgotten), and so does a file that is missing, larger
// than any record (kMaxFileBytes), or not wholly made of such lines (a hand edit gone wrong).
// Such a file is replaced by the next record written.
class AnnouncedMessages {
public:
    static constexpr char16_t kFileName[] = u"announced.txt";
    // The ids a record holds at most (the newest are kept): more than any mailbox a check reads.
    static constexpr qsizetype kMaxIds = 500'000;
    // The longest id the mailbox port gives, and the longest account line kept.
    static constexpr qsizetype kMaxIdBytes = 70;
    static constexpr qsizetype kMaxAccountLineBytes = 4096;
    static constexpr qsizetype kMaxFileBytes =
        kMaxAccountLineBytes + 1 + kMaxIds * (kMaxIdBytes + 2);

    explicit AnnouncedMessages(const QString& dataFolder);
    const QString& path() const { return m_path; }

    // Whether the file holds a record for `account` (possibly of no message): false when nothing
    // was ever recorded for it, or the record was forgotten.
    bool remembers(const MailAccount& account) const;
    // The positions in `mailbox` (the ids in message order) of the messages not yet announced for
    // `account`: all of them when it has no record.
    QList<qsizetype> newMessages(const MailAccount& account,
                                 const QList<QByteArray>& mailbox) const;
    // Records the messages `announced` (ids of `mailbox`) as announced for `account`, beside those
    // recorded before that are still in `mailbox`; every other id is dropped.
    platform::WriteResult markAnnounced(const MailAccount& account,
                                        const QList<QByteArray>& mailbox,
                                        const QList<QByteArray>& announced) const;
    // Takes every message in `mailbox` as announced (when the user turns "only new mail" on, the
    // mail already there is not news).
    platform::WriteResult markAllAnnounced(const MailAccount& account,
                                           const QList<QByteArray>& mailbox) const;
    // Forgets every record: each message counts as new again. A missing file is forgotten already.
    platform::WriteResult forget() const;

private:
    // The ids recorded for `account`, or nothing (see the class comment).
    std::optional<QList<QByteArray>> read(const MailAccount& account) const;
    platform::WriteResult write(const MailAccount& account, const QList<QByteArray>& ids) const;

    QString m_path;
};

} // namespace pelmora::mail
