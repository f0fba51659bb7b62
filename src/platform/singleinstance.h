#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace zjx {

// One running program per book: two programs on one book would each ask the providers for every
// parcel and overwrite each other's files. The first program holds a lock file beside the book
// and listens on a local socket next to it; a later one on the same book finds the lock taken,
// tells the first through the socket what it was started for (show the window, open the
// overview ...), and ends. A lock left by a program that crashed is taken over (its process is
// gone). A lock is only trusted in a folder that no other user may write: for a book in such a
// folder it lives in the user's own private folder. The socket too: where the path beside the
// lock is too long for a socket, it goes to a private folder of the user's (the runtime folder,
// or one of the user's alone in the temporary folder), never into a folder others may write.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the socket in the runtime folder.
    SingleInstance(const QString& key, const QString& bookPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other live program holds the book: this one now holds the lock and answers
    // later ones. False when another live program holds it. A lock that cannot be made does not
    // keep the program from starting (true, without a guard).
    bool claim();
    // Sends a command to the program holding the lock: one line, a word of lower-case letters,
    // digits and "-" ("raise", "overview"), optionally followed by arguments of the same kind,
    // separated by spaces. False when it could not be reached within `msecs` (it may be between
    // taking the lock and listening, so it is tried again), or when `command` is not such a line.
    bool tellOther(const QString& command, int msecs = 3000);

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; } // empty when no private folder could take it
    // ~/.local/share/zjx/locks: the locks of books in folders others may write.
    static QString privateFolder();

Q_SIGNALS:
    // A later start's command word and its arguments. A program takes a word it does not know
    // (one of a newer version) as "raise".
    void commandReceived(const QString& command, const QStringList& arguments);

private:
    void acceptConnection();

    QString m_lockPath;
    QString m_socketPath;
    QLockFile* m_lock = nullptr;
    QLocalServer* m_server = nullptr;
};

} // namespace zjx
