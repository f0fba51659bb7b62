#include "platform/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

namespace zjx {
namespace {

// A local socket's path must fit in sockaddr_un, with room to spare.
constexpr qsizetype longestSocketPath = 100;
// A command line is short; a longer one is no command of ours.
constexpr qsizetype longestCommand = 256;

// A folder of this user that no one else may write: nobody can put a lock or a socket of their
// own there. A symbolic link is not followed: its target could be anyone's.
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

bool fitsASocket(const QString& path) {
    return QFile::encodeName(path).size() <= longestSocketPath;
}

// Where the socket goes when the path beside the lock is too long: the first of the user's
// private folders where the name fits. A folder someone else made or may write is passed over,
// also one planted in the temporary folder under the name the user's would have.
QString privateSocketPath(const QString& key, const QString& bookId) {
    const QString name = bookId + QStringLiteral(".socket");
    const QString data = SingleInstance::privateFolder();
    if (fitsASocket(data + u'/' + name) && makeOwnFolder(data) && onlyOwnerWrites(data))
        return data + u'/' + name;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && onlyOwnerWrites(runtime) &&
        fitsASocket(runtime + u'/' + key + u'-' + name))
        return runtime + u'/' + key + u'-' + name;
    const QString temporary = QDir::tempPath() + QStringLiteral("/zjx-") + QString::number(::geteuid());
    ::mkdir(QFile::encodeName(temporary).constData(), 0700);
    if (onlyOwnerWrites(temporary) && fitsASocket(temporary + u'/' + name))
        return temporary + u'/' + name;
    return {};
}

// "raise", "overview", "background 1": a word of lower-case letters, digits and "-", and more of
// them after single spaces.
bool isCommandLine(const QString& line) {
    static const QRegularExpression form(QStringLiteral("^[a-z0-9-]{1,32}( [a-z0-9-]{1,32})*$"));
    return line.size() <= longestCommand && form.match(line).hasMatch();
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
    if (!fitsASocket(m_socketPath))
        m_socketPath = privateSocketPath(key, bookId);
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
    // Qt makes the lock file as the umask says; it names this program's process and host.
    ::chmod(QFile::encodeName(m_lockPath).constData(), 0600);
    // Checked again now: the folder may have changed hands since the path was chosen.
    if (m_socketPath.isEmpty() || !onlyOwnerWrites(QFileInfo(m_socketPath).path())) {
        qWarning("zjx: no folder of this user alone for the socket of %s; a later start cannot reach this one",
                 qPrintable(m_lockPath));
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

bool SingleInstance::tellOther(const QString& command, int msecs) {
    if (!isCommandLine(command) || m_socketPath.isEmpty())
        return false;
    const QByteArray message = command.toLatin1() + '\n';
    const QDeadlineTimer deadline(msecs);
    do {
        // Only the user's own program in the user's own folder is told anything.
        struct stat status {};
        const bool ours = onlyOwnerWrites(QFileInfo(m_socketPath).path()) &&
                          ::lstat(QFile::encodeName(m_socketPath).constData(), &status) == 0 &&
                          S_ISSOCK(status.st_mode) && status.st_uid == ::geteuid();
        QLocalSocket socket;
        if (ours)
            socket.connectToServer(socketPath());
        if (ours && socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(message);
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
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > longestCommand)
                    socket->abort();
                return;
            }
            const QByteArray bytes = socket->readLine(longestCommand + 2);
            socket->disconnectFromServer();
            const QString line = QString::fromLatin1(bytes).chopped(1);
            if (!bytes.endsWith('\n') || !isCommandLine(line))
                return;
            QStringList words = line.split(u' ');
            const QString command = words.takeFirst();
            Q_EMIT commandReceived(command, words);
        };
        connect(socket, &QLocalSocket::readyRead, this, readMessage);
        readMessage(); // the message may already be in
    }
}

} // namespace zjx
