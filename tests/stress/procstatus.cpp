#include "stress/procstatus.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zjx::stress {

long residentKiB(qint64 pid) {
    const QString self = pid == 0 ? QStringLiteral("self") : QString::number(pid);
    QFile status(QStringLiteral("/proc/%1/status").arg(self));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace zjx::stress
