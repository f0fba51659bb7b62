#pragma once

#include "carriercodes.h"
#include "trackingoutcome.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include <deque>
#include <functional>
#include <utility>

class QNetworkReply;
class QTimer;

namespace zjx::gateway {

// Whether anybody still waits for a query's answer; an empty function means always.
using Wanted = std::function<bool()>;

struct ProviderQuery {
    CarrierCodes codes;
    QString number;
    QString phoneTail; // empty when not configured
    // Asked right before each of the query's requests is sent: an abandoned query spends no quota.
    Wanted stillWanted = {};
};

// A provider answer larger than this is cut off while it arrives: a real one is a few kilobytes.
inline constexpr qint64 kMaxProviderBody = 4 * 1024 * 1024;

// Events kept per parcel (a real history has a few dozen). The readers take at most one more, the
// latest, so that a history of a million events costs no more than one of three hundred and the
// gateway can still tell that the cap was hit.
inline constexpr int kMaxEvents = 300;

struct ClientOptions {
    QUrl url;
    int timeoutMs = 20000; // the whole request, from sending it to the answer's last byte
    // Added to the system's CA bundle (never replacing it, never switching verification off): lets a
    // test trust its own local certificate.
    QList<QSslCertificate> extraCaCertificates;
    qint64 maxBodyBytes = kMaxProviderBody;
    int maxInFlight = 6; // requests on the wire at once (as many as the network manager opens to one host)
};

// Lets at most `perSecond` jobs start in any second; the rest wait their turn in order. A job that
// is no longer wanted when its turn comes runs at once without taking a turn (it only reports its
// abandonment).
class RequestPacer : public QObject {
public:
    explicit RequestPacer(int perSecond, QObject* parent = nullptr);
    void run(std::function<void()> job) { run({}, std::move(job)); }
    void run(Wanted wanted, std::function<void()> job);
    int waiting() const { return int(m_waiting.size()); }
    // For tests: a clock in milliseconds (monotonic by default). After moving it a test calls
    // drain(), which the pacer's own timer calls when the next turn is due.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    void drain();

private:
    struct Job {
        std::function<void()> run;
        Wanted wanted;
    };
    const int m_perSecond;
    std::function<qint64()> m_clock;
    std::deque<qint64> m_started; // monotonic ms of the last starts
    std::deque<Job> m_waiting;
    QTimer* m_timer;
};

// The one way the service asks a provider anything (tracking and number recognition alike): no
// redirect is followed, an answer is cut at the size cap and at an overall deadline, at most
// maxInFlight requests are on the wire, and a request nobody wants any more is dropped right
// before it would be sent.
class ProviderLink : public QObject {
public:
    ProviderLink(ClientOptions options, QObject* parent);
    // Drops at once every request waiting here that nobody wants any more (each reports
    // FaultKind::Abandoned), rather than when its turn comes.
    void dropAbandoned();

protected:
    struct HttpAnswer {
        int status = 0;
        QByteArray body;
    };
    using Answered = std::function<void(const HttpAnswer& answer)>;
    using Failed = std::function<void(const Outcome& fault)>;

    // One POST; `answered` gets any HTTP answer (error statuses included), `failed` a transport fault,
    // a redirect, an answer over the size cap or past the deadline, or FaultKind::Abandoned when
    // `wanted` said no just before the request would have been sent.
    void post(const QUrl& url, const QByteArray& contentType, const QList<std::pair<QByteArray, QByteArray>>& headers,
              const QByteArray& body, Answered answered, Failed failed, Wanted wanted = {});
    // The fault for an HTTP status whose body the provider's own error format did not explain.
    Outcome httpFault(int status, const QByteArray& body) const;

    ClientOptions m_options;

private:
    struct Pending {
        QNetworkRequest request;
        QByteArray body;
        Answered answered;
        Failed failed;
        Wanted wanted;
    };
    void pump();
    void send(Pending pending);
    Outcome transportFailure(const QNetworkReply& reply, const QString& host, const QStringList& tlsErrors) const;

    QNetworkAccessManager m_net;
    // Requests wait here rather than in the network manager's queue, so that a request nobody
    // waits for any more can be dropped right before it would go out.
    std::deque<Pending> m_queue;
    int m_inFlight = 0;
};

// One tracking provider's documented API. fetch() answers later, on the event loop, exactly once.
class ProviderClient : public ProviderLink {
public:
    using Done = std::function<void(Outcome)>;

    ProviderClient(ClientOptions options, QObject* parent) : ProviderLink(std::move(options), parent) {}
    virtual QString name() const = 0;
    // Whether the provider has a code for this company at all.
    virtual bool serves(const CarrierCodes& codes) const = 0;
    // The shortest re-query spacing the provider's terms allow, in minutes.
    virtual int minimumCacheMinutes() const { return 0; }
    virtual void fetch(const ProviderQuery& query, Done done) = 0;
};

// "application/x-www-form-urlencoded" body from name/value pairs, values UTF-8 percent-encoded.
QByteArray formBody(const QList<std::pair<QByteArray, QString>>& fields);
// A provider text fit for one log line: control characters escaped, cut at 200 characters.
QString logSafe(const QString& text);

} // namespace zjx::gateway
