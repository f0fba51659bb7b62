#include "providers.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace zjx::gateway {

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

// JSON fields that providers send as a string or as a number alike.
QString text(const QJsonValue& v) {
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(qint64(v.toDouble()));
    if (v.isBool())
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return {};
}

std::optional<QJsonObject> objectOf(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

Outcome unreadable(const QString& provider, const QByteArray& body) {
    return Outcome::failure(FaultKind::Provider, provider + u(": an answer that is not the documented JSON: ") +
                                                     logSafe(QString::fromUtf8(body.left(120))));
}

QByteArray compact(const QJsonValue& v) {
    return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
                       : QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
}

} // namespace

// ---------------------------------------------------------------------------------------- kuaidi100

Kuaidi100Client::Kuaidi100Client(ClientOptions options, QString customer, QString key, QObject* parent)
    : ProviderClient(std::move(options), parent), m_customer(std::move(customer)), m_key(std::move(key)) {}

QByteArray Kuaidi100Client::param(const ProviderQuery& query) {
    return compact(QJsonObject{{"com", QString::fromLatin1(query.codes.kuaidi100)},
                               {"num", query.number},
                               {"phone", query.phoneTail},
                               {"resultv2", "1"},
                               {"show", "0"},
                               {"order", "desc"}});
}

QByteArray Kuaidi100Client::sign(const QByteArray& param, const QString& key, const QString& customer) {
    return QCryptographicHash::hash(QByteArray(param + key.toUtf8() + customer.toUtf8()), QCryptographicHash::Md5)
        .toHex()
        .toUpper();
}

Outcome Kuaidi100Client::read(const QByteArray& body) {
    const std::optional<QJsonObject> o = objectOf(body);
    if (!o)
        return unreadable(u("kuaidi100"), body);
    const QString message = logSafe(text(o->value("message")));
    if (o->contains("returnCode") || o->value("result") == QJsonValue(false)) {
        const QString code = text(o->value("returnCode"));
        const QString why = u("kuaidi100 returnCode ") + code + u(": ") + message;
        if (code == u"400")
            return Outcome::of(OutcomeKind::Unsupported);
        if (code == u"500")
            return Outcome::of(OutcomeKind::NotFound);
        if (code == u"503") // a wrong key or customer shows as a wrong sign
            return Outcome::failure(FaultKind::Signature, why + u(" (check [kuaidi100] customer and key)"));
        if (code == u"601")
            return Outcome::failure(FaultKind::Quota, why + u(" (key expired or no quota left)"));
        if (code == u"408")
            return Outcome::failure(
                FaultKind::PhoneTail,
                why + u(" (set phone_tail in [gateway] to the receiver's or sender's last four digits)"));
        return Outcome::failure(FaultKind::Provider, why);
    }
    Outcome out = Outcome::of(OutcomeKind::Events);
    const QString state = text(o->value("state"));
    out.signedFor = state == u"3" || text(o->value("ischeck")) == u"1";
    const QJsonArray data = o->value("data").toArray();
    // Newest first on the wire; past the cap only the latest are read (one more tells the cap was hit).
    for (auto it = data.begin() + std::min(data.size(), qsizetype(kMaxEvents) + 1); it != data.begin();) {
        const QJsonObject e = (--it)->toObject();
        QString time = text(e.value("ftime"));
        if (time.isEmpty())
            time = text(e.value("time"));
        QString place = text(e.value("location"));
        if (place.isEmpty())
            place = text(e.value("areaName"));
        out.events.append(ParcelEvent{time, text(e.value("context")), place});
    }
    if (out.events.isEmpty())
        return Outcome::of(OutcomeKind::NotFound);
    return out;
}

void Kuaidi100Client::fetch(const ProviderQuery& query, Done done) {
    const QByteArray p = param(query);
    const QByteArray body = formBody({{"customer", m_customer},
                                      {"sign", QString::fromLatin1(sign(p, m_key, m_customer))},
                                      {"param", QString::fromUtf8(p)}});
    post(
        m_options.url, "application/x-www-form-urlencoded; charset=UTF-8", {}, body,
        [this, done](const HttpAnswer& a) {
            // An error object explains itself whatever the status; anything else is judged by its status.
            const std::optional<QJsonObject> o = objectOf(a.body);
            if (a.status == 200 || (o && o->contains("returnCode")))
                done(read(a.body));
            else
                done(httpFault(a.status, a.body));
        },
        done, query.stillWanted);
}

// ------------------------------------------------------------------------------------------ 17TRACK

namespace {

Outcome track17Error(int code, const QString& message) {
    const QString why = u("17TRACK error ") + QString::number(code) + u(": ") + logSafe(message);
    switch (code) {
    case -18010002:
        return Outcome::failure(FaultKind::BadKey, why);
    case -18019908:
        return Outcome::failure(FaultKind::Quota, why + u(" (quota used up)"));
    case -18019903:
        return Outcome::of(OutcomeKind::Unsupported);
    default:
        return Outcome::failure(FaultKind::Provider, why);
    }
}

// The first error of a rejected entry, or of the answer as a whole.
std::pair<int, QString> firstError(const QJsonObject& holder) {
    const QJsonObject error = holder.value("error").toObject();
    return {error.value("code").toInt(), error.value("message").toString()};
}

QString isoToText(const QString& iso) {
    // Shown in the event's own local time, as the provider writes it.
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate);
    return t.isValid() ? t.toString(u"yyyy-MM-dd HH:mm:ss") : iso;
}

Outcome readTrack17Entry(const QJsonObject& entry) {
    const QJsonObject info = entry.value("track_info").toObject();
    const QString status = info.value("latest_status").toObject().value("status").toString();
    Outcome out = Outcome::of(OutcomeKind::Events);
    out.signedFor = status == u"Delivered";
    struct Stamped {
        QDateTime when;
        ParcelEvent event;
    };
    std::vector<Stamped> all;
    for (const QJsonValue& p : info.value("tracking").toObject().value("providers").toArray()) {
        const QJsonArray events = p.toObject().value("events").toArray(); // newest first: the latest within the cap
        for (qsizetype i = 0; i < events.size() && i <= kMaxEvents && all.size() <= 10 * size_t(kMaxEvents); ++i) {
            const QJsonObject e = events.at(i).toObject();
            const QString iso = e.value("time_iso").toString();
            all.push_back({QDateTime::fromString(iso, Qt::ISODate),
                           ParcelEvent{isoToText(iso), e.value("description").toString(), text(e.value("location"))}});
        }
    }
    // Several carriers may report one parcel: merge them by time, oldest first.
    std::stable_sort(all.begin(), all.end(), [](const Stamped& a, const Stamped& b) {
        if (a.when.isValid() != b.when.isValid())
            return a.when.isValid();
        return a.when.isValid() && a.when < b.when;
    });
    for (const Stamped& s : all)
        out.events.append(s.event);
    if (out.events.isEmpty())
        return Outcome::of(OutcomeKind::NotFound);
    return out;
}

} // namespace

Track17Client::Track17Client(ClientOptions options, QString key, QObject* parent)
    : ProviderClient(std::move(options), parent), m_key(std::move(key)) {}

void Track17Client::call(const char* path, const QByteArray& body, std::function<void(const QJsonObject&)> read,
                         Done done, Wanted wanted, bool retried) {
    QUrl url = m_options.url;
    QString base = url.path();
    if (!base.endsWith(u'/'))
        base += u'/';
    url.setPath(base + QLatin1String(path));
    m_pacer.run(wanted, [this, path, url, body, read, done, wanted, retried] {
        post(
            url, "application/json", {{"17token", m_key.toUtf8()}}, body,
            [this, path, body, read, done, wanted, retried](const HttpAnswer& a) {
                if (a.status == 429) {
                    // Another user of the same key may share the limit: one more try, paced.
                    if (!retried)
                        return call(path, body, read, done, wanted, true);
                    return done(
                        Outcome::failure(FaultKind::Quota, u("17TRACK: more than three requests a second (HTTP 429)")));
                }
                const std::optional<QJsonObject> o = objectOf(a.body);
                if (!o)
                    return done(a.status == 200 ? unreadable(u("17TRACK"), a.body) : httpFault(a.status, a.body));
                const int code = o->value("code").toInt();
                if (code != 0) {
                    const QJsonArray errors = o->value("data").toObject().value("errors").toArray();
                    const QJsonObject first = errors.isEmpty() ? *o : errors.first().toObject();
                    const int detail = first.value("code").toInt(code);
                    return done(track17Error(detail, first.value("message").toString()));
                }
                if (a.status != 200)
                    return done(httpFault(a.status, a.body));
                read(o->value("data").toObject());
            },
            done, wanted);
    });
}

void Track17Client::fetch(const ProviderQuery& query, Done done) {
    if (m_registered.contains(query.number))
        getTrackInfo(query, true, done);
    else
        registerThen(query, done);
}

namespace {

QByteArray track17Body(const ProviderQuery& q) {
    QJsonObject item{{"number", q.number}};
    if (q.codes.track17 > 0)
        item.insert("carrier", q.codes.track17);
    return compact(QJsonArray{item});
}

} // namespace

void Track17Client::registerThen(const ProviderQuery& query, Done done) {
    call(
        "register", track17Body(query),
        [this, query, done](const QJsonObject& data) {
            const QJsonArray rejected = data.value("rejected").toArray();
            if (data.value("accepted").toArray().isEmpty() && !rejected.isEmpty()) {
                const auto [code, message] = firstError(rejected.first().toObject());
                if (code != -18019901) // already registered: that is what we wanted
                    return done(track17Error(code, message));
            }
            // Bounded: forgetting only costs a harmless second registration.
            if (m_registered.size() > 50000)
                m_registered.clear();
            m_registered.insert(query.number);
            getTrackInfo(query, false, done);
        },
        done, query.stillWanted);
}

void Track17Client::getTrackInfo(const ProviderQuery& query, bool mayRegister, Done done) {
    call(
        "gettrackinfo", track17Body(query),
        [this, query, mayRegister, done](const QJsonObject& data) {
            const QJsonArray accepted = data.value("accepted").toArray();
            if (!accepted.isEmpty())
                return done(readTrack17Entry(accepted.first().toObject()));
            const QJsonArray rejected = data.value("rejected").toArray();
            if (rejected.isEmpty())
                return done(Outcome::of(OutcomeKind::NotFound));
            const auto [code, message] = firstError(rejected.first().toObject());
            if (code == -18019902) { // not registered (any more): register once and read again
                m_registered.remove(query.number);
                return mayRegister ? registerThen(query, done) : done(Outcome::of(OutcomeKind::NotFound));
            }
            done(track17Error(code, message));
        },
        done, query.stillWanted);
}

// ------------------------------------------------------------------------------------------- kdniao

KdniaoClient::KdniaoClient(ClientOptions options, QString businessId, QString appKey, QObject* parent)
    : ProviderClient(std::move(options), parent), m_businessId(std::move(businessId)), m_appKey(std::move(appKey)) {}

QByteArray KdniaoClient::requestData(const ProviderQuery& query) {
    QJsonObject data{
        {"OrderCode", ""}, {"ShipperCode", QString::fromLatin1(query.codes.kdniao)}, {"LogisticCode", query.number}};
    // 顺丰 answers only with the receiver's or sender's phone tail.
    if (qstrcmp(query.codes.kdniao, "SF") == 0 && !query.phoneTail.isEmpty())
        data.insert("CustomerName", query.phoneTail);
    return compact(data);
}

QByteArray KdniaoClient::dataSign(const QByteArray& requestData, const QString& appKey) {
    return QCryptographicHash::hash(QByteArray(requestData + appKey.toUtf8()), QCryptographicHash::Md5)
        .toHex()
        .toBase64();
}

Outcome KdniaoClient::read(const QByteArray& body) {
    const std::optional<QJsonObject> o = objectOf(body);
    if (!o)
        return unreadable(u("kdniao"), body);
    const QString reason = text(o->value("Reason"));
    if (!o->value("Success").toBool()) {
        const QString why = u("kdniao refused: ") + logSafe(reason);
        if (reason.contains(u("签名")) || reason.contains(u"sign", Qt::CaseInsensitive))
            return Outcome::failure(FaultKind::Signature, why);
        if (reason.contains(u("套餐")) || reason.contains(u("余额")) || reason.contains(u("次数")) ||
            reason.contains(u("过期")))
            return Outcome::failure(FaultKind::Quota, why);
        if (reason.contains(u("EBusinessID")) || reason.contains(u("商户")) || reason.contains(u("用户")) ||
            reason.contains(u("密钥")) || reason.contains(u("AppKey"), Qt::CaseInsensitive))
            return Outcome::failure(FaultKind::BadKey, why);
        if (reason.contains(u("单号")) && (reason.contains(u("格式")) || reason.contains(u("错误"))))
            return Outcome::of(OutcomeKind::BadNumber);
        if (reason.contains(u("快递公司")) || reason.contains(u("ShipperCode")))
            return Outcome::of(OutcomeKind::Unsupported);
        return Outcome::failure(FaultKind::Provider, why);
    }
    Outcome out = Outcome::of(OutcomeKind::Events);
    out.signedFor = text(o->value("State")) == u"3";
    const QJsonArray traces = o->value("Traces").toArray(); // oldest first: the latest within the cap
    for (qsizetype i = std::max(qsizetype(0), traces.size() - kMaxEvents - 1); i < traces.size(); ++i) {
        const QJsonObject t = traces.at(i).toObject();
        out.events.append(
            ParcelEvent{text(t.value("AcceptTime")), text(t.value("AcceptStation")), text(t.value("Location"))});
    }
    if (out.events.isEmpty())
        return Outcome::of(OutcomeKind::NotFound);
    return out;
}

void KdniaoClient::fetch(const ProviderQuery& query, Done done) {
    const QByteArray data = requestData(query);
    const QByteArray body = formBody({{"RequestData", QString::fromUtf8(data)},
                                      {"EBusinessID", m_businessId},
                                      {"RequestType", u("1002")},
                                      {"DataSign", QString::fromLatin1(dataSign(data, m_appKey))},
                                      {"DataType", u("2")}});
    post(
        m_options.url, "application/x-www-form-urlencoded; charset=UTF-8", {}, body,
        [this, done](const HttpAnswer& a) { done(a.status == 200 ? read(a.body) : httpFault(a.status, a.body)); }, done,
        query.stillWanted);
}

} // namespace zjx::gateway
