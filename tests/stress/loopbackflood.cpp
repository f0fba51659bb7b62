#include "stress/loopbackflood.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zjx::stress {

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

std::string exchange(int port, const std::string& request, int timeoutSeconds, bool halfClose, int dropAfterMs) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{timeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const sockaddr_in address = loopback(port);
    std::string got;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        if (halfClose)
            ::shutdown(fd, SHUT_WR);
        if (dropAfterMs >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(dropAfterMs));
        } else {
            char buffer[4096];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                got.append(buffer, size_t(n));
        }
    }
    ::close(fd);
    return got;
}

void reconnectingFlood(int port, int sockets, const std::atomic<bool>& stop, std::atomic<long>* reconnects) {
    const sockaddr_in address = loopback(port);
    std::vector<pollfd> fds(static_cast<size_t>(sockets));
    const auto open = [&](pollfd& p) {
        p.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(p.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        p.events = POLLIN;
    };
    for (pollfd& p : fds)
        open(p);
    char sink[256];
    while (!stop) {
        if (::poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        for (pollfd& p : fds) {
            if (p.revents == 0)
                continue;
            const ssize_t n = ::recv(p.fd, sink, sizeof sink, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                ::close(p.fd);
                open(p);
                if (reconnects)
                    ++*reconnects;
            }
        }
    }
    for (const pollfd& p : fds)
        ::close(p.fd);
}

} // namespace zjx::stress
