#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zjx::test {

// A FIFO made in a file's place. A reader that opens it and waits for a writer would wait for good;
// after `releaseAfterMs` this opens the writing end again and again, so such a reader is let go
// (with nothing to read) and a test that times the reader fails instead of hanging.
class FifoInPlace {
public:
    explicit FifoInPlace(const QString& path, int releaseAfterMs = 3000) : m_path(QFile::encodeName(path)) {
        m_made = ::mkfifo(m_path.constData(), 0600) == 0;
        m_releaser = std::thread([this, releaseAfterMs] {
            const auto start = std::chrono::steady_clock::now();
            while (!m_done) {
                if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(releaseAfterMs)) {
                    const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (fd >= 0)
                        ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~FifoInPlace() {
        m_done = true;
        m_releaser.join();
    }
    FifoInPlace(const FifoInPlace&) = delete;
    FifoInPlace& operator=(const FifoInPlace&) = delete;

    bool made() const { return m_made; }
    // Still the FIFO that was made (nothing replaced it)
    bool stillThere() const {
        struct stat status {};
        return ::lstat(m_path.constData(), &status) == 0 && S_ISFIFO(status.st_mode);
    }

private:
    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_done{false};
    std::thread m_releaser;
};

} // namespace zjx::test
