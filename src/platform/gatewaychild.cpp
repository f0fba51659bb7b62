#include "platform/gatewaychild.h"

#include <cstdio>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace zjx {
namespace {

// Output before the start-up line is bounded: a child that talks on without ever giving its port
// is not the service.
constexpr qsizetype maxPendingBytes = 4096;

} // namespace

GatewayChild::GatewayChild(QObject* parent) : QObject(parent), m_process(new QProcess(this)) {}

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
    m_process->setArguments(arguments);
}

void GatewayChild::start() {
    if (m_state != State::NotStarted || !hasProgram())
        return;
    m_state = State::Starting;
    // stdout carries the start-up line and then one line per request (read and dropped, so the
    // pipe never fills); the service's complaints go on to the program's own stderr, and the last
    // one tells the user why a service that ended could not serve.
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    const pid_t parentPid = getpid();
    m_process->setChildProcessModifier([parentPid] {
        // Runs in the child between fork and exec: the kernel ends the child when this program
        // dies, however it dies. A parent that died before the call would never send the signal,
        // so the child checks that it still has its parent.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parentPid)
            ::_exit(1);
        // The service starts while the window is built; on a busy machine the window goes first.
        ::setpriority(PRIO_PROCESS, 0, 5);
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &GatewayChild::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, &GatewayChild::readComplaints);
    connect(m_process, &QProcess::errorOccurred, this, &GatewayChild::onError);
    connect(m_process, &QProcess::finished, this, &GatewayChild::onFinished);
    m_process->start(QIODevice::ReadOnly);
}

bool GatewayChild::waitForAddress(int msecs) {
    start();
    const QDeadlineTimer deadline(msecs);
    while (m_state == State::Starting && !deadline.hasExpired()) {
        // Output arrives through readyReadStandardOutput, an early end through finished.
        if (!m_process->waitForReadyRead(int(deadline.remainingTime())) && m_process->state() == QProcess::NotRunning &&
            m_state == State::Starting)
            fail(QStringLiteral("zjx-service 未能运行"));
    }
    if (m_state == State::Starting) {
        fail(QStringLiteral("zjx-service %1 秒内未报告端口").arg((msecs + 999) / 1000));
        stop();
    }
    return m_state == State::Ready;
}

qint64 GatewayChild::processId() const {
    return m_process->processId();
}

void GatewayChild::stop() {
    disconnect(m_process, nullptr, this, nullptr);
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(2000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void GatewayChild::restart() {
    if (m_state == State::NotStarted)
        return start();
    stop();
    m_state = State::NotStarted;
    m_address.clear();
    m_failure.clear();
    m_pending.clear();
    m_lastComplaint.clear();
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
            Q_EMIT ready(m_address);
            return;
        }
    }
    if (m_pending.size() > maxPendingBytes) {
        fail(QStringLiteral("zjx-service 未报告端口"));
        stop();
    }
}

void GatewayChild::readComplaints() {
    const QByteArray bytes = m_process->readAllStandardError();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    for (const QByteArray& line : bytes.split('\n')) {
        QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(QStringLiteral("zjx-service: ")))
            text.remove(0, 13);
        if (!text.isEmpty())
            m_lastComplaint = text.left(300);
    }
}

void GatewayChild::onError(QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || m_state != State::Starting)
        return;
    const QFileInfo program(m_process->program());
    fail(program.exists() ? QStringLiteral("无法运行 %1").arg(program.fileName())
                          : QStringLiteral("找不到 %1").arg(program.filePath()));
}

void GatewayChild::onFinished(int exitCode, QProcess::ExitStatus status) {
    const bool wasReady = m_state == State::Ready;
    if (m_state != State::Starting && !wasReady)
        return;
    QString reason;
    if (status == QProcess::CrashExit)
        reason = QStringLiteral("zjx-service 崩溃了");
    else
        reason = QStringLiteral("zjx-service 已退出 (退出码 %1)").arg(exitCode);
    // The service says why it stops (a refused configuration file, say) on stderr.
    readComplaints();
    if (exitCode != 0 && !m_lastComplaint.isEmpty())
        reason += QStringLiteral(": ") + m_lastComplaint;
    if (wasReady)
        m_address.clear();
    fail(reason);
}

void GatewayChild::fail(const QString& reason) {
    m_state = State::Failed;
    m_failure = reason;
    Q_EMIT failed(reason);
}

} // namespace zjx
