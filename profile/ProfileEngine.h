#pragma once

#include "platform/ports/ProfileFiles.h"

#include <QSet>

namespace pelmora::profile {

using platform::WriteResult;

// The profile functions on real files. Every call reads the file afresh (there is no cache to go
// stale when the user edits a file by hand), and every write replaces the file atomically.
// A file that starts with a UTF-16 byte order mark (saved as "Unicode" by Windows Notepad) is read
// and written back in UTF-16, with its texts as UTF-8, the ANSI code page here.
class ProfileEngine final : public platform::ProfileFiles {
public:
    ProfileEngine() = default;

    std::uint32_t getPrivateProfileInt(Text section, Text key, std::int32_t defaultValue,
                                       const QString& path) override;
    std::uint32_t getPrivateProfileString(Text section, Text key, Text defaultValue,
                                          std::span<char> buffer, const QString& path) override;
    WriteResult writePrivateProfileString(Text section, Text key, Text value,
                                          const QString& path) override;
    void keepOwnerOnly(const QString& path) override;

private:
    QSet<QString> m_ownerOnly;
};

} // namespace pelmora::profile
