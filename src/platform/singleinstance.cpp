#include "platform/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace zjx {
namespace {

const QByteArray raiseMessage = QByteArrayLiteral("raise\n");

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_base = folder + u'/' + key + u'-' + QString::number(::getuid());
    m_lock = new QLockFile(lockPath());
    // Only a lock whose process is gone counts as stale; the age of the file says nothing about
    // a program that has run for days.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
    delete m_lock; // unlocks
}

bool SingleInstance::claim() {
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        qWarning("zjx: cannot use the lock file %s; running without the one-program guard", qPrintable(lockPath()));
        return true;
    }
    // The lock is ours, so a socket file left there belongs to a program that is gone.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    if (!m_server->listen(socketPath()))
        qWarning("zjx: cannot listen on %s: %s", qPrintable(socketPath()), qPrintable(m_server->errorString()));
    return true;
}

bool SingleInstance::raiseOther(int msecs) {
    const QDeadlineTimer deadline(msecs);
    do {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(raiseMessage);
            const bool sent = socket.waitForBytesWritten(int(deadline.remainingTime()));
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readMessage = [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == raiseMessage)
                Q_EMIT raiseRequested();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, readMessage);
        readMessage(); // the message may already be in
    }
}

} // namespace zjx
