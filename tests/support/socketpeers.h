#pragma once

#include <QDir>
#include <QString>

#include <netinet/in.h>
#include <sys/socket.h>

namespace zjx::test {

// This process's loopback socket whose own end is on `localPort` and whose other end is on
// `peerPort`, found among its descriptors; -1 if there is none.
inline int socketBetween(int localPort, int peerPort) {
    for (const QString& name : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const int fd = name.toInt();
        sockaddr_in own{}, peer{};
        socklen_t ownLength = sizeof own, peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &ownLength) == 0 && own.sin_family == AF_INET &&
            ntohs(own.sin_port) == localPort &&
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 && ntohs(peer.sin_port) == peerPort)
            return fd;
    }
    return -1;
}

} // namespace zjx::test
