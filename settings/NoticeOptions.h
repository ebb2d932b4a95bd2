#pragma once

#include "platform/WriteResult.h"

#include <QString>

namespace pelmora::settings {

// The two ways of telling about new mail beyond the program's own rule, both off unless the user
// turns them on in the window "オプション".
struct NoticeOptions {
    // Only mail not announced before counts as new (「新着だけを知らせる」).
    bool onlyNewMail = false;
    // New mail also raises a desktop notification naming senders and subjects
    // (「差出人と件名を通知する」).
    bool notifySenders = false;
    bool operator==(const NoticeOptions&) const = default;
};

// The options' file, iniOptions.ini in the data folder: section "OPTIONS", keys ONLYNEW and
// NOTIFY, each 1 (on) or 0 (off). Written whole and atomically, owner-only like the other files of
// the data folder; comments and sections a user added by hand stay. Reading forgives hand edits:
// a missing file or key, any value but 1 or 0, or a file larger than any options read as off.
class NoticeOptionsFile {
public:
    static constexpr char16_t kFileName[] = u"iniOptions.ini";
    static constexpr qsizetype kMaxFileBytes = 64 * 1024;

    explicit NoticeOptionsFile(const QString& dataFolder);

    const QString& path() const { return m_path; }

    NoticeOptions read() const;
    platform::WriteResult write(const NoticeOptions& options) const;

private:
    QString m_path;
};

} // namespace pelmora::settings
