#pragma once

#include "platform/WriteResult.h"

#include <QByteArrayView>
#include <QString>

namespace pelmora::platform {

// Replaces the whole contents of `path` without ever leaving a half-written file: the bytes go to a
// temporary file in the same folder, which is flushed to disk and then renamed over the original.
// A file this creates is readable and writable by its owner only (the settings files hold a
// password); an existing file keeps its mode (and owner, where allowed), unless `access` asks for
// OwnerOnly: then the result is mode 600 whatever the mode was, and the bytes never stand in a
// file anyone else may read, not even for a moment. A symbolic link is
// followed, so the file it names is replaced and the link stays. A file its user may not write to
// (a read-only file, or one on a read-only file system) is not replaced either. When any step
// fails (the folder is missing or not writable, the disk is full, `path` is a folder, ...) the
// original stays as it was, no temporary file is left behind, and the result says why.
enum class FileAccess { KeepMode, OwnerOnly };
WriteResult writeFileAtomically(const QString& path, QByteArrayView bytes,
                                FileAccess access = FileAccess::KeepMode);

} // namespace pelmora::platform
