#pragma once

#include "serviceconfig/serviceconfig.h"

#include <QObject>
#include <QProcess>

#include <memory>

class QTemporaryDir;

namespace zjx {

// Runs `zjx-service --check` once on settings that are not saved: the configuration text goes to a
// file of mode 0600 in a private temporary folder (removed afterwards), so no key is ever on a
// command line or readable by others. The window keeps working meanwhile; cancel() ends the check.
class ServiceCheck : public QObject {
    Q_OBJECT
public:
    explicit ServiceCheck(QObject* parent = nullptr);
    ~ServiceCheck() override;

    // False (with `error` set) when a check runs already or the temporary file cannot be written.
    bool start(const QString& program, const QByteArray& configText, const QString& number, const QString& company,
               QString* error = nullptr);
    void cancel();
    bool isRunning() const { return m_process != nullptr; }

    static constexpr int limitMs = 90000; // the service's own upstream limit is shorter

Q_SIGNALS:
    void finished(const zjx::CheckVerdict& verdict);

private:
    void done(const CheckVerdict& verdict);
    QProcess* m_process = nullptr;
    std::unique_ptr<QTemporaryDir> m_folder;
};

} // namespace zjx
