#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zjx::test {

// The bytes of the file at `path`, or `missing` when it cannot be read.
inline QByteArray fileBytes(const QString& path, const QByteArray& missing = QByteArray()) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

} // namespace zjx::test
