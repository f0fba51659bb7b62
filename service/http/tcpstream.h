#pragma once

// Plain non-blocking TCP descriptors on the Qt event loop. QTcpSocket closes the whole connection
// when the peer ends its side, so a client that half-closes after its request could never get its
// answer, and QTcpServer accepts until the backlog is empty (a reconnecting flood keeps it there).
// These two classes leave those decisions to the HTTP server.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>
#include <sys/socket.h>

namespace zjx::service {

class TcpStream : public QObject {
public:
    explicit TcpStream(int fd, QObject* parent = nullptr);
    ~TcpStream() override; // closes the descriptor if close() has not
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    QHostAddress peerAddress() const;
    // Up to `max` bytes that have arrived; empty when none. Sees the peer's end (peerEnded) and
    // a broken connection (failed) on the way.
    QByteArray read(qint64 max);
    // Reading is level-triggered: switched off while no input is wanted, or the loop would spin.
    void setReading(bool on);
    // Sends what the kernel takes now; the rest goes out from the event loop, and onWritten
    // follows when it is all out. Nothing follows when bytesToWrite() is 0 right after.
    void write(const QByteArray& bytes);
    qint64 bytesToWrite() const { return m_out.size() - m_sent; }
    void shutdownWrite();
    void close(); // gives the descriptor back at once

    bool peerEnded() const { return m_peerEnded; } // the peer sent FIN: it may still read
    bool failed() const { return m_failed; }
    // The peer reset the connection or it is shut both ways, seen without reading (poll).
    bool peerGone() const;
    // The peer ended its sending side, seen by read() or still waiting to be read (poll).
    bool peerEndPending() const;

    std::function<void()> onReadable;
    std::function<void()> onWritten;
    std::function<void()> onFailed;

private:
    void sendSome();
    void flush();
    void fail();

    int m_fd;
    QSocketNotifier m_reader;
    QSocketNotifier m_writer;
    QByteArray m_out;
    qsizetype m_sent = 0;
    bool m_peerEnded = false;
    bool m_failed = false;
    bool m_sendFailed = false; // told through onFailed from the loop
};

class TcpListener : public QObject {
public:
    explicit TcpListener(QObject* parent = nullptr);
    ~TcpListener() override;

    bool listen(const QHostAddress& host, quint16 port, int backlog);
    // Takes a socket that already listens, handed over by the program that started this one:
    // that program keeps the port while this process runs and after it ends, so no one else
    // can take it in between.
    bool adopt(int fd);
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // At most this many accepts per event-loop turn, so the clients already in are read too.
    void setAcceptsPerTurn(int n) { m_perTurn = n; }
    // Stops taking connections (they wait in the kernel's backlog) until resume().
    void pause();
    void resume();
    bool paused() const { return m_paused; }
    bool outOfDescriptors() const { return m_outOfDescriptors; }

    std::function<void(int fd)> onAccepted; // the new descriptor is the receiver's
    std::function<void()> onOutOfDescriptors;
    // Asked before each accept: > 0 leaves the connections in the backlog that many milliseconds
    // (or until resume()), anything else takes the next one.
    std::function<int()> onRoomNeeded;

private:
    void acceptSome();
    void take(int fd, const sockaddr_storage& bound);

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_retry; // when no descriptor of ours is freed, try again after a while
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
    int m_perTurn = 32;
    bool m_paused = false;
    bool m_outOfDescriptors = false;
};

} // namespace zjx::service
