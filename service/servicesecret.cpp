#include "servicesecret.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx::service {

namespace {

constexpr qsizetype kMaxRead = 4096;

// Reads at most kMaxRead + 1 bytes, so an oversized source is noticed without reading it all.
QString readAllFrom(int fd, QByteArray& bytes) {
    bytes.clear();
    char buffer[1024];
    while (bytes.size() <= kMaxRead) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return {};
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return QString::fromLocal8Bit(std::strerror(errno));
        bytes.append(buffer, n);
    }
    return QStringLiteral("longer than %1 bytes").arg(kMaxRead);
}

QString takeFirstLine(QByteArray bytes, QByteArray& secret) {
    const qsizetype end = bytes.indexOf('\n');
    const QByteArray line = (end < 0 ? bytes : bytes.left(end)).trimmed();
    std::memset(bytes.data(), 0, size_t(bytes.size()));
    if (line.size() < 16 || line.size() > 1024)
        return QStringLiteral("the secret must be 16 to 1024 bytes on its first line");
    if (std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) <= 0x20 || uchar(c) >= 0x7f; }))
        return QStringLiteral("the secret must be printable ASCII without spaces");
    secret = line;
    return {};
}

} // namespace

QString readSecretFromDescriptor(int fd, QByteArray& secret) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return QStringLiteral("descriptor %1 is not open").arg(fd);
    QByteArray bytes;
    const QString error = readAllFrom(fd, bytes);
    ::close(fd);
    if (!error.isEmpty())
        return QStringLiteral("descriptor %1: %2").arg(fd).arg(error);
    return takeFirstLine(bytes, secret);
}

QString readSecretFromFile(const QString& path, QByteArray& secret) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    QString error;
    if (::fstat(fd, &st) != 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(st.st_mode))
        error = QStringLiteral("not a regular file");
    else if (st.st_uid != ::geteuid())
        error = QStringLiteral("owned by another user");
    else if ((st.st_mode & 077) != 0)
        error = QStringLiteral("group or others have rights on it (chmod 600)");
    else if (st.st_size > kMaxRead)
        error = QStringLiteral("longer than %1 bytes").arg(kMaxRead);
    QByteArray bytes;
    if (error.isEmpty())
        error = readAllFrom(fd, bytes);
    ::close(fd);
    if (error.isEmpty())
        error = takeFirstLine(bytes, secret);
    return error.isEmpty() ? QString() : path + QStringLiteral(": ") + error;
}

} // namespace zjx::service
