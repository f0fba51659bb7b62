#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace zjx {

// One running program per book: two programs on one book would each ask the providers for every
// parcel and overwrite each other's files. The first program holds a lock file beside the book
// and listens on a local socket next to it; a later one on the same book finds the lock taken,
// asks the first through the socket to show its window, and ends. A lock left by a program that
// crashed is taken over (its process is gone). A lock is only trusted in a folder that no other
// user may write: for a book in such a folder it lives in the user's own private folder.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the socket when the path beside the lock would be too long for one.
    SingleInstance(const QString& key, const QString& bookPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other live program holds the book: this one now holds the lock and answers
    // later ones. False when another live program holds it. A lock that cannot be made does not
    // keep the program from starting (true, without a guard).
    bool claim();
    // Asks the program holding the lock to show its window; false when it could not be reached
    // within `msecs` (it may be between taking the lock and listening, so it is tried again).
    bool raiseOther(int msecs = 3000);

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }
    // ~/.local/share/zjx/locks: the locks of books in folders others may write.
    static QString privateFolder();

Q_SIGNALS:
    void raiseRequested();

private:
    void acceptConnection();

    QString m_lockPath;
    QString m_socketPath;
    QLockFile* m_lock = nullptr;
    QLocalServer* m_server = nullptr;
};

} // namespace zjx
