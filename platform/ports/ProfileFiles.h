#pragma once

#include "platform/WriteResult.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pelmora::platform {

// Private-profile files ("INI" files) with the behaviour of the Windows ANSI profile functions.
// Sections, keys and values are bytes in the ANSI code page; an absent optional stands for the
// null pointer of the Windows call. `path` is a native file path.
class ProfileFiles {
public:
    using Text = std::optional<std::string_view>;

    virtual ~ProfileFiles() = default;

    // GetPrivateProfileIntA: the key's value read as an integer, or `defaultValue` when the file,
    // the section or the key is missing.
    virtual std::uint32_t getPrivateProfileInt(Text section, Text key, std::int32_t defaultValue,
                                               const QString& path) = 0;

    // GetPrivateProfileStringA: copies the value (or `defaultValue`) into `buffer`, NUL-terminated
    // and cut to fit, and answers the number of bytes copied without the NUL.
    virtual std::uint32_t getPrivateProfileString(Text section, Text key, Text defaultValue,
                                                  std::span<char> buffer,
                                                  const QString& path) = 0;

    // WritePrivateProfileStringA: creates the file, section and key as needed. A null value
    // deletes the key, a null key the section. Fails, creating nothing, when the folder is missing.
    // A failure says why, as the Windows call's last error would.
    virtual WriteResult writePrivateProfileString(Text section, Text key, Text value,
                                                  const QString& path) = 0;

    // Every later write of the file at `path` leaves it readable and writable by its owner only,
    // whatever mode it had before: for the file that holds the password.
    virtual void keepOwnerOnly(const QString& path) = 0;
};

} // namespace pelmora::platform
