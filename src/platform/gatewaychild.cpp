#include "platform/gatewaychild.h"

#include "platform/httpclient.h"

#include <cstdio>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <array>
#include <csignal>
#include <utility>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zjx {
namespace {

// Output before the start-up line is bounded: a child that talks on without ever giving its port
// is not the service.
constexpr qsizetype maxPendingBytes = 4096;
constexpr int maxComplaintLines = 20;
// A child that served this long ended for a reason of its own, not one that each new start meets.
constexpr qint64 servedLongEnoughMs = 60000;

// 256 bits from the system's generator, as hex (the service takes printable ASCII only).
QByteArray newSecret() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), qsizetype(sizeof words)).toHex();
}

} // namespace

GatewayChild::GatewayChild(QObject* parent)
    : QObject(parent), m_process(new QProcess(this)), m_secret(newSecret()), m_restartTimer(new QTimer(this)) {
    m_restartTimer->setSingleShot(true);
    connect(m_restartTimer, &QTimer::timeout, this, &GatewayChild::startAgain);
}

// The event loop hears of the child's end a moment late; a request sent in that moment would go
// to a port anyone may have taken. The kernel knows at once: asked without reaping the child.
void GatewayChild::noticeEnd() {
    const qint64 pid = m_process->processId();
    siginfo_t info{};
    if (m_state != State::Ready || pid <= 0 ||
        ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0)
        return;
    m_process->waitForFinished(1000); // QProcess reaps it and says so: onFinished
}

GatewayChild::~GatewayChild() {
    stop();
}

QStringList GatewayChild::defaultArguments() {
    return {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QStringLiteral("0")};
}

void GatewayChild::setProgram(const QString& program, const QStringList& arguments) {
    if (m_state != State::NotStarted)
        return;
    m_process->setProgram(program);
    m_arguments = arguments;
}

// The secret goes through a pipe whose read end only the child keeps: it is not on the command
// line (which every user can read in /proc) nor in the environment. Each start makes a new pipe
// with the same secret. The write end is filled and closed here; a secret of 64 bytes always
// fits the pipe's buffer, so the write cannot block.
int GatewayChild::makeSecretPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    const QByteArray line = m_secret + '\n';
    const bool written = ::write(ends[1], line.constData(), size_t(line.size())) == line.size();
    ::close(ends[1]);
    if (!written) {
        ::close(ends[0]);
        return -1;
    }
    return ends[0];
}

// A listening socket on a free loopback port, made here and handed to the child. This program
// keeps its own copy until the child's end has been dealt with: no one else can take the port
// while a request may still be on its way there. -1 on failure.
int GatewayChild::makeListeningSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) != 0 || ::listen(fd, 1024) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void GatewayChild::closePort() {
    if (m_portFd >= 0)
        ::close(std::exchange(m_portFd, -1));
}

void GatewayChild::start() {
    if (m_state != State::NotStarted || !hasProgram())
        return;
    m_state = State::Starting;
    closePort();
    m_portFd = makeListeningSocket();
    const int secretFd = makeSecretPipe();
    if (secretFd < 0 || m_portFd < 0) {
        if (secretFd >= 0)
            ::close(secretFd);
        fail(QStringLiteral("无法为 zjx-service 建立管道"));
        return;
    }
    m_process->setArguments(m_arguments + QStringList{QStringLiteral("--secret-fd"), QString::number(secretFd),
                                                      QStringLiteral("--listen-fd"), QString::number(m_portFd)});
    // stdout carries the start-up line and then one line per request (read and dropped, so the
    // pipe never fills); the service's complaints go on to the program's own stderr, and the last
    // one tells the user why a service that ended could not serve.
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    const pid_t parentPid = getpid();
    m_process->setChildProcessModifier([parentPid, secretFd, portFd = m_portFd] {
        // The read end and the socket keep their numbers in the child; only there do they outlive exec.
        ::fcntl(secretFd, F_SETFD, 0);
        ::fcntl(portFd, F_SETFD, 0);
        // Runs in the child between fork and exec: the kernel ends the child when this program
        // dies, however it dies. A parent that died before the call would never send the signal,
        // so the child checks that it still has its parent.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parentPid)
            ::_exit(1);
        // The service starts while the window is built; on a busy machine the window goes first.
        ::setpriority(PRIO_PROCESS, 0, 5);
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &GatewayChild::readOutput, Qt::UniqueConnection);
    connect(m_process, &QProcess::readyReadStandardError, this, &GatewayChild::readComplaints, Qt::UniqueConnection);
    connect(m_process, &QProcess::errorOccurred, this, &GatewayChild::onError, Qt::UniqueConnection);
    connect(m_process, &QProcess::finished, this, &GatewayChild::onFinished, Qt::UniqueConnection);
    m_process->start(QIODevice::ReadOnly);
    ::close(secretFd); // the child has its copy (fork happens inside start)
}

bool GatewayChild::waitForAddress(int msecs) {
    start();
    const QDeadlineTimer deadline(msecs);
    while (m_state == State::Starting && !deadline.hasExpired()) {
        // Output arrives through readyReadStandardOutput, an early end through finished.
        if (!m_process->waitForReadyRead(int(deadline.remainingTime())) && m_process->state() == QProcess::NotRunning &&
            m_state == State::Starting)
            ended(QStringLiteral("zjx-service 未能运行"), false);
    }
    if (m_state == State::Starting) {
        endProcess();
        ended(QStringLiteral("zjx-service %1 秒内未报告端口").arg((msecs + 999) / 1000), false);
    }
    return m_state == State::Ready;
}

qint64 GatewayChild::processId() const {
    return m_process->processId();
}

void GatewayChild::expectVisit(const QString& path, int msecs) {
    if (m_state != State::Ready)
        return;
    m_expectedVisit = path;
    m_visitDeadline = QDeadlineTimer(msecs);
}

// A request log line "DATE TIME GET PATH STATUS BYTES" for the expected page ends the wait.
void GatewayChild::noteVisit(const QByteArray& logLine) {
    const QList<QByteArray> fields = logLine.trimmed().split(' ');
    if (fields.size() == 6 && fields[2] == "GET" && fields[4] == "200" &&
        QString::fromLatin1(fields[3]) == m_expectedVisit)
        m_expectedVisit.clear();
}

void GatewayChild::stop() {
    // The browser may still be starting when the program ends right after opening a page.
    while (!m_expectedVisit.isEmpty() && m_process->state() == QProcess::Running && !m_visitDeadline.hasExpired())
        m_process->waitForReadyRead(int(m_visitDeadline.remainingTime())); // readOutput sees the log
    m_expectedVisit.clear();
    m_restartTimer->stop();
    if (std::exchange(m_announced, false))
        forgetService();
    endProcess();
}

// Ends the process without telling anyone: its end is the caller's to report.
void GatewayChild::endProcess() {
    disconnect(m_process, nullptr, this, nullptr);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
    closePort();
}

void GatewayChild::restart() {
    if (m_state == State::NotStarted)
        return start();
    stop();
    // The requests of the moment wait for the new child rather than fail.
    HttpClient::instance().serviceEnded(true);
    m_announced = true;
    m_restarts = 0;
    startAgain();
}

// HttpClient sends nothing more to this child's address, nor asks it whether it has ended.
void GatewayChild::forgetService() {
    HttpClient::instance().setServiceCheck({});
    HttpClient::instance().serviceEnded(false);
}

void GatewayChild::startAgain() {
    m_state = State::NotStarted;
    m_secret = newSecret();
    m_address.clear();
    m_failure.clear();
    m_pending.clear();
    m_complaints.clear();
    m_failureDetail.clear();
    start();
}

QString GatewayChild::addressFromLine(const QByteArray& line) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^zjx-service listening on http://(\[[0-9A-Fa-f:.]+\]|[^\s:/\[\]]+):(\d{1,5})(?:\s|$))"));
    const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(line.trimmed()));
    if (!match.hasMatch())
        return {};
    const int port = match.captured(2).toInt();
    if (port < 1 || port > 65535)
        return {};
    return match.captured(1) + u':' + QString::number(port);
}

void GatewayChild::readOutput() {
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (m_state == State::Ready && !m_expectedVisit.isEmpty()) {
        for (const QByteArray& line : bytes.split('\n'))
            noteVisit(line);
    }
    if (m_state != State::Starting)
        return;
    m_pending += bytes;
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        const QString address = addressFromLine(line);
        if (!address.isEmpty()) {
            m_state = State::Ready;
            m_address = address;
            m_pending.clear();
            m_readySince.start();
            m_announced = true;
            HttpClient::instance().setServiceCheck([this] { noticeEnd(); });
            HttpClient::instance().setServiceSecret(m_address, m_secret);
            Q_EMIT ready(m_address);
            return;
        }
    }
    if (m_pending.size() > maxPendingBytes) {
        endProcess();
        ended(QStringLiteral("zjx-service 未报告端口"), false);
    }
}

void GatewayChild::readComplaints() {
    const QByteArray bytes = m_process->readAllStandardError();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    for (const QByteArray& line : bytes.split('\n')) {
        QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(QStringLiteral("zjx-service: ")))
            text.remove(0, 13);
        if (text.isEmpty())
            continue;
        m_complaints.append(text.left(1000));
        if (m_complaints.size() > maxComplaintLines)
            m_complaints.removeFirst();
    }
}

void GatewayChild::onError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || m_state != State::Starting)
        return;
    const QFileInfo program(m_process->program());
    ended(program.exists() ? QStringLiteral("无法运行 %1").arg(program.fileName())
                           : QStringLiteral("找不到 %1").arg(program.filePath()),
          false);
}

void GatewayChild::onFinished(int exitCode, QProcess::ExitStatus status) {
    const bool wasReady = m_state == State::Ready;
    if (m_state != State::Starting && !wasReady)
        return;
    // At once: whoever binds the port next must get nothing, neither the secret nor a number.
    // Only once no request can go there any more is the port given up.
    if (wasReady)
        HttpClient::instance().serviceEnded(true);
    closePort();
    QString reason;
    if (status == QProcess::CrashExit)
        reason = QStringLiteral("zjx-service 崩溃了");
    else
        reason = QStringLiteral("zjx-service 已退出 (退出码 %1)").arg(exitCode);
    // The service says why it stops (a refused configuration file, say) on stderr.
    readComplaints();
    QString detail = reason;
    if (exitCode != 0 && !m_complaints.isEmpty()) {
        reason += QStringLiteral(": ") + m_complaints.last();
        detail += QStringLiteral(":\n") + m_complaints.join(u'\n');
    }
    m_address.clear();
    m_failureDetail = detail;
    ended(reason, wasReady);
}

void GatewayChild::ended(QString reason, bool wasReady) {
    if (wasReady && m_readySince.hasExpired(servedLongEnoughMs))
        m_restarts = 0;
    // A first start that fails is the configuration's or the installation's fault: said at once.
    if ((wasReady || m_restarts > 0) && m_restarts < m_restartPauses.size()) {
        const int pause = m_restartPauses.at(m_restarts++);
        m_state = State::Restarting;
        m_restartTimer->start(pause);
        Q_EMIT restarting(reason, m_restarts, pause);
        return;
    }
    if (m_restarts > 0) {
        const QString given = QStringLiteral(",重新启动 %1 次均未成功").arg(m_restarts);
        reason += given;
        m_failureDetail += given;
    }
    fail(reason);
}

void GatewayChild::fail(const QString& reason) {
    if (std::exchange(m_announced, false))
        forgetService();
    closePort();
    m_state = State::Failed;
    m_failure = reason;
    if (m_failureDetail.isEmpty())
        m_failureDetail = reason;
    Q_EMIT failed(reason);
}

} // namespace zjx
