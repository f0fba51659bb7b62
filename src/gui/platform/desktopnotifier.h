#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class QDBusPendingCallWatcher;

namespace zjx {

// Desktop notifications through the freedesktop notification service on the session bus. Every
// call is asynchronous and every failure is silent: without a bus or a notification server the
// program behaves as if notifications did not exist. One notification per key; the next notice for
// the same key replaces it on the desktop instead of stacking another one.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* applicationId = "cn.tansoft.zjx"; // icon name and desktop entry

    // Uses the session bus, connected on the first notice (start-up never waits for D-Bus).
    explicit DesktopNotifier(QObject* parent = nullptr);
    DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // `summary` is plain text; `body` is plain text too and escaped when the server reads markup.
    void notify(const QString& key, const QString& summary, const QString& body);

    // The text as a markup-reading server shows it literally.
    static QString escapeMarkup(const QString& text);
    // Takes every notification instead of the desktop (tests keep them off the desktop of whoever
    // runs them); empty restores the desktop.
    using Handler = std::function<void(const QString& key, const QString& summary, const QString& body)>;
    static void setHandler(Handler handler);

Q_SIGNALS:
    // The user clicked the notification sent for `key` (its default action).
    void activated(const QString& key);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onActivationToken(uint id, const QString& token);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Notice {
        QString summary;
        QString body;
    };
    bool ensureBus();
    void askCapabilities();
    void send(const QString& key, const Notice& notice);
    void sendWaiting();

    std::optional<QDBusConnection> m_bus;
    bool m_listening = false;
    enum class Markup { Unknown, Asking, Read, Plain } m_markup = Markup::Unknown;
    QHash<QString, uint> m_ids;       // key -> id of its notification on the desktop
    QHash<uint, QString> m_keys;      // the same, the other way
    QSet<QString> m_sending;          // keys whose Notify awaits its id
    QHash<QString, Notice> m_waiting; // the latest notice per key that could not be sent yet
    QHash<QString, QString> m_told;   // key -> summary and body last handed to the server
    QString m_activationToken;
};

} // namespace zjx
