#include "keepaliveload.h"

#include "stress/loopbackflood.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zjx::bench {

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port, bool blocking) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    const sockaddr_in address = zjx::stress::loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    // Like the program's client (Qt sets it on its sockets): a request leaves at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Bytes of the first whole answer at the start of `in`, or 0 while it is incomplete.
size_t wholeAnswer(const std::string& in) {
    const size_t end = in.find("\r\n\r\n");
    if (end == std::string::npos)
        return 0;
    size_t length = 0;
    for (size_t at = in.find('\n'); at != std::string::npos && at < end; at = in.find('\n', at + 1))
        if (in.compare(at + 1, 16, "Content-Length: ") == 0 || in.compare(at + 1, 16, "content-length: ") == 0)
            length = size_t(std::strtoul(in.c_str() + at + 17, nullptr, 10));
    return in.size() >= end + 4 + length ? end + 4 + length : 0;
}

} // namespace

double Latencies::percentile(double p) const {
    return ms.empty() ? -1.0 : ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))];
}

Latencies sequentialLatency(int port, const std::string& request, int requests, double maxSeconds) {
    Latencies result;
    const int fd = connectTo(port, true);
    if (fd < 0) {
        result.failed = requests;
        return result;
    }
    const timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    std::string in;
    char buffer[16384];
    const auto end = Clock::now() + std::chrono::duration<double>(maxSeconds);
    for (int i = 0; i < requests && Clock::now() < end; ++i) {
        const auto t0 = Clock::now();
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
            result.failed += requests - i;
            break;
        }
        size_t whole = 0;
        while ((whole = wholeAnswer(in)) == 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            in.append(buffer, size_t(n));
        }
        if (whole == 0 || in.compare(0, 12, "HTTP/1.1 200") != 0) {
            result.failed += requests - i;
            break;
        }
        in.erase(0, whole);
        result.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    ::close(fd);
    std::sort(result.ms.begin(), result.ms.end());
    return result;
}

double closedLoopThroughput(int port, const std::string& request, int connections, double seconds, int threads) {
    std::atomic<long> answers{0};
    std::atomic<bool> stop{false};
    const auto drive = [&](int count) {
        const int poller = ::epoll_create1(EPOLL_CLOEXEC);
        std::vector<std::string> inbox(static_cast<size_t>(count));
        std::vector<int> fds;
        for (int c = 0; c < count; ++c) {
            const int fd = connectTo(port, false);
            if (fd < 0)
                continue;
            epoll_event e{EPOLLIN, {.u64 = fds.size()}};
            ::epoll_ctl(poller, EPOLL_CTL_ADD, fd, &e);
            fds.push_back(fd);
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL); // queued until connected
        }
        epoll_event events[256];
        char buffer[16384];
        while (!stop) {
            const int n = ::epoll_wait(poller, events, 256, 100);
            for (int i = 0; i < n; ++i) {
                const size_t c = size_t(events[i].data.u64);
                for (ssize_t got; (got = ::recv(fds[c], buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
                    inbox[c].append(buffer, size_t(got));
                for (size_t whole; (whole = wholeAnswer(inbox[c])) > 0;) {
                    inbox[c].erase(0, whole);
                    answers.fetch_add(1, std::memory_order_relaxed);
                    ::send(fds[c], request.data(), request.size(), MSG_NOSIGNAL);
                }
            }
        }
        for (const int fd : fds)
            ::close(fd);
        ::close(poller);
    };
    std::vector<std::thread> drivers;
    for (int t = 0; t < threads; ++t)
        drivers.emplace_back(drive, connections / threads + (t < connections % threads ? 1 : 0));
    // The connections are made and answered for a moment before the count starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = answers;
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long after = answers;
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    stop = true;
    for (std::thread& d : drivers)
        d.join();
    return double(after - before) / elapsed;
}

} // namespace zjx::bench
