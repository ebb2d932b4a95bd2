#pragma once

#include <QByteArrayView>
#include <QString>

namespace pelmora::platform {

// Replaces the whole contents of `path` without ever leaving a half-written file: the bytes go to a
// temporary file in the same folder, which is flushed to disk and then renamed over the original.
// A file this creates is readable and writable by its owner only (the settings files hold a
// password); an existing file keeps its mode (and owner, where allowed). A symbolic link is
// followed, so the file it names is replaced and the link stays. Answers false, leaving the
// original as it was and no temporary file behind, when any step fails (the folder is missing or
// not writable, the disk is full, `path` is a folder, ...).
bool writeFileAtomically(const QString& path, QByteArrayView bytes);

} // namespace pelmora::platform
