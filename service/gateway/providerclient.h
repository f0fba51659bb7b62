#pragma once

#include "carriercodes.h"
#include "trackingoutcome.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <deque>
#include <functional>
#include <utility>

class QTimer;

namespace zjx::gateway {

struct ProviderQuery {
    CarrierCodes codes;
    QString number;
    QString phoneTail; // empty when not configured
};

struct ClientOptions {
    QUrl url;
    int timeoutMs = 20000;
    // Added to the system's CA bundle (never replacing it, never switching verification off): lets a
    // test trust its own local certificate.
    QList<QSslCertificate> extraCaCertificates;
};

// Lets at most `perSecond` jobs start in any second; the rest wait their turn in order.
class RequestPacer : public QObject {
public:
    explicit RequestPacer(int perSecond, QObject* parent = nullptr);
    void run(std::function<void()> job);
    int waiting() const { return int(m_waiting.size()); }

private:
    void drain();
    const int m_perSecond;
    std::deque<qint64> m_started; // monotonic ms of the last starts
    std::deque<std::function<void()>> m_waiting;
    QTimer* m_timer;
};

// One tracking provider's documented API. fetch() answers later, on the event loop, exactly once.
class ProviderClient : public QObject {
public:
    using Done = std::function<void(Outcome)>;

    ProviderClient(ClientOptions options, QObject* parent);
    virtual QString name() const = 0;
    // Whether the provider has a code for this company at all.
    virtual bool serves(const CarrierCodes& codes) const = 0;
    // The shortest re-query spacing the provider's terms allow, in minutes.
    virtual int minimumCacheMinutes() const { return 0; }
    virtual void fetch(const ProviderQuery& query, Done done) = 0;

protected:
    struct HttpAnswer {
        int status = 0;
        QByteArray body;
    };
    using Answered = std::function<void(const HttpAnswer& answer)>;
    using Failed = std::function<void(const Outcome& fault)>;

    // One POST; `answered` gets any HTTP answer (error statuses included), `failed` a transport fault.
    void post(const QUrl& url, const QByteArray& contentType, const QList<std::pair<QByteArray, QByteArray>>& headers,
              const QByteArray& body, Answered answered, Failed failed);
    // The fault for an HTTP status whose body the provider's own error format did not explain.
    Outcome httpFault(int status, const QByteArray& body) const;

    ClientOptions m_options;

private:
    QNetworkAccessManager m_net;
};

// "application/x-www-form-urlencoded" body from name/value pairs, values UTF-8 percent-encoded.
QByteArray formBody(const QList<std::pair<QByteArray, QString>>& fields);
// A provider text fit for one log line: control characters escaped, cut at 200 characters.
QString logSafe(const QString& text);

} // namespace zjx::gateway
