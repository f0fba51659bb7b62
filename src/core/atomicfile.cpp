#include "core/atomicfile.h"

#include <QSaveFile>

namespace zjx {

Result writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so a short write (a full disk) shows in write()'s count: a buffered flush inside
    // commit() can lose it and report success with a truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Result::failure(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return Result::failure(
            error.isEmpty() || error == QLatin1String("Unknown error") ? QStringLiteral("short write") : error);
    }
    if (!file.commit())
        return Result::failure(file.errorString().isEmpty() ? QStringLiteral("commit failed") : file.errorString());
    return Result::success();
}

} // namespace zjx
