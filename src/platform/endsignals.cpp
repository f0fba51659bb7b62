#include "platform/endsignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zjx {
namespace {

constexpr std::array endingSignals{SIGTERM, SIGINT, SIGHUP};
int pipeEnds[2] = {-1, -1};

extern "C" void noteSignal(int signalNumber) {
    const int saved = errno;
    const char byte = char(signalNumber);
    // Async-signal-safe; a full pipe already holds a request to end.
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("zjx: cannot watch for signals to end");
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : endingSignals)
        ::sigaction(number, &action, nullptr);
}

EndSignals::~EndSignals() {
    if (!m_notifier)
        return;
    for (int number : endingSignals)
        ::signal(number, SIG_DFL);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void EndSignals::readPipe() {
    char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        Q_EMIT received(int(byte));
}

} // namespace zjx
