#pragma once

#include <QByteArrayView>
#include <QString>

namespace pelmora::platform {

// Replaces the whole contents of `path` without ever leaving a half-written file: the bytes go to a
// temporary file in the same folder, which is then renamed over the original. A file this creates
// is readable and writable by its owner only (the settings files hold a password); an existing
// file keeps its mode. Answers false, leaving the original as it was, when any step fails (e.g.
// the folder is missing or not writable, or the disk is full).
bool writeFileAtomically(const QString& path, QByteArrayView bytes);

} // namespace pelmora::platform
