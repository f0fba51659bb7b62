#include "serviceconfig/servicecheck.h"

#include <QTemporaryDir>
#include <QTimer>

#include <utility>

namespace zjx {

ServiceCheck::ServiceCheck(QObject* parent) : QObject(parent) {}

ServiceCheck::~ServiceCheck() {
    cancel();
}

bool ServiceCheck::start(const QString& program, const QByteArray& configText, const QString& number,
                         const QString& company, QString* error) {
    if (m_process) {
        if (error)
            *error = QStringLiteral("检查正在进行");
        return false;
    }
    m_folder = std::make_unique<QTemporaryDir>(); // mode 0700
    const QString config = m_folder->filePath(QStringLiteral("check.conf"));
    const Result written =
        m_folder->isValid() ? writePrivateFile(config, configText) : Result::failure(m_folder->errorString());
    if (!written.ok()) {
        m_folder.reset();
        if (error)
            *error = written.errorText();
        return false;
    }
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    QProcess* process = m_process;
    ServiceConfigFile checked;
    checked.setText(configText);
    connect(process, &QProcess::finished, this, [this, process, phoneTail = checked.settings().phoneTail] {
        if (process != m_process)
            return;
        done(checkVerdict(process->readAllStandardOutput(), process->readAllStandardError(), phoneTail));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        if (process == m_process && e == QProcess::FailedToStart)
            done({false, QStringLiteral("无法运行 zjx-service")});
    });
    QTimer::singleShot(limitMs, process, [this, process] {
        if (process == m_process) {
            cancel();
            done({false, QStringLiteral("检查超时")});
        }
    });
    m_process->start(program, {QStringLiteral("--config"), config, QStringLiteral("--check"), number, company},
                     QIODevice::ReadOnly);
    return true;
}

void ServiceCheck::cancel() {
    if (!m_process)
        return;
    QProcess* process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    process->kill();
    process->waitForFinished(1000);
    process->deleteLater();
    m_folder.reset();
}

void ServiceCheck::done(const CheckVerdict& verdict) {
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_folder.reset(); // the temporary configuration goes at once
    Q_EMIT finished(verdict);
}

} // namespace zjx
