#include "tcpstream.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zjx::service {

namespace {

QHostAddress addressOf(const sockaddr_storage& storage) {
    QHostAddress address;
    address.setAddress(reinterpret_cast<const sockaddr*>(&storage));
    return address;
}

quint16 portOf(const sockaddr_storage& storage) {
    if (storage.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
}

} // namespace

TcpStream::TcpStream(int fd, QObject* parent)
    : QObject(parent), m_fd(fd), m_reader(fd, QSocketNotifier::Read), m_writer(fd, QSocketNotifier::Write) {
    m_writer.setEnabled(false);
    // An answer's last segment goes out at once instead of waiting for the previous one's
    // acknowledgement (which a client may delay by 40 ms).
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connect(&m_reader, &QSocketNotifier::activated, this, [this] {
        if (onReadable)
            onReadable();
    });
    connect(&m_writer, &QSocketNotifier::activated, this, [this] { flush(); });
}

TcpStream::~TcpStream() {
    close();
}

QHostAddress TcpStream::peerAddress() const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return {};
    return addressOf(storage);
}

QByteArray TcpStream::read(qint64 max) {
    QByteArray bytes;
    if (m_fd < 0 || m_peerEnded || m_failed || max <= 0)
        return bytes;
    // A request head is small: read into the stack and copy what came, rather than allocating
    // the whole room for every read.
    char chunk[4096];
    while (bytes.size() < max) {
        const size_t want = size_t(std::min<qint64>(qint64(sizeof chunk), max - bytes.size()));
        const ssize_t n = ::recv(m_fd, chunk, want, 0);
        if (n > 0) {
            bytes.append(chunk, n);
            if (size_t(n) < want)
                break; // drained for now; an end that follows is seen at the next readable turn
            continue;
        }
        if (n == 0) {
            m_peerEnded = true;
            m_reader.setEnabled(false); // an ended stream stays readable: the loop would spin
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            fail();
        }
        break;
    }
    return bytes;
}

void TcpStream::setReading(bool on) {
    if (m_fd >= 0)
        m_reader.setEnabled(on && !m_peerEnded && !m_failed);
}

void TcpStream::write(const QByteArray& bytes) {
    if (m_fd < 0 || m_failed || bytes.isEmpty())
        return;
    if (m_sent > 0 && m_sent == m_out.size()) {
        m_out.clear();
        m_sent = 0;
    }
    m_out += bytes;
    // Into the kernel at once, so an answer is on its way before the line that logs it. What the
    // kernel did not take goes out from the event loop; the callbacks come from there too, never
    // from inside write().
    sendSome();
    if (m_sent < m_out.size()) {
        m_writer.setEnabled(true);
    } else {
        m_out.clear();
        m_sent = 0;
    }
}

void TcpStream::sendSome() {
    while (m_fd >= 0 && !m_sendFailed && m_sent < m_out.size()) {
        const ssize_t n = ::send(m_fd, m_out.constData() + m_sent, size_t(m_out.size() - m_sent), MSG_NOSIGNAL);
        if (n > 0)
            m_sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the notifier calls again when there is room
        else
            m_sendFailed = true;
    }
}

void TcpStream::flush() {
    sendSome();
    if (m_sendFailed) {
        fail();
        return;
    }
    if (m_sent < m_out.size())
        return;
    m_writer.setEnabled(false);
    m_out.clear();
    m_sent = 0;
    if (onWritten)
        onWritten();
}

void TcpStream::fail() {
    if (m_failed)
        return;
    m_failed = true;
    m_reader.setEnabled(false);
    m_writer.setEnabled(false);
    if (onFailed)
        onFailed();
}

void TcpStream::shutdownWrite() {
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_WR);
}

void TcpStream::close() {
    if (m_fd < 0)
        return;
    // Notifiers must let go before the number can be reused by the next accept.
    m_reader.setEnabled(false);
    m_writer.setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    m_out.clear();
    m_sent = 0;
}

bool TcpStream::peerGone() const {
    if (m_fd < 0 || m_failed)
        return true;
    pollfd p{m_fd, POLLIN, 0};
    // A reset sets POLLERR, a connection shut both ways POLLHUP; a peer that only ended its
    // sending side gives neither and still waits for its answer.
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool TcpStream::peerEndPending() const {
    if (m_peerEnded)
        return true;
    pollfd p{m_fd, POLLRDHUP, 0};
    return m_fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & POLLRDHUP) != 0;
}

TcpListener::TcpListener(QObject* parent) : QObject(parent) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { resume(); });
}

TcpListener::~TcpListener() {
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TcpListener::listen(const QHostAddress& host, quint16 port, int backlog) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        const Q_IPV6ADDR raw = host.toIPv6Address();
        std::memcpy(&in6.sin6_addr, &raw, sizeof raw);
        length = sizeof in6;
    } else if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        auto& in4 = reinterpret_cast<sockaddr_in&>(storage);
        in4.sin_family = AF_INET;
        in4.sin_port = htons(port);
        in4.sin_addr.s_addr = htonl(host.toIPv4Address());
        length = sizeof in4;
    } else {
        m_error = QStringLiteral("not an IPv4 or IPv6 address");
        return false;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // A restart need not wait for the old connections; no SO_REUSEPORT, so a second service
    // cannot share the port unnoticed.
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, backlog) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    length = sizeof storage;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    take(fd, storage);
    return true;
}

bool TcpListener::adopt(int fd) {
    int listening = 0;
    socklen_t size = sizeof listening;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0 ||
        (storage.ss_family != AF_INET && storage.ss_family != AF_INET6)) {
        m_error = QStringLiteral("descriptor %1 is not a listening TCP socket").arg(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    take(fd, storage);
    return true;
}

void TcpListener::take(int fd, const sockaddr_storage& bound) {
    m_fd = fd;
    m_address = QHostAddress(reinterpret_cast<const sockaddr*>(&bound));
    m_port = portOf(bound);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { acceptSome(); });
}

void TcpListener::pause() {
    m_paused = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
}

void TcpListener::resume() {
    m_retry.stop();
    m_paused = false;
    m_outOfDescriptors = false;
    if (m_notifier)
        m_notifier->setEnabled(true);
}

void TcpListener::acceptSome() {
    for (int i = 0; i < m_perTurn && !m_paused; ++i) {
        if (const int waitMs = onRoomNeeded ? onRoomNeeded() : 0; waitMs > 0) {
            pause();
            m_retry.start(waitMs);
            return;
        }
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            if (onAccepted)
                onAccepted(fd);
            else
                ::close(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The connection stays in the backlog and the listener stays readable: trying again
            // now would spin. A descriptor given back resumes at once; the timer covers
            // descriptors freed elsewhere in the process.
            pause();
            m_outOfDescriptors = true;
            m_retry.start(1000);
            if (onOutOfDescriptors)
                onOutOfDescriptors();
        }
        return; // EAGAIN: nothing more waits
    }
}

} // namespace zjx::service
