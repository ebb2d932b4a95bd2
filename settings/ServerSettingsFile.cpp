#include "settings/ServerSettingsFile.h"

#include "settings/TextValue.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace pelmora::settings {

using namespace Qt::StringLiterals;

namespace {

// The first `length` characters of a text, without leaving half of a surrogate pair at the end.
QString leftWholeCharacters(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

QList<QByteArrayView> splitLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(bytes.sliced(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start));
    return lines;
}

} // namespace

ServerSettingsFile::ServerSettingsFile(const platform::AnsiCodec& codec, QString fileName)
    : m_codec(codec), m_fileName(std::move(fileName))
{
}

void ServerSettingsFile::load(ProgramValues& values) const
{
    if (!QFileInfo(m_fileName).isFile())
        return;
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return; // unreadable: as if it were missing
    const QByteArray bytes = file.readAll();

    for (const QByteArrayView lineBytes : splitLines(bytes)) {
        const QString line = m_codec.fromAnsi(lineBytes);
        const QString prefix = line.left(5);
        const QString value = leftWholeCharacters(line.mid(5), kMaxValueLength);
        if (prefix == u"SMTP="_s)
            values.SmtpServer = value;
        else if (prefix == u"POP3="_s)
            values.Pop3Server = value;
        else if (prefix == u"MAIL="_s)
            values.MailAddress = value;
        else if (prefix == u"APOP="_s)
            values.ApopFlag = roundToInt16(TextValue(value));
    }
}

platform::WriteResult ServerSettingsFile::save(const ProgramValues& values) const
{
    QByteArray bytes;
    const auto appendLine = [&](const QString& line) {
        bytes += m_codec.toAnsi(line);
        bytes += "\r\n";
    };
    appendLine(u"SMTP="_s + values.SmtpServer);
    appendLine(u"POP3="_s + values.Pop3Server);
    appendLine(u"MAIL="_s + values.MailAddress);
    appendLine(u"APOP="_s + QString::number(values.ApopFlag));
    return platform::writeFileAtomically(m_fileName, bytes);
}

QString ServerSettingsFile::path() const
{
    return QFileInfo(m_fileName).absoluteFilePath();
}

} // namespace pelmora::settings
