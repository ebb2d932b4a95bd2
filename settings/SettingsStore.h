#pragma once

#include "settings/SaveFailure.h"
#include "settings/SettingsKeys.h"

#include "platform/WriteResult.h"
#include "platform/ports/AnsiCodec.h"
#include "platform/ports/ProfileFiles.h"

#include <QString>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

namespace pelmora::settings {

// The two profile files in the data folder under the program folder.
enum class ProfileFile {
    Main,    // ini.ini: preferences and the mail program's path
    Account, // iniIdPass.ini: the POP3 account; every save leaves it owner-only (mode 600)
};

inline constexpr char16_t kMainProfileLiteral[] = u"\\★MailData\\ini.ini";
inline constexpr char16_t kAccountProfileLiteral[] = u"\\★MailData\\iniIdPass.ini";

// The mail program's path when none is chosen: what key NAME of ini.ini reads as when empty, and
// what the main window's mail program path then holds.
inline constexpr char16_t kMailProgramNotSet[] = u"未設定";

// Reads and writes single keys of the profile files, at the moment they are needed: nothing is
// cached, so a file edited by hand is seen at the next read. The data folder must exist; the
// program never creates it. Without it the program runs on its defaults and saves nothing, and
// that is no failure to tell the user about.
class SettingsStore {
public:
    // Capacity of the buffer a text key is read into: values come back cut to 255 bytes.
    static constexpr std::size_t kTextBufferSize = 256;

    SettingsStore(platform::ProfileFiles& files, const platform::AnsiCodec& codec,
                  QString programFolder);

    // The key read as an integer; 0 when the file or the key is missing or not a number.
    std::int32_t readNumber(ProfileFile file, std::string_view key) const;

    // The key's text, at most 255 bytes; `valueWhenEmpty` when the key is missing or empty.
    QString readText(ProfileFile file, std::string_view key, const QString& valueWhenEmpty) const;

    // Writes the key (creating file and key as needed).
    platform::WriteResult writeKey(ProfileFile file, std::string_view key,
                                   const QString& text) const;

    // A flag's on/off state as it is stored: "1" or "0".
    platform::WriteResult writeFlag(ProfileFile file, std::string_view key, bool on) const;
    static QString flagText(bool on);

    // Writes the keys in order, up to the first that fails, and answers that failure: the one
    // the user must be told of. A missing data folder answers none.
    using KeyText = std::pair<std::string_view, QString>;
    std::optional<SaveFailure> writeKeys(ProfileFile file,
                                         std::initializer_list<KeyText> keys) const;

    QString path(ProfileFile file) const;
    const platform::AnsiCodec& codec() const { return m_codec; }

private:
    platform::ProfileFiles& m_files;
    const platform::AnsiCodec& m_codec;
    QString m_programFolder;
};

// How a flag key that has just been read applies to its option: 1 turns it on, 0 off, and any
// other number leaves the option as it was.
inline bool applyStoredFlag(std::int32_t stored, bool current)
{
    return stored == 1 ? true : stored == 0 ? false : current;
}

} // namespace pelmora::settings
