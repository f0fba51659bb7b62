#pragma once

#include "providerclient.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSet>

#include <variant>

namespace zjx::gateway {

// kuaidi100 real-time query: a form POST signed with MD5(param + key + customer), upper-case hex.
class Kuaidi100Client : public ProviderClient {
public:
    Kuaidi100Client(ClientOptions options, QString customer, QString key, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kuaidi100"); }
    bool serves(const CarrierCodes& codes) const override { return codes.kuaidi100 && *codes.kuaidi100; }
    int minimumCacheMinutes() const override { return 30; } // a number asked more often is locked
    void fetch(const ProviderQuery& query, Done done) override;

    // The exact "param" text sent and its sign (public so the sign can be checked against them).
    static QByteArray param(const ProviderQuery& query);
    static QByteArray sign(const QByteArray& param, const QString& key, const QString& customer);
    // `now` turns a "remainTime" into a date.
    static Outcome read(const QByteArray& body, const QDateTime& now = QDateTime::currentDateTimeUtc());

private:
    const QString m_customer;
    const QString m_key;
};

// 17TRACK API v2.2: JSON POSTs with the "17token" header; a parcel is registered once, then read.
class Track17Client : public ProviderClient {
public:
    Track17Client(ClientOptions options, QString key, QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("17track"); }
    bool serves(const CarrierCodes& codes) const override { return codes.track17 != 0; }
    void fetch(const ProviderQuery& query, Done done) override;

    // The "data" of an answer, or the fault it is: an error status, a refusal of the whole call
    // (a bad key, a body of the wrong shape), or an answer that is not the documented JSON.
    std::variant<QJsonObject, Outcome> envelope(int status, const QByteArray& body) const;
    // One accepted entry of gettrackinfo: its events merged from every carrier, and its stage.
    static Outcome readEntry(const QJsonObject& entry);

private:
    void registerThen(const ProviderQuery& query, Done done);
    void changeInfoThen(const ProviderQuery& query, Done done);
    void getTrackInfo(const ProviderQuery& query, bool mayRegister, Done done);
    void call(const char* path, const QByteArray& body, std::function<void(const QJsonObject&)> read, Done done,
              Wanted wanted, bool retried = false);

    const QString m_key;
    RequestPacer m_pacer{3, this}; // the documented limit: three requests a second
    QSet<QString> m_registered;    // numbers registered by this run (bounded, see fetch)
};

// The provider's own state of a parcel, from each provider's documented values; Unknown for a value
// none of them documents (the program then goes by the latest event's words).
ProviderState kuaidi100State(const QString& state, const QString& ischeck);
ProviderState track17State(const QString& status, const QString& subStatus);
ProviderState kdniaoState(const QString& state, const QString& stateEx);
// The estimated delivery ("YYYY-MM-DD" or "YYYY-MM-DD/YYYY-MM-DD", China dates; "" for none) of
// kuaidi100's arrivalTime or, without it, remainTime counted from `now`, and of 17TRACK's
// time_metrics.estimated_delivery_date (from and to).
QString kuaidi100Estimate(const QString& arrivalTime, const QString& remainTime, const QDateTime& now);
QString track17Estimate(const QJsonObject& estimatedDeliveryDate);

// Why kdniao's request type `requestType` cannot serve a company ("" when it can): 申通 and 天天 only
// through the paid real-time query 8001, 百世快递 (HTKY) through neither 1002 nor 8001; every other
// company of kdniao's list through both.
QString kdniaoUnserved(const CarrierCodes& codes, int requestType);
// What a no-trace answer may mean ("" when nothing): 1002 answers 顺丰 only for numbers ordered
// through kdniao.
QString kdniaoNoTraceHint(const CarrierCodes& codes, int requestType);

// kdniao instant (1002) or real-time (8001) query: a form POST signed with
// Base64(MD5(RequestData + AppKey)).
class KdniaoClient : public ProviderClient {
public:
    KdniaoClient(ClientOptions options, QString businessId, QString appKey, int requestType = 1002,
                 QObject* parent = nullptr);
    QString name() const override { return QStringLiteral("kdniao"); }
    bool serves(const CarrierCodes& codes) const override {
        return codes.kdniao && *codes.kdniao && kdniaoUnserved(codes, m_requestType).isEmpty();
    }
    void fetch(const ProviderQuery& query, Done done) override;

    static QByteArray requestData(const ProviderQuery& query);
    static QByteArray dataSign(const QByteArray& requestData, const QString& appKey);
    static Outcome read(const QByteArray& body);

private:
    const QString m_businessId;
    const QString m_appKey;
    const int m_requestType;
};

} // namespace zjx::gateway
