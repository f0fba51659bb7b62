#include "core/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx {

Result writeFileAtomically(const QString& path, const QByteArray& bytes, FileAccess access) {
    QSaveFile file(path);
    // Unbuffered, so a short write (a full disk) shows in write()'s count: a buffered flush inside
    // commit() can lose it and report success with a truncated file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Result::failure(file.errorString());
    // The temporary file takes the mode of the file it replaces, or the umask's: set before the
    // first byte, so the content is never readable by others, not even for a moment.
    if (access == FileAccess::OwnerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString error = file.errorString();
        file.cancelWriting();
        return Result::failure(error);
    }
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

bool keepToOwner(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        return ::close(fd) == 0;
    struct stat status {};
    return ::lstat(name.constData(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::chmod(name.constData(), status.st_mode & 0600) == 0;
}

namespace {

void tightenOne(const QByteArray& name) {
    struct stat status {};
    // lstat and chmod both by name: chmod would follow a link that lstat saw as a file only if the
    // name changed in between, and then still only within the user's own rights.
    if (::lstat(name.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & 077) != 0)
        ::chmod(name.constData(), status.st_mode & 0700);
}

} // namespace

void tightenToOwner(const QString& path, bool alsoNumbered) {
    tightenOne(QFile::encodeName(path));
    if (!alsoNumbered)
        return;
    const QFileInfo file(path);
    const QStringList names = file.dir().entryList({file.fileName() + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (name != file.fileName())
            tightenOne(QFile::encodeName(file.dir().filePath(name)));
}

bool makePrivateFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent == clean || !makePrivateFolder(parent))
        return false;
    // The umask can only take bits away: the folder is never open to others.
    return ::mkdir(QFile::encodeName(clean).constData(), 0700) == 0 || QFileInfo(clean).isDir();
}

} // namespace zjx
