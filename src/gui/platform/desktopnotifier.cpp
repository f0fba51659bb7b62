#include "gui/platform/desktopnotifier.h"

#include "gui/platform/seamhandler.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>

namespace zjx {
namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

// libdbus falls back to starting a bus of its own (dbus-launch) when neither the address nor the
// usual socket is there; a notice is not worth a new process and the wait for it.
bool sessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus"));
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {}

void DesktopNotifier::setHandler(Handler h) {
    seamHandler<DesktopNotifier>() = std::move(h);
}

QString DesktopNotifier::escapeMarkup(const QString& text) {
    // Qt writes &amp; &lt; &gt; &quot;; the apostrophe as a number, since servers built on Qt rich
    // text know no &apos;.
    return text.toHtmlEscaped().replace(u'\'', QStringLiteral("&#39;"));
}

bool DesktopNotifier::ensureBus() {
    if (!m_bus) {
        if (!sessionBusConfigured())
            return false;
        m_bus = QDBusConnection::sessionBus();
    }
    if (!m_bus->isConnected())
        return false;
    if (!m_listening) {
        // No sender name in the match: naming the service would make Qt look its owner up with a
        // blocking call. Only ids this notifier got back are acted on.
        m_bus->connect(QString(), path, interface, QStringLiteral("ActionInvoked"), this,
                       SLOT(onActionInvoked(uint, QString)));
        m_bus->connect(QString(), path, interface, QStringLiteral("ActivationToken"), this,
                       SLOT(onActivationToken(uint, QString)));
        m_bus->connect(QString(), path, interface, QStringLiteral("NotificationClosed"), this,
                       SLOT(onNotificationClosed(uint, uint)));
        m_listening = true;
    }
    return true;
}

void DesktopNotifier::notify(const QString& key, const QString& summary, const QString& body) {
    if (seamHandler<DesktopNotifier>()) {
        seamHandler<DesktopNotifier>()(key, summary, body);
        return;
    }
    if (!ensureBus())
        return;
    // Every loop or timed re-query is judged "有更新"; the desktop hears only of what it was not told.
    const QString told = summary + u'\n' + body;
    if (m_told.value(key) == told)
        return;
    m_told.insert(key, told);
    m_waiting.insert(key, Notice{summary, body});
    if (m_markup == Markup::Unknown)
        askCapabilities();
    else if (m_markup != Markup::Asking)
        sendWaiting();
}

// Whether the server reads the body as markup decides whether it must be escaped: a server that
// does not would show "&amp;" as it stands.
void DesktopNotifier::askCapabilities() {
    m_markup = Markup::Asking;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            // No server: drop what waits and ask again with the next notice.
            m_markup = Markup::Unknown;
            for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
                m_told.remove(it.key());
            m_waiting.clear();
            return;
        }
        m_markup = reply.value().contains(QStringLiteral("body-markup")) ? Markup::Read : Markup::Plain;
        sendWaiting();
    });
}

void DesktopNotifier::sendWaiting() {
    const QStringList keys = m_waiting.keys();
    for (const QString& key : keys) {
        // A notice for a key whose Notify is still on its way waits for that id, or it would stack.
        if (!m_sending.contains(key))
            send(key, m_waiting.take(key));
    }
}

void DesktopNotifier::send(const QString& key, const Notice& notice) {
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(applicationId));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1))); // normal
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QStringLiteral("踪迹匣") << m_ids.value(key, 0) << QString::fromLatin1(applicationId) << notice.summary
         << (m_markup == Markup::Read ? escapeMarkup(notice.body) : notice.body)
         << QStringList{QStringLiteral("default"), QStringLiteral("查看")} << hints << qint32(-1);
    m_sending.insert(key);
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_sending.remove(key);
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            // The server went away or failed: forget it, and ask afresh with the next notice.
            m_markup = Markup::Unknown;
            m_waiting.remove(key);
            m_told.remove(key);
            return;
        }
        const uint id = reply.value();
        if (const uint old = m_ids.value(key, 0); old != 0 && old != id)
            m_keys.remove(old);
        m_ids.insert(key, id);
        m_keys.insert(id, key);
        if (m_waiting.contains(key))
            send(key, m_waiting.take(key));
    });
}

void DesktopNotifier::onActivationToken(uint id, const QString& token) {
    if (m_keys.contains(id))
        m_activationToken = token;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    const auto key = m_keys.constFind(id);
    if (key == m_keys.constEnd() || action != QStringLiteral("default"))
        return;
    // On Wayland a window may only take the focus with the token the server handed over; Qt's
    // Wayland plugin reads it from the environment on the next activation and removes it.
    if (!m_activationToken.isEmpty() && QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", m_activationToken.toUtf8());
    m_activationToken.clear();
    Q_EMIT activated(key.value());
}

void DesktopNotifier::onNotificationClosed(uint id, uint /*reason*/) {
    const QString key = m_keys.take(id);
    if (!key.isEmpty() && m_ids.value(key) == id)
        m_ids.remove(key);
}

} // namespace zjx
