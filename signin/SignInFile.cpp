#include "signin/SignInFile.h"

#include "platform/AtomicFile.h"
#include "profile/ProfileDocument.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <unistd.h>
#include <string>
#include <utility>

namespace pelmora::signin {

using namespace Qt::StringLiterals;

namespace {

constexpr std::string_view kSection = "SIGNIN";

struct Field {
    std::string_view key;
    QString SignInChoice::*member;
};

constexpr Field kFields[] = {
    {"PROVIDER", &SignInChoice::provider},
    {"CLIENTID", &SignInChoice::clientId},
    {"CLIENTSECRET", &SignInChoice::clientSecret},
    {"LOGINNAME", &SignInChoice::loginName},
    {"AUTHURL", &SignInChoice::authorizationUrl},
    {"TOKENURL", &SignInChoice::tokenUrl},
    {"SCOPE", &SignInChoice::scope},
    {"SERVER", &SignInChoice::server},
};

// The file's current bytes; nothing when it is missing, unreadable or larger than any choice.
std::optional<std::string> currentBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(SignInFile::kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > SignInFile::kMaxFileBytes)
        return std::nullopt;
    return bytes.toStdString();
}

// Every value is one line: line breaks and NULs (which a profile line cannot hold) are dropped.
// Blanks around a value and quotes at its ends would be taken away when it is read back, so such
// a value is written between quotes, which reading removes again.
std::string fileValue(const QString& value)
{
    std::string bytes = value.toStdString();
    std::erase_if(bytes, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    if (bytes.empty())
        return bytes;
    const auto special = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
    if (special(bytes.front()) || special(bytes.back()))
        return '"' + bytes + '"';
    return bytes;
}

} // namespace

SignInFile::SignInFile(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QString::fromUtf16(kFileName)))
{
}

SignInChoice SignInFile::read() const
{
    SignInChoice choice;
    const std::optional<std::string> bytes = currentBytes(m_path);
    if (!bytes)
        return choice;
    const profile::ProfileDocument document(*bytes);
    for (const Field& field : kFields) {
        if (const auto value = document.value(kSection, field.key))
            choice.*field.member =
                QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
    }
    return choice;
}

platform::WriteResult SignInFile::write(const SignInChoice& choice) const
{
    // Comments and other sections a user added by hand stay; a file that cannot be read is
    // replaced rather than left holding an older choice.
    profile::ProfileDocument document(currentBytes(m_path).value_or(std::string()));
    for (const Field& field : kFields)
        document.setValue(kSection, field.key, fileValue(choice.*field.member));
    return platform::writeFileAtomically(
        m_path, QByteArrayView(document.bytes().data(), static_cast<qsizetype>(document.bytes().size())),
        platform::FileAccess::OwnerOnly);
}

platform::WriteResult SignInFile::remove() const
{
    // unlink is atomic: the file is there whole or not at all; a folder of that name stays.
    if (::unlink(QFile::encodeName(m_path).constData()) == 0 || errno == ENOENT)
        return platform::WriteResult::done();
    return platform::WriteResult::failedWithError(errno);
}

} // namespace pelmora::signin
