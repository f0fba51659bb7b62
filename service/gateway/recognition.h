#pragma once

#include "gateway.h"
#include "gatewayconfig.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

namespace zjx::service {
class HttpServer;
}

namespace zjx::gateway {

// What a provider's number recognition said: the program's service codes, most likely first.
struct Recognition {
    enum class Kind { Companies, Fault };
    Kind kind = Kind::Companies;
    QStringList codes; // may be empty: the provider does not know the number
    FaultKind fault = FaultKind::Provider;
    QString reason; // for the log, never a secret
};

// One provider's documented recognition request, answered later on the event loop, exactly once.
// It goes through the same link as the tracking queries (no redirects, the body cap, the deadline,
// dropped when nobody wants it any more: then the fault is FaultKind::Abandoned).
class Recognizer : public ProviderLink {
public:
    using Done = std::function<void(const Recognition&)>;
    Recognizer(ClientOptions options, QObject* parent) : ProviderLink(std::move(options), parent) {}
    virtual QString name() const = 0;
    virtual int minimumCacheMinutes() const { return 0; }
    virtual void recognise(const QString& number, Wanted wanted, Done done) = 0;

protected:
    // One form POST; `read` turns a 200 answer's body into the outcome.
    void postForm(const QByteArray& body, std::function<Recognition(const QByteArray&)> read, Wanted wanted, Done done);
};

// kuaidi100's 智能单号识别: POST num and key to /autonumber/auto; an array of {comCode, name}.
class Kuaidi100Recognizer : public Recognizer {
public:
    Kuaidi100Recognizer(ClientOptions options, QString key, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kuaidi100"); }
    int minimumCacheMinutes() const override { return 30; }
    void recognise(const QString& number, Wanted wanted, Done done) override;
    static Recognition read(const QByteArray& body);
    // Where the recognition lives beside a configured query address.
    static QUrl urlBeside(const QUrl& queryUrl);

private:
    const QString m_key;
};

// kdniao's 单号识别, RequestType 2002: the same signed form as its query, Shippers in the answer.
class KdniaoRecognizer : public Recognizer {
public:
    KdniaoRecognizer(ClientOptions options, QString businessId, QString appKey, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kdniao"); }
    void recognise(const QString& number, Wanted wanted, Done done) override;
    static QByteArray requestData(const QString& number);
    static Recognition read(const QByteArray& body);

private:
    const QString m_businessId;
    const QString m_appKey;
};

// Answers "which companies may this number be" for the program: the configured provider's
// recognition behind a cache like the tracking answers' (one upstream request per number per cache
// lifetime, requests for a number being asked wait for that answer, a failing number is not asked
// again for a minute), with the tracking route's bound on waiting queries (503 beyond it) and its
// dropping of queries whose clients all went away. 17TRACK (whose detection comes only with
// registering a number, one unit of quota each) answers with no candidates without asking anyone;
// the demo answers at once from the number's shape, as a provider would. Every answer names the
// back-end in X-Zjx-Backend.
class RecognitionBackend : public QObject {
public:
    using Done = std::function<void(const zjx::service::Reply&)>;
    RecognitionBackend(std::unique_ptr<Recognizer> recognizer, int cacheMinutes, LogSink log,
                       int maxWaiting = CachePolicy{}.maxWaitingParcels, QObject* parent = nullptr);
    // `stillWanted`: whether the client still waits (empty: it does).
    void answer(const QString& number, const QString& key, Wanted stillWanted, Done done);
    int upstreamQueries() const { return m_upstreamQueries; }
    int droppedQueries() const { return m_droppedQueries; } // abandoned before they were sent
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Who answers ("demo", "kuaidi100", ...), and for the demo the rule that answers from the shape.
    void setBackend(const QString& name, std::function<QStringList(const QString&)> localAnswer = {});

private:
    void finish(const QString& number, const Recognition& r);
    std::unique_ptr<Recognizer> m_recognizer;
    const int m_cacheMinutes;
    LogSink m_log;
    struct Cached {
        qint64 untilMs = 0;
        zjx::service::Reply reply;
    };
    QHash<QString, Cached> m_cache;
    WaitingQueries<zjx::service::Reply> m_waiting;
    std::function<qint64()> m_clock;
    QByteArray m_backendName;
    std::function<QStringList(const QString&)> m_localAnswer;
    int m_upstreamQueries = 0;
    int m_droppedQueries = 0;
};

// The demo's companies for a number, from its shape alone (the prefixes and lengths the Chinese
// couriers print), the same every time; none for a shape no courier prints.
QStringList demoRecognition(const QString& number);

std::unique_ptr<RecognitionBackend> makeRecognitionBackend(const GatewayConfig& config, LogSink log,
                                                           const QList<QSslCertificate>& extraCa = {});

// "GET /autonumber?nu=NUMBER&id=KEY": the candidates as the program's service codes, one a line
// (UTF-8 plain text, empty when none); 403 for a wrong key; 502/503/504 for a provider fault.
void addRecognitionRoute(zjx::service::HttpServer& server, RecognitionBackend& backend);

} // namespace zjx::gateway
