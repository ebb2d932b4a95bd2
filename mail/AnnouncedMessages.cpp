#include "mail/AnnouncedMessages.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace pelmora::mail {

namespace {

QByteArray accountLine(const MailAccount& account)
{
    return "account " + account.server.toUtf8().toPercentEncoding() + ' '
         + account.user.toUtf8().toPercentEncoding();
}

bool isId(QByteArrayView line)
{
    return !line.isEmpty() && line.size() <= AnnouncedMessages::kMaxIdBytes
        && std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x21 && c <= 0x7e; });
}

} // namespace

AnnouncedMessages::AnnouncedMessages(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QString::fromUtf16(kFileName)))
{
}

std::optional<QList<QByteArray>> AnnouncedMessages::read(const MailAccount& account) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileBytes)
        return std::nullopt;
    QList<QByteArray> ids;
    qsizetype pos = 0;
    bool first = true;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = QByteArrayView(bytes).sliced(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r')) // an editor's line ends
            line.chop(1);
        if (first) {
            if (line != accountLine(account))
                return std::nullopt;
            first = false;
        } else if (!isId(line) || ids.size() >= kMaxIds) {
            return std::nullopt;
        } else {
            ids.append(line.toByteArray());
        }
    }
    if (first)
        return std::nullopt;
    return ids;
}

platform::WriteResult AnnouncedMessages::write(const MailAccount& account,
                                               const QList<QByteArray>& ids) const
{
    QByteArray bytes = accountLine(account) + '\n';
    if (bytes.size() > kMaxAccountLineBytes + 1)
        bytes = "account -\n"; // no such account is ever read back: nothing is remembered
    // The newest messages come last in the mailbox; past the bound the oldest are dropped.
    for (qsizetype i = std::max<qsizetype>(0, ids.size() - kMaxIds); i < ids.size(); ++i) {
        if (isId(ids[i]))
            bytes += ids[i] + '\n';
    }
    return platform::writeFileAtomically(m_path, bytes, platform::FileAccess::OwnerOnly);
}

bool AnnouncedMessages::remembers(const MailAccount& account) const
{
    return read(account).has_value();
}

QList<qsizetype> AnnouncedMessages::newMessages(const MailAccount& account,
                                                const QList<QByteArray>& mailbox) const
{
    const QList<QByteArray> recorded = read(account).value_or(QList<QByteArray>());
    const QSet<QByteArray> known(recorded.begin(), recorded.end());
    QList<qsizetype> fresh;
    for (qsizetype i = 0; i < mailbox.size(); ++i)
        if (!known.contains(mailbox[i]))
            fresh.append(i);
    return fresh;
}

platform::WriteResult AnnouncedMessages::markAnnounced(const MailAccount& account,
                                                       const QList<QByteArray>& mailbox,
                                                       const QList<QByteArray>& announced) const
{
    const QList<QByteArray> recorded = read(account).value_or(QList<QByteArray>());
    QSet<QByteArray> keep(recorded.begin(), recorded.end());
    keep.unite(QSet<QByteArray>(announced.begin(), announced.end()));
    QList<QByteArray> ids;
    for (const QByteArray& id : mailbox)
        if (keep.contains(id))
            ids.append(id);
    return write(account, ids);
}

platform::WriteResult AnnouncedMessages::markAllAnnounced(const MailAccount& account,
                                                          const QList<QByteArray>& mailbox) const
{
    return write(account, mailbox);
}

platform::WriteResult AnnouncedMessages::forget() const
{
    // unlink is atomic: the file is there whole or not at all.
    if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT)
        return platform::WriteResult::done();
    return platform::WriteResult::failedWithError(errno);
}

} // namespace pelmora::mail
