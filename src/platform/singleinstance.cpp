#include "platform/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx {
namespace {

const QByteArray raiseMessage = QByteArrayLiteral("raise\n");
// A local socket's path must fit in sockaddr_un, with room to spare.
constexpr qsizetype longestSocketPath = 100;

// A folder of this user that no one else may write: nobody can put a lock of their own there.
bool onlyOwnerWrites(const QString& folder) {
    struct stat status {};
    return ::lstat(QFile::encodeName(folder).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes the folder and the missing ones above it for the owner alone.
bool makeOwnFolder(const QString& folder) {
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    return parent != folder && makeOwnFolder(parent) &&
           (::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || QFileInfo(folder).isDir());
}

} // namespace

QString SingleInstance::privateFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zjx/locks");
}

SingleInstance::SingleInstance(const QString& key, const QString& bookPath, QObject* parent) : QObject(parent) {
    const QFileInfo book(bookPath);
    const QString folder = book.absolutePath();
    const QString canonical = QFileInfo(folder).canonicalFilePath() + u'/' + book.fileName();
    const QString bookId = QString::fromLatin1(
        QCryptographicHash::hash(QFile::encodeName(canonical), QCryptographicHash::Sha256).toHex().left(16));
    if (onlyOwnerWrites(folder)) {
        m_lockPath = book.absoluteFilePath() + QStringLiteral(".lock");
    } else {
        makeOwnFolder(privateFolder());
        m_lockPath = privateFolder() + u'/' + bookId + QStringLiteral(".lock");
    }
    m_socketPath = m_lockPath.chopped(5) + QStringLiteral(".socket");
    if (QFile::encodeName(m_socketPath).size() > longestSocketPath) {
        QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (runtime.isEmpty())
            runtime = QDir::tempPath();
        m_socketPath = runtime + u'/' + key + u'-' + QString::number(::getuid()) + u'-' + bookId + QStringLiteral(".socket");
    }
    m_lock = new QLockFile(m_lockPath);
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
    if (!onlyOwnerWrites(QFileInfo(m_lockPath).path())) {
        qWarning("zjx: no folder of this user alone for the lock %s; running without the one-program guard",
                 qPrintable(m_lockPath));
        return true;
    }
    // Qt reads an existing lock file to see whose it is: a FIFO in its place would hang the start.
    struct stat status {};
    if (::lstat(QFile::encodeName(m_lockPath).constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        qWarning("zjx: the lock file %s is not a regular file; running without the one-program guard",
                 qPrintable(m_lockPath));
        return true;
    }
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
