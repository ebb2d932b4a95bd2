// libFuzzer target: arbitrary bytes as vbmail.ini, loaded into the server values the way start-up
// loads them. Besides crashes and sanitizer reports, a finding is a value longer than the loader
// keeps, or a file that saving and loading again does not give back.

#include "settings/ProgramValues.h"
#include "settings/ServerSettingsFile.h"

#include "platform/adapters/system/Utf8Cp932Codec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using pelmora::settings::ProgramValues;
using pelmora::settings::ServerSettingsFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // In memory where the system has it: every save is flushed to disk, which would make the
    // run crawl.
    static QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists()
                                    ? QStringLiteral("/dev/shm/pelmora-fuzz-XXXXXX")
                                    : QDir::tempPath() + QStringLiteral("/pelmora-fuzz-XXXXXX"));
    static const QString path = QDir(folder.path()).filePath(QStringLiteral("vbmail.ini"));
    static const pelmora::platform::Utf8Cp932Codec codec;
    static const ServerSettingsFile file(codec, path);

    {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        out.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    ProgramValues values;
    file.load(values);
    for (const QString* value : {&values.SmtpServer, &values.Pop3Server, &values.MailAddress}) {
        if (value->size() > ServerSettingsFile::kMaxValueLength)
            std::abort();
    }

    // What was loaded survives a save and a second load unchanged (values without line breaks,
    // as the server dialog's one-line boxes give them).
    for (QString* value : {&values.SmtpServer, &values.Pop3Server, &values.MailAddress}) {
        value->remove(QLatin1Char('\r'));
        value->remove(QLatin1Char('\n'));
    }
    if (!file.save(values))
        std::abort();
    ProgramValues reloaded;
    file.load(reloaded);
    if (reloaded.SmtpServer != values.SmtpServer || reloaded.Pop3Server != values.Pop3Server ||
        reloaded.MailAddress != values.MailAddress || reloaded.ApopFlag != values.ApopFlag)
        std::abort();
    return 0;
}
