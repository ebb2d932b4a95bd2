#include "settings/SettingsStore.h"

#include "platform/ProgramPaths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <utility>

namespace pelmora::settings {

SettingsStore::SettingsStore(platform::ProfileFiles& files, const platform::AnsiCodec& codec,
                             QString programFolder)
    : m_files(files), m_codec(codec), m_programFolder(std::move(programFolder))
{
    // The account file holds the password.
    m_files.keepOwnerOnly(path(ProfileFile::Account));
}

QString SettingsStore::path(ProfileFile file) const
{
    const char16_t* literal =
        file == ProfileFile::Main ? kMainProfileLiteral : kAccountProfileLiteral;
    return platform::programFilePath(m_programFolder, QString::fromUtf16(literal));
}

std::int32_t SettingsStore::readNumber(ProfileFile file, std::string_view key) const
{
    return static_cast<std::int32_t>(m_files.getPrivateProfileInt(kSection, key, 0, path(file)));
}

QString SettingsStore::readText(ProfileFile file, std::string_view key,
                                const QString& valueWhenEmpty) const
{
    std::array<char, kTextBufferSize> buffer;
    buffer.fill(' ');
    const QByteArray fallback = m_codec.toAnsi(valueWhenEmpty);
    const std::uint32_t count = m_files.getPrivateProfileString(
        kSection, key, std::string_view(fallback.constData(), std::size_t(fallback.size())),
        buffer, path(file));
    if (count < 1)
        return valueWhenEmpty;

    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return m_codec.fromAnsi(QByteArrayView(buffer.data(), end - buffer.begin()));
}

platform::WriteResult SettingsStore::writeKey(ProfileFile file, std::string_view key,
                                              const QString& text) const
{
    const QByteArray value = m_codec.toAnsi(text);
    return m_files.writePrivateProfileString(
        kSection, key, std::string_view(value.constData(), std::size_t(value.size())),
        path(file));
}

platform::WriteResult SettingsStore::writeFlag(ProfileFile file, std::string_view key,
                                               bool on) const
{
    return writeKey(file, key, flagText(on));
}

QString SettingsStore::flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

std::optional<SaveFailure> SettingsStore::writeKeys(ProfileFile file,
                                                    std::initializer_list<KeyText> keys) const
{
    for (const auto& [key, text] : keys) {
        const platform::WriteResult result = writeKey(file, key, text);
        if (result)
            continue;
        if (!QFileInfo(path(file)).absoluteDir().exists())
            return std::nullopt;
        return SaveFailure{path(file), result.reason};
    }
    return std::nullopt;
}

} // namespace pelmora::settings
