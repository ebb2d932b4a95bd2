#pragma once

#include <QString>

namespace pelmora::platform {

// The program builds its asset and settings paths the Windows way: a literal that begins with a
// backslash ("\★MailData\ini.ini") appended directly to the program folder. These helpers are the
// only place that turns such a path into one the platform can open.

// The folder that holds the executable, without a trailing separator. The environment variable
// PELMORA_PROGRAM_FOLDER, when it names an existing folder by an absolute path, takes its place
// (a shared installation's launcher starts the program from a per-user folder of links); any
// other value is ignored.
QString programFolder();

// A path written with backslash separators, as the native path of this platform
// (on Linux every backslash becomes "/").
QString toNativePath(const QString& backslashPath);

// The program folder followed directly by a backslash literal, as a native path.
QString programFilePath(const QString& programFolder, const QString& backslashLiteral);

// The local file named by a "file://" address as the animation pane receives it (the path may use
// backslashes); an empty text when the address is not a "file://" address.
QString localFileFromFileUrl(const QString& url);

} // namespace pelmora::platform
