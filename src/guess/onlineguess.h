#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace zjx {

// Asks the tracking service ("/autonumber") which companies a number may belong to, once the user
// has stopped typing for `debounceMs`. It never blocks: the answer comes as `answered`, and an
// answer for an ask that was replaced or cancelled meanwhile is dropped.
class OnlineGuess : public QObject {
    Q_OBJECT
public:
    static constexpr int debounceMs = 600;

    // `host` gives the service's host[:port] when the request goes out.
    explicit OnlineGuess(std::function<QString()> host, QObject* parent = nullptr);

    void ask(const QString& number); // replaces any pending ask and restarts the quiet time
    void cancel();                   // nothing pending; an answer on its way is dropped
    bool pending() const { return m_debounce.isActive(); }

    static QString url(const QString& host, const QString& number);
    // The service codes of a 200 answer, one a line; anything else means none.
    static QStringList codesOf(int status, const QByteArray& body);

Q_SIGNALS:
    void answered(const QString& number, const QStringList& codes);

private:
    void send();

    std::function<QString()> m_host;
    QTimer m_debounce;
    QString m_number;
    quint64 m_generation = 0;
};

} // namespace zjx
