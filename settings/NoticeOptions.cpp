#include "settings/NoticeOptions.h"

#include "platform/AtomicFile.h"
#include "profile/ProfileDocument.h"

#include <QDir>
#include <QFile>

#include <optional>
#include <string>

namespace pelmora::settings {

namespace {

constexpr std::string_view kSection = "OPTIONS";
constexpr std::string_view kOnlyNewKey = "ONLYNEW";
constexpr std::string_view kNotifyKey = "NOTIFY";

// The file's bytes; nothing when it is missing, unreadable or larger than any options.
std::optional<std::string> currentBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(NoticeOptionsFile::kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > NoticeOptionsFile::kMaxFileBytes)
        return std::nullopt;
    return bytes.toStdString();
}

bool isOn(const profile::ProfileDocument& document, std::string_view key)
{
    return document.value(kSection, key) == std::optional<std::string_view>("1");
}

} // namespace

NoticeOptionsFile::NoticeOptionsFile(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QString::fromUtf16(kFileName)))
{
}

NoticeOptions NoticeOptionsFile::read() const
{
    const std::optional<std::string> bytes = currentBytes(m_path);
    if (!bytes)
        return {};
    const profile::ProfileDocument document(*bytes);
    return {isOn(document, kOnlyNewKey), isOn(document, kNotifyKey)};
}

platform::WriteResult NoticeOptionsFile::write(const NoticeOptions& options) const
{
    profile::ProfileDocument document(currentBytes(m_path).value_or(std::string()));
    document.setValue(kSection, kOnlyNewKey, options.onlyNewMail ? "1" : "0");
    document.setValue(kSection, kNotifyKey, options.notifySenders ? "1" : "0");
    const std::string& bytes = document.bytes();
    return platform::writeFileAtomically(
        m_path, QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
        platform::FileAccess::OwnerOnly);
}

} // namespace pelmora::settings
