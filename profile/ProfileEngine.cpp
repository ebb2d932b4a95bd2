#include "profile/ProfileEngine.h"

#include "platform/AtomicFile.h"
#include "profile/ProfileDocument.h"
#include "profile/ProfileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace pelmora::profile {

using namespace text;
using platform::ProfileFiles;
using platform::writeFileAtomically;
using platform::FileAccess;
using Text = ProfileFiles::Text;

namespace {

// GetPrivateProfileIntA reads the value through a 30-character buffer, so digits past the 29th
// never count.
constexpr std::size_t intDigitsRead = 29;

enum class FileEncoding { Ansi, Utf16Le, Utf16Be };

struct LoadedFile {
    enum class Status { Missing, Unreadable, Loaded };
    Status status = Status::Missing;
    FileEncoding encoding = FileEncoding::Ansi;
    std::string text; // ANSI bytes, whatever the encoding on disk
    QString whyUnreadable;
};

std::string decodeUtf16(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return QString(decoder.decode(bytes.sliced(2))).toStdString();
}

LoadedFile load(const QString& path)
{
    LoadedFile file;
    QFile device(path);
    if (!device.exists())
        return file;
    file.status = LoadedFile::Status::Unreadable;
    if (QFileInfo(path).isDir()) {
        file.whyUnreadable = qt_error_string(EISDIR);
        return file;
    }
    if (!device.open(QIODevice::ReadOnly)) {
        file.whyUnreadable = device.errorString();
        return file;
    }
    const QByteArray bytes = device.readAll();
    if (device.error() != QFileDevice::NoError) {
        file.whyUnreadable = device.errorString();
        return file;
    }
    file.status = LoadedFile::Status::Loaded;
    if (bytes.startsWith("\xFF\xFE")) {
        file.encoding = FileEncoding::Utf16Le;
        file.text = decodeUtf16(bytes, QStringConverter::Utf16LE);
    } else if (bytes.startsWith("\xFE\xFF")) {
        file.encoding = FileEncoding::Utf16Be;
        file.text = decodeUtf16(bytes, QStringConverter::Utf16BE);
    } else {
        file.text = bytes.toStdString();
    }
    return file;
}

QByteArray encode(const std::string& text, FileEncoding encoding)
{
    if (encoding == FileEncoding::Ansi)
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    const bool littleEndian = encoding == FileEncoding::Utf16Le;
    QStringEncoder encoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless);
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return QByteArray(littleEndian ? "\xFF\xFE" : "\xFE\xFF") + QByteArray(encoder.encode(decoded));
}

// The caller's texts are C strings: nothing after a NUL is part of them.
std::optional<std::string_view> cString(ProfileFiles::Text text)
{
    if (!text)
        return std::nullopt;
    return text->substr(0, text->find('\0'));
}

// Copies `text`, cut so that it ends between characters, and a NUL. Answers the bytes copied.
std::uint32_t copyString(std::string_view text, std::span<char> buffer)
{
    const std::size_t count = cutAtCharacterBoundary(text, buffer.size() - 1);
    std::copy_n(text.begin(), count, buffer.begin());
    buffer[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

// Copies names as "one\0two\0\0". When they do not all fit, the last one that starts is cut and the
// buffer ends in two NULs; the answer is then the buffer size less two.
std::uint32_t copyList(const std::vector<std::string_view>& names, std::span<char> buffer)
{
    const std::size_t size = buffer.size();
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t pos = 0;
    for (const std::string_view name : names) {
        if (pos + name.size() + 2 <= size) {
            std::copy(name.begin(), name.end(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));
            pos += name.size();
            buffer[pos++] = '\0';
            continue;
        }
        const std::size_t room = pos < size - 2 ? size - 2 - pos : 0;
        const std::size_t count = cutAtCharacterBoundary(name, room);
        std::copy_n(name.begin(), count, buffer.begin() + static_cast<std::ptrdiff_t>(pos));
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(std::min(pos + count, size - 2)),
                  buffer.end(), '\0');
        return static_cast<std::uint32_t>(size - 2);
    }
    buffer[pos] = '\0';
    return static_cast<std::uint32_t>(pos);
}

bool folderExists(const QString& path)
{
    return QFileInfo(path).absoluteDir().exists();
}

} // namespace

std::uint32_t ProfileEngine::getPrivateProfileInt(Text section, Text key, std::int32_t defaultValue,
                                                  const QString& path)
{
    const auto fallback = static_cast<std::uint32_t>(defaultValue);
    section = cString(section);
    key = cString(key);
    if (!section || !key)
        return fallback;
    const LoadedFile file = load(path);
    if (file.status != LoadedFile::Status::Loaded)
        return fallback;
    const ProfileDocument document(file.text);
    const auto value = document.value(*section, *key);
    if (!value || value->empty())
        return fallback;
    return parseProfileInt(value->substr(0, cutAtCharacterBoundary(*value, intDigitsRead)));
}

std::uint32_t ProfileEngine::getPrivateProfileString(Text section, Text key, Text defaultValue,
                                                     std::span<char> buffer, const QString& path)
{
    if (buffer.empty())
        return 0;
    section = cString(section);
    key = cString(key);
    const LoadedFile file = load(path);
    const ProfileDocument document(file.status == LoadedFile::Status::Loaded ? file.text
                                                                             : std::string());
    if (!section)
        return copyList(document.sectionNames(), buffer);
    if (!key)
        return copyList(document.keyNames(*section), buffer);
    if (const auto value = document.value(*section, *key))
        return copyString(*value, buffer);
    // Trailing blanks of the default are dropped, as the Windows documentation states.
    const auto fallback = cString(defaultValue);
    return copyString(fallback ? trimTrailingBlanks(*fallback) : std::string_view(), buffer);
}

WriteResult ProfileEngine::writePrivateProfileString(Text section, Text key, Text value,
                                                     const QString& path)
{
    section = cString(section);
    key = cString(key);
    value = cString(value);
    if (!section)
        return WriteResult::failedWithError(EINVAL);
    if (!folderExists(path))
        return WriteResult::failedWithError(ENOENT);
    LoadedFile file = load(path);
    // A file that exists but cannot be read is never replaced: its contents would be lost.
    if (file.status == LoadedFile::Status::Unreadable)
        return WriteResult::failed(file.whyUnreadable);

    ProfileDocument document(std::move(file.text));
    bool changed = false;
    if (!key)
        changed = document.removeSection(*section);
    else if (!value)
        changed = document.removeKey(*section, *key);
    else
        changed = document.setValue(*section, *key, *value);
    if (!changed)
        return WriteResult::done();
    return writeFileAtomically(path, encode(document.bytes(), file.encoding),
                               m_ownerOnly.contains(path) ? FileAccess::OwnerOnly
                                                          : FileAccess::KeepMode);
}

void ProfileEngine::keepOwnerOnly(const QString& path)
{
    m_ownerOnly.insert(path);
}

} // namespace pelmora::profile
