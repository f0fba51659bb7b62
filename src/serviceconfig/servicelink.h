#pragma once

#include "platform/environment.h"

#include <QObject>
#include <QPointer>
#include <QString>

namespace zjx {

class GatewayChild;

// The program's link to its tracking service: the addresses every request uses, which follow the
// own service child once its port is known, and what is wrong with that child.
class ServiceLink : public QObject {
    Q_OBJECT
public:
    explicit ServiceLink(QObject* parent = nullptr);

    static constexpr int gatewayWaitMs = 5000; // the longest a network user waits for its port

    // The program's own tracking service: its address replaces the local-service defaults once it
    // is known, and a service that cannot start is announced.
    void useGateway(GatewayChild* gateway);
    // The addresses as they are known now.
    const Settings& settings() const { return m_settings; }
    // The addresses for a request: waits (bounded) for the service child's port if it is not in yet.
    const Settings& networkSettings();
    // A page of the program's own service opened in the browser is awaited by the service child
    // before the program ends.
    void expectVisit(const QString& address);
    // The own service starts again with its saved configuration; a request waiting for it
    // finishes first.
    void restartGateway();
    QString trouble() const { return m_trouble; } // the hint about a child that did not start or stopped
    bool failed() const; // the own service child could not start

Q_SIGNALS:
    // The child did not start, stopped (`detail`: all it said) or is starting again (no detail).
    void troubled(const QString& hint, const QString& detail);
    void recovered(const QString& hint); // it answers again after trouble

private:
    void gatewayReady(const QString& address);
    void gatewayFailed(const QString& reason);

    Settings m_settings;
    QPointer<GatewayChild> m_gateway;
    bool m_gatewayWasReady = false;
    QString m_trouble;
};

} // namespace zjx
