#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

namespace zjx {

// One running program per user: two programs writing one book would lose parcels. The first
// program holds a lock file in the user's runtime folder and listens on a local socket beside it;
// a later one finds the lock taken, asks the first through the socket to show its window, and
// ends. A lock left by a program that crashed is taken over (its process is gone).
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `key` names the files, together with the user id: "<key>-<uid>.lock" and "<key>-<uid>.socket".
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only program of the user: it now holds the lock and answers later
    // ones. False when another live program holds it. A runtime folder that cannot be used does
    // not keep the program from starting (true, without a guard).
    bool claim();
    // Asks the program holding the lock to show its window; false when it could not be reached
    // within `msecs` (it may be between taking the lock and listening, so it is tried again).
    bool raiseOther(int msecs = 3000);

    QString lockPath() const { return m_base + QStringLiteral(".lock"); }
    QString socketPath() const { return m_base + QStringLiteral(".socket"); }

Q_SIGNALS:
    void raiseRequested();

private:
    void acceptConnection();

    QString m_base;
    QLockFile* m_lock = nullptr;
    QLocalServer* m_server = nullptr;
};

} // namespace zjx
