#pragma once

#include <QByteArray>
#include <QString>

namespace zjx {

// Replaces a file's whole content, or leaves the old file untouched: the bytes go to a temporary
// file beside it that is renamed over it only once everything is on disk. Returns an error text,
// empty on success.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace zjx
