#include "gui/platform/traypresence.h"

#include "gui/platform/seamhandler.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>
#include <QSystemTrayIcon>

namespace zjx {

bool TrayPresence::available() {
    if (seamHandler<TrayPresence>())
        return seamHandler<TrayPresence>()();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayPresence::statusNotifierHostNow() {
    if (seamHandler<TrayPresence>())
        return seamHandler<TrayPresence>()();
    // Without a configured bus libdbus would start one of its own for this question.
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtimeDir.isEmpty() || !QFileInfo::exists(runtimeDir + QStringLiteral("/bus"))))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

void TrayPresence::setHandler(Handler handler) {
    seamHandler<TrayPresence>() = std::move(handler);
}

} // namespace zjx
