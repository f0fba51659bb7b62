#pragma once

#include "gatewayconfig.h"
#include "parcelcache.h"
#include "providerclient.h"
#include "trackingpages.h"
#include "waitingqueries.h"

#include <QDateTime>
#include <QHash>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace zjx::gateway {

// One tracking request of the program: "com" (the program's service code), "nu", "id".
struct TrackingAsk {
    QString code;
    QString number;
    QString key;
    // Whether the client that asked still waits (empty, or true: it does). The HTTP server fills it
    // from the client's connection, so a query nobody waits for is never sent upstream.
    std::function<bool()> stillWanted = {};
};

struct GatewayAnswer {
    zjx::service::Reply reply;
    QString problem;     // why a provider could not answer (faults only); for --check
    bool cached = false; // served from the cache, fresh or stale
    // Set when the provider failed (the answer may still be a stale page).
    std::optional<FaultKind> fault{};
    // For a stale page served after a failure: when it was fetched.
    QDateTime fetched{};
};

// Answers a tracking request with the page the program reads, now or later (always on the event
// loop's thread, exactly once).
class TrackingBackend {
public:
    using Done = std::function<void(const GatewayAnswer&)>;
    virtual ~TrackingBackend() = default;
    virtual QString name() const = 0;
    virtual void answer(const TrackingAsk& ask, Done done) = 0;
    // How long an answer is kept before the provider is asked again; the demo's change every minute.
    virtual int cacheMinutes() const { return 1; }
};

using LogSink = std::function<void(const QString& line)>;

// The made-up parcels of the local service (no provider, no network).
class DemoBackend : public TrackingBackend {
public:
    explicit DemoBackend(int intervalMinutes) : m_desk(intervalMinutes) {}
    QString name() const override { return QStringLiteral("demo"); }
    void answer(const TrackingAsk& ask, Done done) override;

private:
    zjx::service::TrackingDesk m_desk;
};

struct CachePolicy {
    int minutes = 30;                       // raised to the provider's minimum
    int signedForMinutes = 24 * 60;         // a signed-for parcel hardly changes any more
    int capacity = 10000;                   // parcels kept; the least recently asked go first
    qint64 cacheBytes = 64ll * 1024 * 1024; // ... and their pages' bytes
    int faultSeconds = 60;                  // after a failure the parcel is not asked upstream again for this long
    int noResultMinutes = 5;    // "no result yet" (a new parcel): asked again soon (never below the provider's minimum)
    int maxWaitingParcels = 32; // parcels waiting for the provider; more are answered 503 at once
    int maxEvents = kMaxEvents; // per parcel; a longer history keeps its latest events
};

// A real provider behind the program's protocol: maps the company, keeps one upstream query per
// parcel per cache lifetime (requests for a parcel already being asked wait for that answer), and
// serves the last good answer when the provider fails. The parcels waiting for the provider are
// bounded, and a query whose clients have all gone is dropped before it is sent.
class ProviderBackend : public QObject, public TrackingBackend {
public:
    ProviderBackend(std::unique_ptr<ProviderClient> client, CachePolicy policy, QString phoneTail, LogSink log,
                    QObject* parent = nullptr);
    QString name() const override { return m_client->name(); }
    void answer(const TrackingAsk& ask, Done done) override;
    int cacheMinutes() const override { return m_policy.minutes; }

    int upstreamQueries() const { return m_upstreamQueries; }
    int droppedQueries() const { return m_droppedQueries; } // abandoned before they were sent
    int cachedParcels() const { return m_cache.size(); }
    // For tests: a clock in milliseconds (monotonic by default).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // For tests: the time of day an answer is said to be fetched at (now by default).
    void setWallClock(std::function<QDateTime()> clock) { m_wallClock = std::move(clock); }

private:
    void finish(const QString& cacheKey, const QString& label, const QString& companyName, const Outcome& outcome);

    std::unique_ptr<ProviderClient> m_client;
    const CachePolicy m_policy;
    const QString m_phoneTail;
    LogSink m_log;
    ParcelCache m_cache;
    WaitingQueries<GatewayAnswer> m_waiting; // parcels being asked upstream
    struct RecentFault {
        qint64 untilMs = 0;
        zjx::service::Reply reply; // the fault's own short answer; a cached page is looked up again
        QString problem;
        FaultKind fault = FaultKind::Provider;
    };
    QHash<QString, RecentFault> m_recentFaults; // a loop query must not hammer a failing provider
    std::function<qint64()> m_clock;
    std::function<QDateTime()> m_wallClock = [] { return QDateTime::currentDateTime(); };
    int m_upstreamQueries = 0;
    int m_droppedQueries = 0;
};

// The back-end the configuration names; nullptr with `error` set when it lacks a secret. The
// configuration's warnings go to `log`. Once the configuration holds a key, the process is made
// non-dumpable (no core file, no ptrace by the user's other programs) so the keys stay in it.
std::unique_ptr<TrackingBackend> makeBackend(const GatewayConfig& config, int demoIntervalMinutes, LogSink log,
                                             QString* error, const QList<QSslCertificate>& extraCa = {});

// The answer when too many queries wait for the provider, or for a client that went away: plain
// text without a marker word (the program shows its network hint for any error status).
zjx::service::Reply busy();

// `line` with every secret of four characters or more blotted out as "***".
QString scrubbed(const QString& line, const QStringList& secrets);
// The answer as the service sends it, labelled for the program: X-Zjx-Backend (the back-end's
// name), X-Zjx-Cache-Minutes, X-Zjx-Reason (the fixed word of a provider's fault) and X-Zjx-Fetched
// (ISO time, when a stale cached page stands in for a failed query).
zjx::service::Reply labelledReply(const GatewayAnswer& answer, const TrackingBackend& backend);

// A log sink writing "time gateway: line" to stderr, with the configured secrets blotted out.
LogSink stderrLog(const QStringList& secrets);

} // namespace zjx::gateway
