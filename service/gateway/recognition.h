#pragma once

#include "gateway.h"
#include "gatewayconfig.h"

#include <QHash>
#include <QNetworkAccessManager>
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
class Recognizer : public QObject {
public:
    using Done = std::function<void(const Recognition&)>;
    Recognizer(QUrl url, int timeoutMs, QObject* parent)
        : QObject(parent), m_url(std::move(url)), m_timeoutMs(timeoutMs) {}
    virtual QString name() const = 0;
    virtual int minimumCacheMinutes() const { return 0; }
    virtual void recognise(const QString& number, Done done) = 0;

protected:
    // One form POST; `read` turns a 200 answer's body into the outcome.
    void postForm(const QByteArray& body, std::function<Recognition(const QByteArray&)> read, Done done);
    const QUrl m_url;
    const int m_timeoutMs;

private:
    QNetworkAccessManager m_net;
};

// kuaidi100's 智能单号识别: POST num and key to /autonumber/auto; an array of {comCode, name}.
class Kuaidi100Recognizer : public Recognizer {
public:
    Kuaidi100Recognizer(QUrl url, QString key, int timeoutMs, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kuaidi100"); }
    int minimumCacheMinutes() const override { return 30; }
    void recognise(const QString& number, Done done) override;
    static Recognition read(const QByteArray& body);
    // Where the recognition lives beside a configured query address.
    static QUrl urlBeside(const QUrl& queryUrl);

private:
    const QString m_key;
};

// kdniao's 单号识别, RequestType 2002: the same signed form as its query, Shippers in the answer.
class KdniaoRecognizer : public Recognizer {
public:
    KdniaoRecognizer(QUrl url, QString businessId, QString appKey, int timeoutMs, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kdniao"); }
    void recognise(const QString& number, Done done) override;
    static QByteArray requestData(const QString& number);
    static Recognition read(const QByteArray& body);

private:
    const QString m_businessId;
    const QString m_appKey;
};

// Answers "which companies may this number be" for the program: the configured provider's
// recognition behind a cache like the tracking answers' (one upstream request per number per cache
// lifetime, requests for a number being asked wait for that answer, a failing number is not asked
// again for a minute). The demo and 17TRACK (whose detection comes only with registering a number,
// one unit of quota each) answer with no candidates without asking anyone.
class RecognitionBackend : public QObject {
public:
    using Done = std::function<void(const zjx::service::Reply&)>;
    RecognitionBackend(std::unique_ptr<Recognizer> recognizer, int cacheMinutes, LogSink log,
                       QObject* parent = nullptr);
    void answer(const QString& number, const QString& key, Done done);
    int upstreamQueries() const { return m_upstreamQueries; }
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

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
    QHash<QString, QList<Done>> m_waiting;
    std::function<qint64()> m_clock;
    int m_upstreamQueries = 0;
};

std::unique_ptr<RecognitionBackend> makeRecognitionBackend(const GatewayConfig& config, LogSink log);

// "GET /autonumber?nu=NUMBER&id=KEY": the candidates as the program's service codes, one a line
// (UTF-8 plain text, empty when none); 403 for a wrong key; 502/503/504 for a provider fault.
void addRecognitionRoute(zjx::service::HttpServer& server, RecognitionBackend& backend);

} // namespace zjx::gateway
