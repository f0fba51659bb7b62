#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QString>

namespace zjx {

// Who may read a file the program writes. The user's parcels, notes and settings are theirs
// alone; a file the user hands on (an export) is made as the user's umask says.
enum class FileAccess { OwnerOnly, UmaskDefault };

// Replaces a file's whole content, or leaves the old file untouched: the bytes go to a temporary
// file beside it that is renamed over it only once everything is on disk. An OwnerOnly file is
// 0600 from its first byte on, also when it replaces one that others could read.
Result writeFileAtomically(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::OwnerOnly);

// Makes the file at `path` its owner's alone: an existing one loses every permission but the
// owner's reading and writing, a missing one is created empty with 0600. For files moved aside
// and for files Qt writes itself (settings), which keep the mode they find. False when it fails.
bool keepToOwner(const QString& path);

// Takes every permission of group and others from the files of the user's at `path` (and, with
// `alsoNumbered`, at "path*": "wlnum.ini.bak", "wlnum.ini.bak.2" ...): files an earlier version or
// another program left readable are the user's alone from the start, not from their next write.
// Missing files, symbolic links and files of other users are left as they are.
void tightenToOwner(const QString& path, bool alsoNumbered = false);

// Creates `folder` with every missing folder above it, each new one for its owner alone (0700);
// folders that exist keep their mode. True when the folder is there.
bool makePrivateFolder(const QString& folder);

} // namespace zjx
