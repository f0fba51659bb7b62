#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QString>

namespace zjx {

// Replaces a file's whole content, or leaves the old file untouched: the bytes go to a temporary
// file beside it that is renamed over it only once everything is on disk.
Result writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace zjx
