#include "core/regularfile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx {
namespace {

QString kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a file");
}

QString notRegular(mode_t mode) {
    return QStringLiteral("is %1, not a regular file").arg(kindOf(mode));
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FileFound report(FileFound found, const QString& text, QString* problem) {
    if (problem)
        *problem = text;
    return found;
}

} // namespace

FileFound openRegularFile(QFile& file, const QString& path, QString* problem) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return report(FileFound::Missing, {}, problem);
        return report(FileFound::Unreadable, systemError(error), problem);
    }
    if (!S_ISREG(status.st_mode))
        return report(FileFound::NotRegular, notRegular(status.st_mode), problem);
    // Something else may have taken the name since the check: non-blocking, so a FIFO put there
    // now does not hang the open either, and the open descriptor is what is checked again.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return report(FileFound::Missing, {}, problem);
        return report(FileFound::Unreadable, systemError(error), problem);
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const QString text = notRegular(opened.st_mode);
        ::close(fd);
        return report(FileFound::NotRegular, text, problem);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const int error = errno;
        ::close(fd);
        return report(FileFound::Unreadable, systemError(error), problem);
    }
    return report(FileFound::Regular, {}, problem);
}

RegularFileRead readRegularFile(const QString& path) {
    RegularFileRead read;
    QFile file;
    read.found = openRegularFile(file, path, &read.problem);
    if (read.found != FileFound::Regular)
        return read;
    read.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.found = FileFound::Unreadable;
        read.problem = file.errorString();
        read.bytes.clear();
    }
    return read;
}

bool regularOrMissing(const QString& path, QString* problem) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return true; // missing, or nothing the reader could open either
    if (S_ISREG(status.st_mode))
        return true;
    if (problem)
        *problem = notRegular(status.st_mode);
    return false;
}

} // namespace zjx
